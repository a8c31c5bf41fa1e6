#include "binding/request/persisted_query.h"

#include "binding/errors.h"
#include "binding/request/parsed_document.h"
#include "binding/schema/compiled_schema.h"
#include "engine/persisted_query.h"

namespace quenfel::py {

namespace {

PyGetSetDef persisted_query_result_getset[] = {
    object_attribute<PyPersistedQueryResult, &PyPersistedQueryResult::document>("document"),
    scalar_attribute<PyPersistedQueryResult, &PyPersistedQueryResult::cache_hit>(
        "cache_hit",
        "True when the hash was already in the cache; false when the query was just parsed,\n"
        "validated and registered under it."),
    kAttributesEnd,
};

constexpr Signature<5> kResolvePersistedQuery{
    "resolve_persisted_query", {"sha256_hash", "schema", "query", "operation_name", "validate"}, 2, 2};

PyObject* resolve_persisted_query(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<5> arguments(kResolvePersistedQuery, args, nargs, kwnames);
    std::string_view sha256_hash = as_str(arguments[0], "sha256_hash");
    const CompiledSchema& schema = as_compiled_schema(arguments[1], "schema");
    std::optional<std::string_view> query = as_optional_str(arguments[2], "query");
    std::optional<std::string_view> operation_name = as_optional_str(arguments[3], "operation_name");
    const bool validate = as_bool(arguments[4], "validate", true);

    // The engine hands back the document it found or registered: looking it up
    // again could miss once the cache has dropped the entry, and a replay would
    // then fail for a hash that was just answered.
    Result<PersistedQuery> resolved = quenfel::resolve_persisted_query(schema, sha256_hash, query, operation_name, validate);
    if (!resolved) return set_graphql_error(resolved.take_error());
    Ref text = query ? Ref::borrow(arguments[2]) : str("");
    Ref document = new_parsed_document(std::move(resolved->document), text.get());
    return make_instance<PyPersistedQueryResult>(std::move(document), !resolved->registered);
  });
}

}  // namespace

const ClassDef PyPersistedQueryResult::py_class = {
    "quenfel._quenfel.PersistedQueryResult",
    "What resolve_persisted_query produced: whether the hash was already cached, plus the\n"
    "document itself, so that the caller can execute it without going back through parsing\n"
    "and validation.",
    persisted_query_result_getset,
};

PyObject* persisted_query_result_type() { return type_object<PyPersistedQueryResult>(); }

PyMethodDef resolve_persisted_query_def = function_def(
    "resolve_persisted_query", resolve_persisted_query,
    "resolve_persisted_query(sha256_hash, schema, *, query=None, operation_name=None, validate=True)\n--\n\n"
    "Serve one Automatic Persisted Queries request against schema's cache.\n\n"
    "With query, its lowercase SHA-256 hex must equal sha256_hash (else the host's\n"
    "GraphQLError with code PERSISTED_QUERY_MISMATCH); the text is parsed, validated and\n"
    "registered under the hash. Without query, the hash is looked up: a miss raises\n"
    "GraphQLError with code PERSISTED_QUERY_NOT_FOUND, and the client should then resend\n"
    "the hash with the query. A replay that asks for validation validates the operation\n"
    "that operation_name picks the first time that operation is asked for.\n\n"
    "On success returns a PersistedQueryResult: the document, ready for lower_document,\n"
    "and whether the hash was a cache hit. validate=False exists for hosts configured not\n"
    "to validate queries.");

}  // namespace quenfel::py
