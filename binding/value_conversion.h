// Conversions between Python objects and the engine's value forms: JSON values
// (variables, directive arguments), query input values, and GraphQL literal
// text for schema defaults.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "binding/py.h"
#include "engine/document.h"
#include "engine/error.h"

namespace quenfel::py {

// A Python object as a JSON value. None, bool, anything with __index__ (an
// int beyond 64 bits goes on to the next test), anything with __float__
// (non-finite gives null), str, list and dict (str keys only; the object's
// keys come out sorted); kinds are tried in that order and a test that raises
// only means "not this kind". Anything else raises ValueError
// "value of type '{}' is not JSON-serializable"; a non-str key raises TypeError.
Json python_to_json_value(PyObject* obj);

// A query input value as a Python object. A variable is looked up in the
// caller's dict (a plain lookup: no __missing__) and comes back as the very
// object stored there; an absent one raises the host's GraphQLError
// "query references undefined variable '$name'".
Ref graphql_value_to_python(const Value& value, PyObject* variable_values);

// The object `variable_values` holds under `name` (a new reference), or an
// empty Ref when it has none; a lookup that raises throws ErrorSet.
Ref find_variable(PyObject* variable_values, PyObject* name);
Ref find_variable(PyObject* variable_values, std::string_view name);

// A Python default value as GraphQL literal text ("[1, 2]", "{a: 1}", "\"x\"",
// enum value names), or nothing when the value has no faithful literal. Only
// errors from reading a decorated enum's description are raised.
std::optional<std::string> python_default_to_graphql_literal(PyObject* obj);

// The GraphQL name of a member of a decorated enum (a class whose
// __quenfel_type_info__ has kind "enum"): the graphql_name of its entry in
// enum_values, else its Python name; nothing when `obj` is no such member.
std::optional<std::string> enum_member_literal(PyObject* obj);

}  // namespace quenfel::py
