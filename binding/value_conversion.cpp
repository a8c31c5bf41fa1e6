#include "binding/value_conversion.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "binding/error.h"

namespace quenfel::py {

namespace {

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

// The two numeric tests, in order. Each raises only to say "not this kind".
std::optional<long long> as_int64(PyObject* obj) {
  const long long value = PyLong_AsLongLong(obj);  // __index__ for non-ints
  if (value == -1 && PyErr_Occurred()) {
    discard_error();
    return std::nullopt;
  }
  return value;
}

std::optional<double> as_double(PyObject* obj) {
  const double value = PyFloat_AsDouble(obj);  // __float__, else __index__
  if (value == -1.0 && PyErr_Occurred()) {
    discard_error();
    return std::nullopt;
  }
  return value;
}

std::optional<std::string_view> as_text(PyObject* obj) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);  // fails on lone surrogates
  if (data == nullptr) {
    discard_error();
    return std::nullopt;
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

Json integer_json(long long value) {
  if (value >= 0) return Json(static_cast<std::uint64_t>(value));  // as JSON text would parse it
  return Json(static_cast<std::int64_t>(value));
}

Json double_json(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

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

// The str of an attribute that must be one.
std::string attribute_text(PyObject* obj, const char* name) {
  Ref value = getattr(obj, name);
  return std::string(as_str(value.get(), nullptr));
}

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

Ref find_variable(PyObject* variable_values, PyObject* name) {
  PyObject* found = PyDict_GetItemWithError(variable_values, name);
  if (found != nullptr) return Ref::borrow(found);
  if (PyErr_Occurred()) throw ErrorSet{};
  return Ref();
}

Ref find_variable(PyObject* variable_values, std::string_view name) {
  return find_variable(variable_values, str(name).get());
}

Ref graphql_value_to_python(const Value& value, PyObject* variable_values) {
  switch (value.kind) {
    case ValueKind::Variable: {
      Ref found = find_variable(variable_values, value.text());
      if (!found) {
        std::string message = "query references undefined variable '$";
        message.append(value.text()).append("'");
        raise_graphql_error(make_error(std::move(message), ErrorCode::GRAPHQL_VALIDATION_FAILED));
      }
      return found;
    }
    case ValueKind::Null:
      return none();
    case ValueKind::Number:
      switch (value.number_kind) {
        case NumberKind::Unsigned:
          if (value.unsigned_number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return integer(static_cast<long long>(value.unsigned_number));
          }
          return Ref::steal(PyFloat_FromDouble(static_cast<double>(value.unsigned_number)));
        case NumberKind::Signed:
          return integer(static_cast<long long>(value.signed_number));
        case NumberKind::Double:
          return Ref::steal(PyFloat_FromDouble(value.double_number));
      }
      break;
    case ValueKind::String:
    case ValueKind::Enum:
      return str(value.text());
    case ValueKind::Boolean:
      return boolean(value.boolean);
    case ValueKind::Binary:
      return Ref::steal(PyBytes_FromStringAndSize(value.chars, static_cast<Py_ssize_t>(value.size)));
    case ValueKind::List: {
      Ref list = new_list(static_cast<Py_ssize_t>(value.size));
      Py_ssize_t i = 0;
      for (const Value& item : value.list()) list_set(list.get(), i++, graphql_value_to_python(item, variable_values));
      return list;
    }
    case ValueKind::Object: {
      Ref dict = new_dict();
      for (const ObjectField& field : value.object()) {
        Ref item = graphql_value_to_python(field.value, variable_values);
        check(PyDict_SetItem(dict.get(), str(field.name).get(), item.get()));
      }
      return dict;
    }
  }
  throw std::logic_error("unknown value kind");
}

std::optional<std::string> python_default_to_graphql_literal(PyObject* obj) {
  std::string out;
  if (!append_literal(out, obj)) return std::nullopt;
  return out;
}

std::optional<std::string> enum_member_literal(PyObject* obj) {
  // Whatever stops the lookup means "not decorated".
  PyObject* found = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__quenfel_type_info__");
  if (found == nullptr) {
    discard_error();
    return std::nullopt;
  }
  Ref info = Ref::steal(found);
  if (attribute_text(info.get(), "kind") != "enum") return std::nullopt;
  std::string member = attribute_text(obj, "name");
  Ref values = getattr(info.get(), "enum_values");
  Ref iterator = Ref::steal(PyObject_GetIter(values.get()));
  while (PyObject* next = PyIter_Next(iterator.get())) {
    Ref entry = Ref::steal(next);
    if (attribute_text(entry.get(), "name") != member) continue;
    Ref graphql_name = getattr(entry.get(), "graphql_name");
    if (graphql_name.get() == Py_None) return member;
    return std::string(as_str(graphql_name.get(), nullptr));
  }
  if (PyErr_Occurred()) throw ErrorSet{};
  return member;
}

}  // namespace quenfel::py
