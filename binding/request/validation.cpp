#include "binding/request/validation.h"

#include "binding/errors.h"
#include "binding/python/arguments.h"
#include "binding/request/parsed_document.h"
#include "binding/schema/compiled_schema.h"
#include "engine/parser.h"
#include "engine/validation.h"

namespace quenfel::py {

namespace {

Ref validated(const Document& document, const CompiledSchema& schema, std::optional<std::string_view> operation_name) {
  if (Status error = quenfel::validate_query(document, schema, operation_name)) return set_graphql_error(std::move(error));
  return none();
}

constexpr Signature<3> kValidateQuery{"validate_query", {"query", "schema", "operation_name"}, 3, 2};

PyObject* validate_query(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kValidateQuery, args, nargs, kwnames);
    std::string_view query = as_str(arguments[0], "query");
    const CompiledSchema& schema = as_compiled_schema(arguments[1], "schema");
    std::optional<std::string_view> operation_name = as_optional_str(arguments[2], "operation_name");
    Result<DocumentPtr> parsed = parse_document(query);
    if (!parsed) return set_graphql_error(parsed.take_error());
    return validated(**parsed, schema, operation_name);
  });
}

constexpr Signature<3> kValidateDocument{"validate_document", {"document", "schema", "operation_name"}, 3, 2};

PyObject* validate_document(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kValidateDocument, args, nargs, kwnames);
    const DocumentPtr& document = as_parsed_document(arguments[0], "document");
    const CompiledSchema& schema = as_compiled_schema(arguments[1], "schema");
    std::optional<std::string_view> operation_name = as_optional_str(arguments[2], "operation_name");
    return validated(*document, schema, operation_name);
  });
}

}  // namespace

PyMethodDef validate_query_def = function_def(
    "validate_query", validate_query,
    "validate_query(query, schema, operation_name=None)\n--\n\n"
    "Parse query and validate its (optionally named) operation against schema.\n\n"
    "Fields must exist on their parent type, arguments must be declared and type-check,\n"
    "directives must be used at legal locations and fragments must target real types.\n"
    "The first violation found is raised as the host's GraphQLError, matching the\n"
    "parser's own single-error-per-call behaviour; returns None if the query is valid.");

PyMethodDef validate_document_def = function_def(
    "validate_document", validate_document,
    "validate_document(document, schema, operation_name=None)\n--\n\n"
    "Validate an already-parsed ParsedDocument against schema, as validate_query does.\n\n"
    "The counterpart to parse_query: taking the handle rather than the source keeps\n"
    "parsing and validation separate steps, so the host's extension hooks for parsing and\n"
    "validation can wrap one each.");

}  // namespace quenfel::py
