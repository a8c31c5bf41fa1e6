#include "binding/schema/default_literals.h"

#include <string_view>

#include "binding/json_values.h"
#include "binding/python/arguments.h"
#include "binding/python/values.h"
#include "binding/schema/reading.h"

namespace quenfel::py {

namespace {

// Appends the literal of `obj` to `out`; false when it has none.
bool append_literal(std::string& out, PyObject* obj) {
  if (std::optional<std::string> name = enum_member_literal(obj)) {
    out += *name;
    return true;
  }
  if (obj == Py_None) {
    out += "null";
    return true;
  }
  if (PyBool_Check(obj)) {
    out += obj == Py_True ? "true" : "false";
    return true;
  }
  if (std::optional<long long> value = as_int64(obj)) {
    out += std::to_string(*value);
    return true;
  }
  if (std::optional<double> value = as_double(obj)) {
    out += double_json(*value).dump();
    return true;
  }
  if (PyUnicode_Check(obj)) {
    if (std::optional<std::string_view> text = as_text(obj)) {
      out += Json(std::string(*text)).dump();
      return true;
    }
    return false;
  }
  if (PyList_Check(obj)) {
    RecursionGuard guard(" while writing a list default");
    out += '[';
    for (Py_ssize_t i = 0; i < PyList_Size(obj); ++i) {
      if (i > 0) out += ", ";
      Ref item = Ref::borrow(PyList_GetItem(obj, i));
      if (!append_literal(out, item.get())) return false;
    }
    out += ']';
    return true;
  }
  if (PyDict_Check(obj)) {
    RecursionGuard guard(" while writing a dict default");
    bool complete = true;
    bool first = true;
    out += '{';
    for_each_entry(obj, [&](PyObject* key, PyObject* value) {
      std::optional<std::string_view> text;
      if (PyUnicode_Check(key)) text = as_text(key);
      if (!text) return complete = false;
      if (!first) out += ", ";
      first = false;
      out += *text;
      out += ": ";
      return complete = append_literal(out, value);
    });
    out += '}';
    return complete;
  }
  return false;
}

}  // namespace

std::optional<std::string> python_default_to_graphql_literal(PyObject* obj) {
  std::string out;
  if (!append_literal(out, obj)) return std::nullopt;
  return out;
}

std::optional<std::string> enum_member_literal(PyObject* obj) {
  // The plain defaults' built-in types are immutable and never decorated:
  // looking the attribute up on them would only make an exception to drop.
  if (obj == Py_None || PyBool_Check(obj) || PyLong_CheckExact(obj) || PyFloat_CheckExact(obj) ||
      PyUnicode_CheckExact(obj) || PyList_CheckExact(obj) || PyDict_CheckExact(obj) || PyTuple_CheckExact(obj)) {
    return std::nullopt;
  }
  // Whatever stops the lookup means "not decorated".
  Ref info = try_getattr(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__quenfel_type_info__");
  if (!info) return std::nullopt;
  if (read_str(info.get(), "kind") != "enum") return std::nullopt;
  std::string member = read_str(obj, "name");
  Ref values = getattr(info.get(), "enum_values");
  Ref iterator = Ref::steal(PyObject_GetIter(values.get()));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref entry = Ref::steal(next);
    if (read_str(entry.get(), "name") == member) return read_optional_str(entry.get(), "graphql_name").value_or(member);
  }
  if (PyErr_Occurred()) throw ErrorSet{};
  return member;
}

}  // namespace quenfel::py
