#include "binding/schema/compiled_schema.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/schema/applied_directives.h"
#include "binding/schema/operation_directives.h"
#include "binding/schema/reading.h"
#include "binding/schema/schema_directives.h"
#include "binding/schema/type_views.h"
#include "binding/schema/unions.h"
#include "engine/sdl.h"

namespace quenfel::py {

namespace {

// The scalars that annotation resolution maps datetime, decimal and uuid
// classes to. The host declares none of them, so a schema gets the ones its
// fields and arguments use, directives' arguments included.
struct StandardScalar {
  std::string_view name, description;
};
constexpr StandardScalar kStandardScalars[] = {
    {"Date", "Date (isoformat)"},
    {"DateTime", "Date with time (isoformat)"},
    {"Decimal", "Decimal (fixed-point)"},
    {"Time", "Time (isoformat)"},
    {"UUID", "UUID"},
};

// Calls body(item) for each item of a sequence argument.
template <class Body>
void for_each_in_sequence(PyObject* obj, const char* param, Body&& body) {
  expect_sequence(obj, param);
  for_each_item(obj, body);
}

// The items of an element of a list of pairs, which must be a 2-tuple.
std::pair<PyObject*, PyObject*> as_pair(PyObject* obj, const char* param) {
  if (!PyTuple_Check(obj)) raise_wrong_kind(obj, &PyTuple_Type, param);
  const Py_ssize_t size = PyTuple_Size(obj);
  if (size != 2) {
    raise_type_error(Ref::steal(PyUnicode_FromFormat("expected tuple of length 2, but got tuple of length %zd", size)),
                     param);
  }
  return {PyTuple_GetItem(obj, 0), PyTuple_GetItem(obj, 1)};
}

// The definitions that a sequence of description objects keeps, keyed by
// name; a later one replaces an earlier one of the same name.
template <class Definition, class Read>
NameMap<Definition> definitions_by_name(PyObject* obj, const char* param, Read&& read) {
  NameMap<Definition> map;
  for_each_in_sequence(obj, param, [&](PyObject* item) {
    const Definition& definition = read(item, param);
    map.insert_or_assign(definition.name, definition);
  });
  return map;
}

// (name, text or None) pairs; absent means none.
std::vector<std::pair<std::string, std::optional<std::string>>> as_text_pairs(PyObject* obj, const char* param) {
  std::vector<std::pair<std::string, std::optional<std::string>>> pairs;
  if (obj == nullptr) return pairs;
  for_each_in_sequence(obj, param, [&](PyObject* item) {
    auto [name, text] = as_pair(item, param);
    pairs.emplace_back(as_str(name, param), as_optional_str(text, param));
  });
  return pairs;
}

// Later texts replace earlier ones; a None text drops nothing.
NameMap<std::string> texts_by_name(std::vector<std::pair<std::string, std::optional<std::string>>> pairs) {
  NameMap<std::string> map;
  for (auto& [name, text] : pairs) {
    if (text) map.insert_or_assign(std::move(name), std::move(*text));
  }
  return map;
}

constexpr Signature<13> kCompileSchema{
    "compile_schema",
    {"query_type_name", "mutation_type_name", "subscription_type_name", "types", "unions", "directives",
     "schema_directives", "scalar_names", "scalar_directives", "scalar_descriptions", "scalar_specified_by_urls",
     "auto_camel_case", "schema_applied_directives"},
    0,
    0,
    0b0000011111001};

PyObject* compile_schema(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<13> arguments(kCompileSchema, args, nargs, kwnames);
    // Every argument is converted before any work, in the order of the parameters.
    auto schema = std::make_shared<CompiledSchema>();
    schema->query_type_name = as_str(arguments[0], "query_type_name");
    if (auto name = as_optional_str(arguments[1], "mutation_type_name")) schema->mutation_type_name = std::string(*name);
    if (auto name = as_optional_str(arguments[2], "subscription_type_name")) {
      schema->subscription_type_name = std::string(*name);
    }
    schema->types = definitions_by_name<TypeDefinition>(arguments[3], "types", as_type_definition);
    schema->unions = definitions_by_name<UnionDefinition>(arguments[4], "unions", as_union_definition);
    schema->directives =
        definitions_by_name<OperationDirectiveDefinition>(arguments[5], "directives", as_operation_directive_definition);
    schema->schema_directives =
        definitions_by_name<SchemaDirectiveDefinition>(arguments[6], "schema_directives", as_schema_directive_definition);
    const std::vector<std::string> scalar_names = as_str_sequence(arguments[7], "scalar_names");
    std::vector<std::pair<std::string, Ref>> scalar_directives;
    if (PyObject* obj = arguments[8]) {
      for_each_in_sequence(obj, "scalar_directives", [&](PyObject* item) {
        auto [name, directives] = as_pair(item, "scalar_directives");
        scalar_directives.emplace_back(as_str(name, "scalar_directives"), Ref::borrow(directives));
      });
    }
    auto descriptions = as_text_pairs(arguments[9], "scalar_descriptions");
    auto urls = as_text_pairs(arguments[10], "scalar_specified_by_urls");
    schema->auto_camel_case = as_bool(arguments[11], "auto_camel_case", true);
    PyObject* schema_applied_directives = arguments[12] != Py_None ? arguments[12] : nullptr;

    for (auto& [name, directives] : scalar_directives) {
      std::vector<AppliedDirective> applied = checked_applied_directives(directives.get(), "SCALAR", name);
      schema->scalar_directives.insert_or_assign(std::move(name), std::move(applied));
    }
    schema->scalar_descriptions = texts_by_name(std::move(descriptions));
    schema->scalar_specified_by_urls = texts_by_name(std::move(urls));
    if (schema_applied_directives != nullptr) {
      schema->schema_applied_directives = checked_applied_directives(schema_applied_directives, "SCHEMA", "schema");
    }

    schema->scalar_names.insert(scalar_names.begin(), scalar_names.end());
    const NameSet referenced = referenced_type_names(schema->types, schema->directives, schema->schema_directives);
    for (const StandardScalar& scalar : kStandardScalars) {
      if (!referenced.contains(scalar.name)) continue;
      // A type or union of that name is what the references mean.
      if (schema->types.contains(scalar.name) || schema->unions.contains(scalar.name)) continue;
      // A scalar the caller declared keeps the caller's description, or none.
      if (schema->scalar_names.emplace(scalar.name).second) {
        schema->scalar_descriptions.insert_or_assign(std::string(scalar.name), std::string(scalar.description));
      }
    }
    if (auto violation = validate_schema_shape(schema->types, schema->unions, schema->scalar_names)) {
      raise_schema_error(*violation);
    }
    return make_instance<PyCompiledSchema>(std::shared_ptr<const CompiledSchema>(std::move(schema)));
  });
}

const CompiledSchema& schema_of(PyObject* self) { return *value_of<PyCompiledSchema>(self).schema; }

Ref scalar_names(PyObject* self) {
  const NameSet& names = schema_of(self).scalar_names;
  // string_view compares bytes as unsigned, so capitals sort before lower case.
  std::vector<std::string_view> sorted(names.begin(), names.end());
  std::sort(sorted.begin(), sorted.end());
  return list_of(sorted, [](std::string_view name) { return str(name); });
}

Ref scalar_descriptions(PyObject* self) {
  Ref dict = new_dict();
  for (const auto& [name, text] : schema_of(self).scalar_descriptions) {
    check(PyDict_SetItem(dict.get(), str(name).get(), str(text).get()));
  }
  return dict;
}

PyGetSetDef compiled_schema_getset[] = {
    computed_attribute<scalar_names>(
        "scalar_names",
        "Every scalar name the schema declares, sorted.\n\n"
        "That is the explicitly registered scalars plus the standard-library built-ins\n"
        "(Date, DateTime, Decimal, Time, UUID) that the schema references, which nothing on the\n"
        "Python side knows about since only compile_schema adds them. Introspection reads\n"
        "this list so that it reports exactly the scalars that the SDL declares: deriving the\n"
        "set separately in Python once let the introspected types omit DateTime while the SDL\n"
        "declared it, which clients reject as a dangling reference. Sorted because the\n"
        "underlying set's iteration order is not stable across runs."),
    computed_attribute<scalar_descriptions>("scalar_descriptions"),
    kAttributesEnd,
};

constexpr Signature<1> kRenderSdl{"render_sdl", {"schema"}, 1, 1};

PyObject* render_sdl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kRenderSdl, args, nargs, kwnames);
    return str(quenfel::render_sdl(as_compiled_schema(arguments[0], "schema")));
  });
}

}  // namespace

const ClassDef PyCompiledSchema::py_class = {
    "quenfel._quenfel.CompiledSchema",
    "The assembled schema, held by the Python side as an opaque handle.\n\n"
    "The host keeps it and hands it back to the request-time functions (validate_query,\n"
    "validate_document, render_sdl, resolve_persisted_query). It is not meant to be\n"
    "introspected field by field: the host's own schema object already exposes the\n"
    "schema's shape.",
    compiled_schema_getset,
};

PyObject* compiled_schema_type() { return type_object<PyCompiledSchema>(); }

PyMethodDef compile_schema_def = function_def(
    "compile_schema", compile_schema,
    "compile_schema(*, query_type_name, mutation_type_name=None, subscription_type_name=None, types, unions, "
    "directives, schema_directives, scalar_names, scalar_directives=..., scalar_descriptions=..., "
    "scalar_specified_by_urls=..., auto_camel_case=True, schema_applied_directives=None)\n--\n\n"
    "Assemble a CompiledSchema from what the host's graph walker already discovered.\n\n"
    "That is the __quenfel_type_info__, __quenfel_union_info__ and\n"
    "__quenfel_directive_info__ objects of every reachable type, union and directive, plus\n"
    "the resolved scalar names. Each of those description objects already carries the\n"
    "engine definition it was built from, in its definition field, so compilation is just\n"
    "re-keying already-computed data by name, not re-deriving anything from the Python\n"
    "classes. The datetime, decimal and uuid scalars that the types use are added, and the\n"
    "schema's shape is checked; a violation raises SchemaError.");

PyMethodDef render_sdl_def = function_def("render_sdl", render_sdl,
                                          "render_sdl(schema)\n--\n\n"
                                          "Render schema as GraphQL SDL text.\n\n"
                                          "The same schema always prints the same text: every group of\n"
                                          "definitions is sorted by name.");

}  // namespace quenfel::py
