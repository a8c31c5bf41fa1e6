#include "binding/request/parsed_document.h"

#include "binding/errors.h"
#include "engine/parser.h"

namespace quenfel::py {

namespace {

PyGetSetDef parsed_document_getset[] = {
    object_attribute<PyParsedDocument, &PyParsedDocument::query_text>("query_text"),
    kAttributesEnd,
};

constexpr Signature<1> kParseQuery{"parse_query", {"query"}, 1, 1};

PyObject* parse_query(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kParseQuery, args, nargs, kwnames);
    PyObject* query = arguments[0];
    Result<DocumentPtr> parsed = parse_document(as_str(query, "query"));
    if (!parsed) return set_graphql_error(parsed.take_error());
    return new_parsed_document(std::move(parsed).value(), query);
  });
}

}  // namespace

const ClassDef PyParsedDocument::py_class = {
    "quenfel._quenfel.ParsedDocument",
    "An opaque handle to a parsed GraphQL document.\n\n"
    "It exposes no structure to Python. Its only purpose is to be handed back to\n"
    "validate_document and lower_document, so that a document is parsed exactly once\n"
    "per request rather than once per step; this lets the host's extension hooks wrap\n"
    "parsing and validation as distinct steps instead of two calls that each parse\n"
    "again. It is also what a persisted-query cache hit returns, which is what makes a\n"
    "hit cheaper than a cold request.\n\n"
    "query_text rides along because execution still needs the source text: the host\n"
    "exposes it to resolvers, and error locations only make sense against it. It is\n"
    "empty for a hash-only persisted-query replay, where the client never sent the text.",
    parsed_document_getset,
};

PyObject* parsed_document_type() { return type_object<PyParsedDocument>(); }

Ref new_parsed_document(DocumentPtr document, PyObject* query_text) {
  // An exact str is kept as it is; PyUnicode_FromObject copies a subclass.
  Ref text = Ref::steal(PyUnicode_FromObject(query_text));
  return make_instance<PyParsedDocument>(std::move(document), std::move(text));
}

PyMethodDef parse_query_def = function_def(
    "parse_query", parse_query,
    "parse_query(query)\n--\n\n"
    "Parse query into a reusable ParsedDocument handle.\n\n"
    "This is the first step of the request pipeline: everything downstream\n"
    "(validate_document, lower_document) takes the handle, so the text is parsed once.");

}  // namespace quenfel::py
