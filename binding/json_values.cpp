#include "binding/json_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binding/python/arguments.h"
#include "binding/python/values.h"

namespace quenfel::py {

namespace {

Json integer_json(long long value) {
  if (value >= 0) return Json(static_cast<std::uint64_t>(value));  // as JSON text would parse it
  return Json(static_cast<std::int64_t>(value));
}

[[noreturn]] void raise_not_serializable(PyObject* obj) {
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
  Ref message = Ref::steal(PyUnicode_FromFormat("value of type '%U' is not JSON-serializable", name.get()));
  PyErr_SetObject(PyExc_ValueError, message.get());
  throw ErrorSet{};
}

Json list_to_json(PyObject* list) {
  RecursionGuard guard(" while converting a list to JSON");
  Json array = Json::array();
  array.get_ref<Json::array_t&>().reserve(static_cast<std::size_t>(PyList_Size(list)));
  // Item conversion may run Python code that changes the list: re-read the size each time.
  for (Py_ssize_t i = 0; i < PyList_Size(list); ++i) {
    Ref item = Ref::borrow(PyList_GetItem(list, i));
    array.push_back(python_to_json_value(item.get()));
  }
  return array;
}

Json dict_to_json(PyObject* dict) {
  RecursionGuard guard(" while converting a dict to JSON");
  Json object = Json::object();
  auto& entries = object.get_ref<Json::object_t&>();
  for_each_entry(dict, [&](PyObject* key, PyObject* value) {
    std::string_view text = as_str(key, nullptr);
    entries.insert_or_assign(std::string(text), python_to_json_value(value));
    return true;
  });
  return object;
}

}  // namespace

Json python_to_json_value(PyObject* obj) {
  if (obj == Py_None) return Json(nullptr);
  if (PyBool_Check(obj)) return Json(obj == Py_True);  // before the int test: True is not 1
  // The exact built-in kinds first: they fail every earlier test, so the
  // outcome is the one the ordered tests give, without raising along the way.
  if (PyLong_CheckExact(obj)) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (overflow == 0) return integer_json(value);
    if (std::optional<double> wide = as_double(obj)) return double_json(*wide);  // too large even: OverflowError
    raise_not_serializable(obj);
  }
  if (PyFloat_CheckExact(obj)) return double_json(PyFloat_AsDouble(obj));
  if (PyUnicode_CheckExact(obj)) {
    if (std::optional<std::string_view> text = as_text(obj)) return Json(std::string(*text));
    raise_not_serializable(obj);
  }
  if (PyList_CheckExact(obj)) return list_to_json(obj);
  if (PyDict_CheckExact(obj)) return dict_to_json(obj);

  if (std::optional<long long> value = as_int64(obj)) return integer_json(*value);
  if (std::optional<double> value = as_double(obj)) return double_json(*value);
  if (PyUnicode_Check(obj)) {
    if (std::optional<std::string_view> text = as_text(obj)) return Json(std::string(*text));
  } else if (PyList_Check(obj)) {
    return list_to_json(obj);
  } else if (PyDict_Check(obj)) {
    return dict_to_json(obj);
  }
  raise_not_serializable(obj);
}

}  // namespace quenfel::py
