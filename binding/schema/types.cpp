#include "binding/schema/types.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/schema/annotations.h"
#include "binding/schema/applied_directives.h"
#include "binding/schema/default_literals.h"
#include "binding/schema/parameters.h"
#include "binding/schema/reading.h"
#include "binding/schema/type_views.h"

namespace quenfel::py {

namespace {

std::optional<TypeKind> parse_kind(std::string_view kind) {
  if (kind == "type") return TypeKind::Object;
  if (kind == "interface") return TypeKind::Interface;
  if (kind == "input") return TypeKind::InputObject;
  return std::nullopt;
}

// The class's evaluated annotations. Only a NameError (a name not defined
// yet) is the schema's concern; a result that is no dict gives no hints.
Ref class_hints(PyObject* typing, PyObject* cls, PyObject* localns, const std::string& class_name,
                bool allow_unresolved) {
  Ref hints;
  try {
    hints = get_type_hints(typing, cls, localns);
  } catch (const ErrorSet&) {
    if (!PyErr_ExceptionMatches(PyExc_NameError)) throw;
    if (allow_unresolved) {
      PyErr_Clear();
      return new_dict();
    }
    Ref cause = fetch_error();
    raise_schema_error_quoting(std::move(cause), "could not resolve field annotations for '" + class_name + "': ");
  }
  return PyDict_Check(hints.get()) ? std::move(hints) : new_dict();
}

// What describing one class reads once for all its fields.
struct ClassScope {
  PyObject* cls;
  PyObject* dataclasses;
  PyObject* typing;
  PyObject* hints;
  PyObject* private_marker;
  PyObject* plain_field_class;  // may be null
  Ref missing;  // dataclasses.MISSING, read when the first default is

  PyObject* missing_sentinel() {
    if (!missing) missing = getattr(dataclasses, "MISSING");
    return missing.get();
  }
  Ref configuration(PyObject* field, Name name) const { return field_configuration(plain_field_class, field, name); }
};

// The field's default as a literal: none for MISSING (no default, or a
// default factory) or for a value without a literal form.
std::optional<std::string> default_literal(ClassScope& scope, PyObject* field) {
  PyObject* missing = scope.missing_sentinel();
  Ref value = try_getattr(field, "default");
  if (!value || value.get() == missing) return std::nullopt;
  return python_default_to_graphql_literal(value.get());
}

// The record of one dataclass field, or nothing for a private one.
std::optional<FieldDefinition> field_definition(ClassScope& scope, PyObject* field) {
  auto [name, annotation] = field_annotation(scope.hints, field);
  // Any successful lookup marks a field made by the host's field configuration.
  Ref resolver = scope.configuration(field, "resolver");
  Unwrapped unwrapped = unwrap_annotated(scope.typing, annotation.get());
  if (find_marker(unwrapped.metadata.get(), scope.private_marker)) {
    if (!resolver) return std::nullopt;
    raise_schema_error("field '" + name + "' on '" + read_str(scope.cls, "__name__") +
                       "' cannot be both Private and a quenfel.field(...) -- either remove the Private annotation "
                       "or the field configuration");
  }
  FieldDefinition definition;
  definition.graphql_name = text_if_str(scope.configuration(field, "graphql_name"));
  definition.description = text_if_str(scope.configuration(field, "description"));
  definition.deprecation_reason = text_if_str(scope.configuration(field, "deprecation_reason"));
  definition.is_maybe = is_maybe_annotation(scope.typing, unwrapped);
  // A Maybe field's default is converted (and may fail) but never kept.
  std::optional<std::string> literal = default_literal(scope, field);
  if (!definition.is_maybe) definition.default_value = std::move(literal);
  Ref type_override = scope.configuration(field, "graphql_type");
  const bool overridden = type_override && type_override.get() != Py_None;
  definition.graphql_type = resolve_graphql_type(scope.typing, overridden ? type_override.get() : annotation.get());
  if (resolver && resolver.get() != Py_None) {
    ClassifiedParameters parameters = bind_resolver_arguments(scope.cls, resolver.get());
    definition.arguments = std::move(parameters.arguments);
    definition.parent_parameter = std::move(parameters.parent_param);
    definition.info_parameter = std::move(parameters.info_param);
    definition.has_resolver = true;
  }
  if (Ref directives = scope.configuration(field, "directives")) {
    definition.directives = extract_applied_directives(directives.get());
  }
  definition.name = std::move(name);
  return definition;
}

// The names of the decorated interfaces among the class's bases, in
// method-resolution order. An undecorated class inherits the attribute, so it
// repeats the name of the interface above it.
std::vector<std::string> interface_names(PyObject* cls) {
  Ref mro = Ref::steal(PyObject_CallMethod(cls, "mro", nullptr));
  std::vector<std::string> names;
  bool first = true;
  for_each_item(mro.get(), [&](PyObject* base) {
    if (std::exchange(first, false)) return;  // the class itself
    Ref info = try_getattr(base, "__quenfel_type_info__");
    if (info && read_str(info.get(), "kind") == "interface") names.push_back(read_str(info.get(), "name"));
  });
  return names;
}

constexpr Signature<7> kProcessType{
    "process_type",
    {"cls", "kind", "name", "description", "directives", "one_of", "allow_unresolved_annotations"},
    1,
    1,
    0b1001,
};

PyObject* process_type(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<7> arguments(kProcessType, args, nargs, kwnames);
    PyObject* cls = arguments[0];
    expect_instance(cls, &PyType_Type, "cls");
    const std::string_view kind = as_str(arguments[1], "kind");
    std::optional<std::string_view> name = as_optional_str(arguments[2], "name");
    std::optional<std::string_view> description = as_optional_str(arguments[3], "description");
    PyObject* directives = arguments[4];
    const bool one_of = as_bool(arguments[5], "one_of", false);
    const bool allow_unresolved = as_bool(arguments[6], "allow_unresolved_annotations", false);

    TypeDefinition definition;
    definition.directives = extract_applied_directives(directives);
    const std::optional<TypeKind> type_kind = parse_kind(kind);
    if (!type_kind) {
      raise_schema_error("unknown type kind '" + std::string(kind) + "' (expected 'type', 'interface', or 'input')");
    }
    definition.kind = *type_kind;
    Ref dataclasses = import("dataclasses");
    Ref fields = Ref::steal(PyObject_CallMethod(dataclasses.get(), "fields", "(O)", cls));
    Ref typing = import("typing");
    Ref class_name_object = getattr(cls, "__name__");
    const std::string class_name(as_str(class_name_object.get(), nullptr));
    Ref localns = class_namespace(cls, class_name_object.get());
    Ref hints = class_hints(typing.get(), cls, localns.get(), class_name, allow_unresolved);
    Ref private_marker = getattr(import("quenfel._private").get(), "PrivateMarker");

    // Until the class is decorated, annotations naming it must get this name,
    // not that of a decorated interface whose description it inherits.
    const std::string type_name = name ? std::string(*name) : class_name;
    DescribingClass describing(cls, type_name);
    Ref plain_field = plain_field_class(dataclasses.get());
    ClassScope scope{cls, dataclasses.get(), typing.get(), hints.get(), private_marker.get(), plain_field.get(), Ref()};
    for_each_item(fields.get(), [&](PyObject* field) {
      if (std::optional<FieldDefinition> built = field_definition(scope, field)) {
        definition.fields.push_back(std::move(*built));
      }
    });
    if (definition.kind == TypeKind::InputObject) {
      for (const FieldDefinition& field : definition.fields) {
        if (field.has_resolver) {
          raise_schema_error("input type fields cannot declare a resolver, but field '" + field.name + "' does");
        }
      }
    }
    definition.name = type_name;
    if (description) definition.description = std::string(*description);
    definition.interfaces = interface_names(cls);
    definition.one_of = one_of;
    return new_type_info(std::move(definition));
  });
}

}  // namespace

PyMethodDef process_type_def = function_def(
    "process_type", process_type,
    "process_type(cls, *, kind, name=None, description=None, directives, one_of=False, "
    "allow_unresolved_annotations=False)\n--\n\n"
    "Build the TypeDefinition of a decorated dataclass, tagged by kind ('type', 'interface'\n"
    "or 'input'). The host calls it once per decorated class, after the class has become a\n"
    "dataclass.\n\n"
    "It looks at this one class only: checks that need the whole type graph (interface\n"
    "field contracts, directive locations) are left to schema compilation.");

}  // namespace quenfel::py
