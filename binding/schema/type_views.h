// The read-only description classes of types (TypeInfo, FieldInfo,
// ArgumentInfo, EnumValueInfo, GraphQLTypeInfo) and their builders from the
// engine's records.
//
// Text attributes give a new str on every read; list attributes a new list
// holding the same views, made once with their owner; type_info and of_type
// the same object. Only a TypeInfo keeps a record: its hidden definition.
#pragma once

#include <optional>
#include <string>

#include "binding/python/classes.h"
#include "engine/schema.h"

namespace quenfel::py {

// ---- Text attributes --------------------------------------------------------

inline Ref text_object(const std::string& text) { return str(text); }
inline Ref text_object(const char* text) { return str(text); }
inline Ref text_object(const std::optional<std::string>& text) { return text ? str(*text) : none(); }

// A stored std::string, const char* or std::optional<std::string> as a new str (or None).
template <class T, auto Member>
PyObject* get_text(PyObject* self, void*) {
  return guard([&] { return text_object(value_of<T>(self).*Member); });
}
template <class T, auto Member>
constexpr PyGetSetDef text_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_text<T, Member>, nullptr, doc, nullptr};
}

// ---- The classes ------------------------------------------------------------

struct PyGraphQLTypeInfo {
  const char* kind;  // "NAMED", "LIST" or "NON_NULL"
  std::optional<std::string> name;  // NAMED only
  Ref of_type;  // the wrapped GraphQLTypeInfo; empty for NAMED

  static const ClassDef py_class;
};

struct PyArgumentInfo {
  std::string name;
  std::optional<std::string> graphql_name;
  std::string graphql_type;  // SDL text
  Ref type_info;
  bool is_nullable, has_default;
  std::optional<std::string> default_value, description, deprecation_reason;
  bool is_maybe;

  static const ClassDef py_class;
};

struct PyFieldInfo {
  std::string name;
  std::optional<std::string> graphql_name;
  std::string graphql_type;  // SDL text
  Ref type_info;
  std::optional<std::string> description, deprecation_reason, default_value;
  bool is_maybe, is_nullable, has_resolver;
  std::optional<std::string> parent_parameter, info_parameter;
  Ref arguments;  // tuple of ArgumentInfo

  static const ClassDef py_class;
};

struct PyEnumValueInfo {
  std::string name;
  std::optional<std::string> graphql_name, description, deprecation_reason;

  static const ClassDef py_class;
};

// kind, name, description and one_of are read from the definition.
struct PyTypeInfo {
  Ref fields;       // tuple of FieldInfo
  Ref enum_values;  // tuple of EnumValueInfo
  TypeDefinition definition;  // hidden from Python

  static const ClassDef py_class;
};

// The classes (borrowed), created once per process.
PyObject* type_info_type();
PyObject* field_info_type();
PyObject* argument_info_type();
PyObject* enum_value_info_type();
PyObject* graphql_type_info_type();

// ---- Builders ---------------------------------------------------------------

// A GraphQLTypeInfo, recursively through of_type.
Ref convert_graphql_type(const GraphQLType& type);
// An ArgumentInfo; the argument's directives are left out.
Ref convert_argument(ArgumentDefinition argument);
// A FieldInfo with an ArgumentInfo per argument; the field's directives are left out.
Ref convert_field(FieldDefinition field);
// An EnumValueInfo: the member's four texts.
Ref enum_value_info(const EnumValueDefinition& value);
// A TypeInfo keeping `definition`, with a FieldInfo per field and an
// EnumValueInfo per enum value; its kind is the definition's keyword.
Ref new_type_info(TypeDefinition definition);

// The hidden definition of an argument that must be a TypeInfo.
inline const TypeDefinition& as_type_definition(PyObject* obj, const char* param) {
  return as_instance<PyTypeInfo>(obj, param).definition;
}

}  // namespace quenfel::py
