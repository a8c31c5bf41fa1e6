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

// Raises SchemaError "{prefix}{type}: {text}" quoting `cause` (an exception
// taken with fetch_error()): its type's qualified name and its str()
// ("<exception str() failed>" when that fails). `cause` becomes the
// SchemaError's __context__.
[[noreturn]] inline void raise_schema_error_quoting(Ref cause, std::string_view prefix) {
  Ref type_name = Ref::steal(PyType_GetQualName(Py_TYPE(cause.get())));
  PyObject* rendered = PyObject_Str(cause.get());
  if (rendered == nullptr) discard_error();
  Ref text = rendered != nullptr ? Ref::steal(rendered) : str("<exception str() failed>");
  Ref message = Ref::steal(PyUnicode_FromFormat("%U%U: %U", str_lossy(prefix).get(), type_name.get(), text.get()));
  Ref error = Ref::steal(PyObject_CallFunctionObjArgs(schema_error_type(), message.get(), nullptr));
  PyException_SetContext(error.get(), cause.release());
  raise_object(error.get());
}

// The directive location of that name: one of the enumerators up to `Last`,
// whose names `name_of` gives; else SchemaError "unknown {what} location '{name}'".
template <auto Last, auto name_of>
decltype(Last) parse_location(std::string_view name, std::string_view what) {
  for (int i = 0; i <= static_cast<int>(Last); ++i) {
    const auto location = static_cast<decltype(Last)>(i);
    if (name_of(location) == name) return location;
  }
  raise_schema_error("unknown " + std::string(what) + " location '" + std::string(name) + "'");
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
inline std::string read_str(PyObject* obj, Name name) {
  Ref value = getattr(obj, name);
  return std::string(as_str(value.get(), nullptr));
}

// The same for an attribute that may also be None.
inline std::optional<std::string> read_optional_str(PyObject* obj, Name name) {
  Ref value = getattr(obj, name);
  if (value.get() == Py_None) return std::nullopt;
  return std::string(as_str(value.get(), nullptr));
}

// The text of an attribute taken only when it is a str: a failed lookup (an
// empty Ref), or any other value, counts as absent.
inline std::optional<std::string> text_if_str(const Ref& value) {
  if (!value || !PyUnicode_Check(value.get())) return std::nullopt;
  return std::string(as_str(value.get(), nullptr));
}


}  // namespace quenfel::py
