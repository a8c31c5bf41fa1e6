// Reading plain values out of arbitrary objects: kind tests where a raised
// error only means "not this kind", and walks over nested lists and dicts
// that stay safe against self-reference and mutation.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "binding/python/objects.h"

namespace quenfel::py {

// Nested lists and dicts recurse; a self-containing one must end in RecursionError, not a crash.
class RecursionGuard {
 public:
  explicit RecursionGuard(const char* where) {
    if (Py_EnterRecursiveCall(where) != 0) throw ErrorSet{};
  }
  ~RecursionGuard() { Py_LeaveRecursiveCall(); }
  RecursionGuard(const RecursionGuard&) = delete;
  RecursionGuard& operator=(const RecursionGuard&) = delete;
};

// Calls body(key, value) for each entry in the dict's order, holding both.
// The body may run Python code; one that resizes the dict, or swaps its keys,
// is a fatal error, as the iteration can no longer be trusted.
template <class Body>
void for_each_entry(PyObject* dict, Body&& body) {
  const Py_ssize_t size = PyDict_Size(dict);
  Py_ssize_t pos = 0, seen = 0;
  PyObject *key, *value;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    if (++seen > size) throw std::runtime_error("dictionary keys changed during iteration");
    Ref held_key = Ref::borrow(key);
    Ref held_value = Ref::borrow(value);
    if (!body(held_key.get(), held_value.get())) return;
    if (PyDict_Size(dict) != size) throw std::runtime_error("dictionary changed size during iteration");
  }
}

// The numeric tests, in the order the conversions try them, then the text
// test. Each raises only to say "not this kind"; a real failure still throws.
inline std::optional<long long> as_int64(PyObject* obj) {
  const long long value = PyLong_AsLongLong(obj);  // __index__ for non-ints
  if (value == -1 && PyErr_Occurred()) {
    discard_error();
    return std::nullopt;
  }
  return value;
}

inline std::optional<double> as_double(PyObject* obj) {
  const double value = PyFloat_AsDouble(obj);  // __float__, else __index__
  if (value == -1.0 && PyErr_Occurred()) {
    discard_error();
    return std::nullopt;
  }
  return value;
}

inline std::optional<std::string_view> as_text(PyObject* obj) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);  // fails on lone surrogates
  if (data == nullptr) {
    discard_error();
    return std::nullopt;
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

}  // namespace quenfel::py
