// A query's input values (arguments, with the caller's variables) as Python objects.
#pragma once

#include <string_view>

#include "binding/python/objects.h"
#include "binding/request/names.h"
#include "engine/document.h"

namespace quenfel::py {

// A query input value as a Python object. A variable is looked up in the
// caller's dict (a plain lookup: no __missing__) and comes back as the very
// object stored there; an absent one raises the host's GraphQLError
// "query references undefined variable '$name'". Names are made through `names`.
Ref graphql_value_to_python(const Value& value, PyObject* variable_values, Names& names);

// The object `variable_values` holds under `name` (a new reference), or an
// empty Ref when it has none; a lookup that raises throws ErrorSet.
Ref find_variable(PyObject* variable_values, PyObject* name);
Ref find_variable(PyObject* variable_values, std::string_view name);

}  // namespace quenfel::py
