// Python default values as GraphQL literal text, for the defaults a schema prints.
#pragma once

#include <optional>
#include <string>

#include "binding/python/objects.h"

namespace quenfel::py {

// A Python default value as GraphQL literal text ("[1, 2]", "{a: 1}", "\"x\"",
// enum value names), or nothing when the value has no faithful literal. Only
// errors from reading a decorated enum's description are raised.
std::optional<std::string> python_default_to_graphql_literal(PyObject* obj);

// The GraphQL name of a member of a decorated enum (a class whose
// __quenfel_type_info__ has kind "enum"): the graphql_name of its entry in
// enum_values, else its Python name; nothing when `obj` is no such member.
std::optional<std::string> enum_member_literal(PyObject* obj);

}  // namespace quenfel::py
