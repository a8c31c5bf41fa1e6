#include "binding/schema/type_views.h"

#include <type_traits>
#include <utility>

namespace quenfel::py {

namespace {

const char* kind_name(GraphQLType::Kind kind) {
  switch (kind) {
    case GraphQLType::Kind::Named:
      return "NAMED";
    case GraphQLType::Kind::List:
      return "LIST";
    case GraphQLType::Kind::NonNull:
      return "NON_NULL";
  }
  return "NAMED";
}

// TypeInfo's plain attributes, read from its definition.
template <auto Member>
PyObject* get_definition(PyObject* self, void*) {
  return guard([&] {
    const auto& value = value_of<PyTypeInfo>(self).definition.*Member;
    using V = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<V, bool>) {
      return boolean(value);
    } else if constexpr (std::is_same_v<V, TypeKind>) {
      return str(type_kind_keyword(value));
    } else {
      return text_object(value);
    }
  });
}

constexpr const char kMaybeDoc[] = "Declared as Maybe[T]: execution wraps a supplied value in Some(...).";

using T = PyTypeInfo;
PyGetSetDef type_info_getset[] = {
    {"kind", get_definition<&TypeDefinition::kind>, nullptr, nullptr, nullptr},
    {"name", get_definition<&TypeDefinition::name>, nullptr, nullptr, nullptr},
    {"description", get_definition<&TypeDefinition::description>, nullptr, nullptr, nullptr},
    {"one_of", get_definition<&TypeDefinition::one_of>, nullptr, nullptr, nullptr},
    list_attribute<T, &T::fields>("fields"),
    list_attribute<T, &T::enum_values>(
        "enum_values",
        "The enum's members, empty for every other kind. Execution reads it to map a resolved\n"
        "Python enum member onto the GraphQL name a response should carry, and back for an\n"
        "incoming argument value."),
    kAttributesEnd,
};

using F = PyFieldInfo;
PyGetSetDef field_info_getset[] = {
    text_attribute<F, &F::name>("name"),
    text_attribute<F, &F::graphql_name>("graphql_name"),
    text_attribute<F, &F::graphql_type>("graphql_type"),
    object_attribute<F, &F::type_info>("type_info"),
    text_attribute<F, &F::description>("description"),
    text_attribute<F, &F::deprecation_reason>("deprecation_reason"),
    text_attribute<F, &F::default_value>(
        "default_value",
        "The field's default as a GraphQL literal. GraphQL allows a default only on an input\n"
        "object's field."),
    scalar_attribute<F, &F::is_maybe>("is_maybe", kMaybeDoc),
    scalar_attribute<F, &F::is_nullable>("is_nullable"),
    scalar_attribute<F, &F::has_resolver>("has_resolver"),
    text_attribute<F, &F::parent_parameter>("parent_parameter"),
    text_attribute<F, &F::info_parameter>("info_parameter"),
    list_attribute<F, &F::arguments>("arguments"),
    kAttributesEnd,
};

using A = PyArgumentInfo;
PyGetSetDef argument_info_getset[] = {
    text_attribute<A, &A::name>("name"),
    text_attribute<A, &A::graphql_name>("graphql_name"),
    text_attribute<A, &A::graphql_type>("graphql_type"),
    object_attribute<A, &A::type_info>("type_info"),
    scalar_attribute<A, &A::is_nullable>("is_nullable"),
    scalar_attribute<A, &A::has_default>("has_default"),
    text_attribute<A, &A::default_value>(
        "default_value",
        "The default rendered as a GraphQL literal, or None when the argument has no default or\n"
        "has one with no faithful literal form. Introspection reports it verbatim as\n"
        "__InputValue.defaultValue, which the GraphQL specification defines as a string holding\n"
        "the literal."),
    text_attribute<A, &A::description>("description"),
    text_attribute<A, &A::deprecation_reason>("deprecation_reason"),
    scalar_attribute<A, &A::is_maybe>("is_maybe", kMaybeDoc),
    kAttributesEnd,
};

using E = PyEnumValueInfo;
PyGetSetDef enum_value_info_getset[] = {
    text_attribute<E, &E::name>("name"),
    text_attribute<E, &E::graphql_name>("graphql_name"),
    text_attribute<E, &E::description>("description"),
    text_attribute<E, &E::deprecation_reason>("deprecation_reason"),
    kAttributesEnd,
};

using G = PyGraphQLTypeInfo;
PyGetSetDef graphql_type_info_getset[] = {
    text_attribute<G, &G::kind>("kind"),
    text_attribute<G, &G::name>("name"),
    optional_attribute<G, &G::of_type>("of_type"),
    kAttributesEnd,
};

}  // namespace

const ClassDef PyTypeInfo::py_class = {"quenfel._quenfel.TypeInfo", nullptr, type_info_getset};
const ClassDef PyFieldInfo::py_class = {"quenfel._quenfel.FieldInfo", nullptr, field_info_getset};
const ClassDef PyArgumentInfo::py_class = {"quenfel._quenfel.ArgumentInfo", nullptr, argument_info_getset};
const ClassDef PyEnumValueInfo::py_class = {"quenfel._quenfel.EnumValueInfo", nullptr, enum_value_info_getset};
const ClassDef PyGraphQLTypeInfo::py_class = {
    "quenfel._quenfel.GraphQLTypeInfo",
    "A GraphQL type reference, mirroring the schema model's: recursive through of_type, the\n"
    "way non-null and list wrap an inner type.\n\n"
    "It exists beside the flat SDL text graphql_type (kept for display and compatibility)\n"
    "because execution must walk non-null and list wrapping structurally for correct null\n"
    "propagation, which a rendered text such as \"[String!]!\" cannot drive without being\n"
    "parsed again.",
    graphql_type_info_getset,
};

PyObject* type_info_type() { return type_object<PyTypeInfo>(); }
PyObject* field_info_type() { return type_object<PyFieldInfo>(); }
PyObject* argument_info_type() { return type_object<PyArgumentInfo>(); }
PyObject* enum_value_info_type() { return type_object<PyEnumValueInfo>(); }
PyObject* graphql_type_info_type() { return type_object<PyGraphQLTypeInfo>(); }

Ref convert_graphql_type(const GraphQLType& type) {
  if (type.is_named()) {
    std::optional<std::string> name = type.name();
    return make_instance<PyGraphQLTypeInfo>(kind_name(type.kind()), std::move(name), Ref());
  }
  Ref of_type = convert_graphql_type(type.inner());
  return make_instance<PyGraphQLTypeInfo>(kind_name(type.kind()), std::optional<std::string>(), std::move(of_type));
}

Ref convert_argument(ArgumentDefinition a) {
  std::string sdl = a.graphql_type.to_sdl_string();
  Ref type_info = convert_graphql_type(a.graphql_type);
  const bool is_nullable = !a.graphql_type.is_non_null();
  return make_instance<PyArgumentInfo>(std::move(a.name), std::move(a.graphql_name), std::move(sdl),
                                       std::move(type_info), is_nullable, a.has_default, std::move(a.default_value),
                                       std::move(a.description), std::move(a.deprecation_reason), a.is_maybe);
}

Ref convert_field(FieldDefinition f) {
  Ref arguments = tuple_of(f.arguments, [](const ArgumentDefinition& a) { return convert_argument(a); });
  std::string sdl = f.graphql_type.to_sdl_string();
  Ref type_info = convert_graphql_type(f.graphql_type);
  const bool is_nullable = !f.graphql_type.is_non_null();
  return make_instance<PyFieldInfo>(std::move(f.name), std::move(f.graphql_name), std::move(sdl), std::move(type_info),
                                    std::move(f.description), std::move(f.deprecation_reason),
                                    std::move(f.default_value), f.is_maybe, is_nullable, f.has_resolver,
                                    std::move(f.parent_parameter), std::move(f.info_parameter), std::move(arguments));
}

Ref enum_value_info(const EnumValueDefinition& value) {
  std::string name = value.name;
  std::optional<std::string> graphql_name = value.graphql_name, description = value.description,
                             deprecation_reason = value.deprecation_reason;
  return make_instance<PyEnumValueInfo>(std::move(name), std::move(graphql_name), std::move(description),
                                        std::move(deprecation_reason));
}

Ref new_type_info(TypeDefinition definition) {
  Ref fields = tuple_of(definition.fields, [](const FieldDefinition& f) { return convert_field(f); });
  Ref enum_values = tuple_of(definition.enum_values, enum_value_info);
  return make_instance<PyTypeInfo>(std::move(fields), std::move(enum_values), std::move(definition));
}

}  // namespace quenfel::py
