// Python objects as JSON values, the form the engine takes for variables and
// directive arguments: shared by the request and the schema side.
#pragma once

#include <cmath>

#include "binding/python/objects.h"
#include "engine/error.h"

namespace quenfel::py {

// A Python object as a JSON value. None, bool, anything with __index__ (an
// int beyond 64 bits goes on to the next test), anything with __float__
// (non-finite gives null), str, list and dict (str keys only; the object's
// keys come out sorted); kinds are tried in that order and a test that raises
// only means "not this kind". Anything else raises ValueError
// "value of type '{}' is not JSON-serializable"; a non-str key raises TypeError.
Json python_to_json_value(PyObject* obj);

// A float as a JSON value: non-finite gives null.
inline Json double_json(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

}  // namespace quenfel::py
