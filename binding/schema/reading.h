// Reading the host's declarations: iteration, attributes that must be str,
// and the SchemaError of the schema-building checks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "binding/errors.h"
#include "binding/python/arguments.h"

namespace quenfel::py {

// Sets SchemaError with the message (its one argument) and throws ErrorSet.
[[noreturn]] inline void raise_schema_error(std::string_view message) {
  Ref text = str_lossy(message);
  PyErr_SetObject(schema_error_type(), text.get());
  throw ErrorSet{};
}

// Calls body(item) for each item of an iterable, holding the item meanwhile.
// Errors of the iteration protocol are raised.
template <class Body>
void for_each_item(PyObject* iterable, Body&& body) {
  Ref iterator = Ref::steal(PyObject_GetIter(iterable));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref item = Ref::steal(next);
    body(item.get());
  }
  if (PyErr_Occurred()) throw ErrorSet{};
}

// The text of an attribute that must be a str (else the binding's TypeError).
inline std::string read_str(PyObject* obj, const char* name) {
  Ref value = getattr(obj, name);
  return std::string(as_str(value.get(), nullptr));
}

// The same for an attribute that may also be None.
inline std::optional<std::string> read_optional_str(PyObject* obj, const char* name) {
  Ref value = getattr(obj, name);
  if (value.get() == Py_None) return std::nullopt;
  return std::string(as_str(value.get(), nullptr));
}

}  // namespace quenfel::py
