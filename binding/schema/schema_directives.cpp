#include "binding/schema/schema_directives.h"

#include <optional>
#include <string>
#include <vector>

#include "binding/schema/annotations.h"
#include "binding/schema/applied_directives.h"
#include "binding/schema/reading.h"
#include "binding/schema/type_views.h"

namespace quenfel::py {

namespace {

// CacheControl gives cacheControl: the first character's full lower-case
// mapping (str.lower), the rest as it stands.
std::string class_name_to_directive_name(PyObject* class_name) {
  const Py_ssize_t length = PyUnicode_GetLength(class_name);
  if (length < 0) throw ErrorSet{};
  if (length == 0) return {};
  Ref first = Ref::steal(PyUnicode_Substring(class_name, 0, 1));
  Ref lowered = Ref::steal(PyObject_CallMethod(first.get(), "lower", nullptr));
  Ref rest = Ref::steal(PyUnicode_Substring(class_name, 1, length));
  Ref joined = Ref::steal(PyUnicode_Concat(lowered.get(), rest.get()));
  return std::string(as_str(joined.get(), nullptr));
}

// typing.get_type_hints(cls, localns=..., include_extras=True); a failure or a
// result that is no dict gives no hints, so that every field falls back to its
// declared type.
Ref type_hints(PyObject* typing, PyObject* cls, PyObject* localns) {
  try {
    Ref hints = get_type_hints(typing, cls, localns);
    if (PyDict_Check(hints.get())) return hints;
  } catch (const ErrorSet&) {
    discard_error();
  }
  return new_dict();
}

DirectiveFieldDefinition directive_field(PyObject* typing, PyObject* hints, PyObject* plain_field, PyObject* field) {
  auto [name, annotation] = field_annotation(hints, field);
  GraphQLType type = resolve_graphql_type(typing, annotation.get());
  return {std::move(name), text_if_str(field_configuration(plain_field, field, "graphql_name")), std::move(type)};
}

std::vector<DirectiveFieldDefinition> directive_fields(PyObject* typing, PyObject* cls, PyObject* hints) {
  Ref dataclasses = import("dataclasses");
  Ref fields = Ref::steal(PyObject_CallMethod(dataclasses.get(), "fields", "(O)", cls));
  Ref plain_field = plain_field_class(dataclasses.get());
  std::vector<DirectiveFieldDefinition> definitions;
  for_each_item(fields.get(), [&](PyObject* field) {
    definitions.push_back(directive_field(typing, hints, plain_field.get(), field));
  });
  return definitions;
}

constexpr Signature<5> kDescribeSchemaDirective{
    "describe_schema_directive", {"cls", "locations", "name", "description", "repeatable"}, 1, 1, 0b0001};

PyObject* describe_schema_directive(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<5> arguments(kDescribeSchemaDirective, args, nargs, kwnames);
    PyObject* cls = arguments[0];
    expect_instance(cls, &PyType_Type, "cls");
    const std::vector<std::string> location_names = as_str_sequence(arguments[1], "locations");
    const std::optional<std::string_view> name = as_optional_str(arguments[2], "name");
    const std::optional<std::string_view> description = as_optional_str(arguments[3], "description");
    const bool repeatable = as_bool(arguments[4], "repeatable", false);

    SchemaDirectiveDefinition definition;
    for (const std::string& location : location_names) {
      definition.locations.push_back(parse_location<SchemaDirectiveLocation::INPUT_FIELD_DEFINITION, schema_directive_location_name>(location, "schema directive"));
    }
    Ref typing = import("typing");
    Ref class_name = getattr(cls, "__name__");
    as_str(class_name.get(), nullptr);  // must be a str
    Ref localns = class_namespace(cls, class_name.get());
    Ref hints = type_hints(typing.get(), cls, localns.get());
    definition.fields = directive_fields(typing.get(), cls, hints.get());
    definition.name = name ? std::string(*name) : class_name_to_directive_name(class_name.get());
    if (description) definition.description = std::string(*description);
    definition.repeatable = repeatable;
    return make_instance<PySchemaDirectiveInfo>(std::move(definition));
  });
}

const SchemaDirectiveDefinition& directive_of(PyObject* self) {
  return value_of<PySchemaDirectiveInfo>(self).definition;
}

Ref directive_name(PyObject* self) { return str(directive_of(self).name); }
Ref directive_description(PyObject* self) { return text_object(directive_of(self).description); }
Ref directive_repeatable(PyObject* self) { return boolean(directive_of(self).repeatable); }

Ref directive_locations(PyObject* self) {
  return list_of(directive_of(self).locations,
                 [](SchemaDirectiveLocation location) { return str(schema_directive_location_name(location)); });
}

Ref directive_fields_view(PyObject* self) {
  return list_of(directive_of(self).fields, [](const DirectiveFieldDefinition& field) {
    DirectiveFieldDefinition copy = field;
    return make_instance<PyDirectiveFieldInfo>(std::move(copy));
  });
}

PyGetSetDef schema_directive_info_getset[] = {
    computed_attribute<directive_name>("name"),
    computed_attribute<directive_description>("description"),
    computed_attribute<directive_locations>("locations"),
    computed_attribute<directive_fields_view>("fields"),
    computed_attribute<directive_repeatable>("repeatable"),
    kAttributesEnd,
};

const DirectiveFieldDefinition& field_of(PyObject* self) { return value_of<PyDirectiveFieldInfo>(self).field; }

Ref field_name(PyObject* self) { return str(field_of(self).name); }
Ref field_graphql_name(PyObject* self) { return text_object(field_of(self).graphql_name); }
Ref field_graphql_type(PyObject* self) { return str(field_of(self).graphql_type.to_sdl_string()); }

PyGetSetDef directive_field_info_getset[] = {
    computed_attribute<field_name>("name"),
    computed_attribute<field_graphql_name>("graphql_name"),
    computed_attribute<field_graphql_type>("graphql_type"),
    kAttributesEnd,
};

}  // namespace

const ClassDef PySchemaDirectiveInfo::py_class = {"quenfel._quenfel.SchemaDirectiveInfo", nullptr,
                                                  schema_directive_info_getset};
const ClassDef PyDirectiveFieldInfo::py_class = {"quenfel._quenfel.DirectiveFieldInfo", nullptr,
                                                 directive_field_info_getset};

PyObject* schema_directive_info_type() { return type_object<PySchemaDirectiveInfo>(); }
PyObject* directive_field_info_type() { return type_object<PyDirectiveFieldInfo>(); }

PyMethodDef describe_schema_directive_def = function_def(
    "describe_schema_directive", describe_schema_directive,
    "describe_schema_directive(cls, *, locations, name=None, description=None, repeatable=False)\n--\n\n");

}  // namespace quenfel::py
