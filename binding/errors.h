// The module's exception types and the mapping of engine errors to the host's exception.
#pragma once

#include "binding/python/objects.h"
#include "engine/error.h"

namespace quenfel::py {

// Process-wide exception types (borrowed references), created on first use.
PyObject* schema_error_type();
PyObject* graphql_error_type();

// The host's quenfel._error.GraphQLError built from an engine error, or the
// Python error (import, attribute, constructor) that prevented building it.
Ref build_python_error(ErrorPtr error);

// Sets build_python_error(error) as the current Python error and returns an
// empty Ref: `return set_graphql_error(...)` ends an entry without a C++ throw.
Ref set_graphql_error(ErrorPtr error);
// The same, throwing ErrorSet, for failures deep inside a call.
[[noreturn]] void raise_graphql_error(ErrorPtr error);

}  // namespace quenfel::py
