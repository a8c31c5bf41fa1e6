// Test hooks: module functions that drive the binding layer into the paths that real input
// cannot reach. Add a hook as a function plus one line in `hooks`.
#include <stdexcept>
#include <string>

#include "binding/json_values.h"
#include "binding/python/classes.h"
#include "binding/schema/default_literals.h"
#include "binding/schema/type_views.h"

namespace quenfel::py {

namespace {

// A C++ exception escaping into the boundary: std::bad_alloc for "bad_alloc",
// one not derived from std::exception for "unknown", else a runtime_error.
constexpr Signature<1> kPanic{"panic", {"message"}, 1, 1};

PyObject* panic(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<1> arguments(kPanic, args, nargs, kwnames);
    std::string message(as_str(arguments[0], "message"));
    if (message == "bad_alloc") throw std::bad_alloc();
    if (message == "unknown") throw 42;
    throw std::runtime_error(message);
  });
}

// An object whose release throws.
struct PanickingObject {
  std::string message;
  ~PanickingObject() noexcept(false) { throw std::runtime_error(message); }
  static const ClassDef py_class;
};
const ClassDef PanickingObject::py_class = {"quenfel_testhooks.PanickingObject", nullptr, nullptr};

constexpr Signature<1> kPanickingObject{"panicking_object", {"message"}, 1, 1};

PyObject* panicking_object(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kPanickingObject, args, nargs, kwnames);
    return make_instance<PanickingObject>(std::string(as_str(arguments[0], "message")));
  });
}

// The value conversions, each over one object: a JSON value as its text
// (json.loads keeps an integer apart from a double), a literal as str or None.
Ref json_text(PyObject* obj) { return str(python_to_json_value(obj).dump()); }
Ref default_literal(PyObject* obj) { return text_object(python_default_to_graphql_literal(obj)); }

template <Ref (*Convert)(PyObject*)>
PyObject* conversion(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature<1> kConversion{"conversion", {"obj"}, 1, 1};
  return guard([&] { return Convert(Arguments<1>(kConversion, args, nargs, kwnames)[0]); });
}

PyMethodDef hooks[] = {
    function_def("panic", panic, nullptr),
    function_def("panicking_object", panicking_object, nullptr),
    function_def("json_text", conversion<json_text>, nullptr),
    function_def("default_literal", conversion<default_literal>, nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
