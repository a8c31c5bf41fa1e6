#include "binding/request/input_values.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "binding/errors.h"

namespace quenfel::py {

Ref find_variable(PyObject* variable_values, PyObject* name) {
  PyObject* found = PyDict_GetItemWithError(variable_values, name);
  if (found != nullptr) return Ref::borrow(found);
  if (PyErr_Occurred()) throw ErrorSet{};
  return Ref();
}

Ref find_variable(PyObject* variable_values, std::string_view name) {
  return find_variable(variable_values, str(name).get());
}

Ref graphql_value_to_python(const Value& value, PyObject* variable_values, Names& names) {
  switch (value.kind) {
    case ValueKind::Variable: {
      Ref found = find_variable(variable_values, names.get(value.text()).get());
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
    case ValueKind::List:
      return list_of(value.list(),
                     [&](const Value& item) { return graphql_value_to_python(item, variable_values, names); });
    case ValueKind::Object: {
      Ref dict = new_dict();
      for (const ObjectField& field : value.object()) {
        Ref item = graphql_value_to_python(field.value, variable_values, names);
        check(PyDict_SetItem(dict.get(), names.get(field.name).get(), item.get()));
      }
      return dict;
    }
  }
  throw std::logic_error("unknown value kind");
}

}  // namespace quenfel::py
