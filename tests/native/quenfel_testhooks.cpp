// Test hooks: module functions that drive the binding layer into the paths
// that real input cannot reach. Add a hook as a function plus one line in
// `hooks`.
#include <stdexcept>
#include <string>

#include "binding/errors.h"
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
    std::string message(as_str(arguments[0], "message"));
    return make_instance<PanickingObject>(std::move(message));
  });
}

// raise_engine_error(message, *, code, locations=None): an engine error with
// the code's name and (line, column) pairs, raised as the module raises it.
// The message is bytes, so that it can be invalid UTF-8.
constexpr Signature<3> kEngineError{"raise_engine_error", {"message", "code", "locations"}, 1, 1, 0b01};

PyObject* raise_engine_error(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<3> arguments(kEngineError, args, nargs, kwnames);
    expect_instance(arguments[0], &PyBytes_Type, "message");
    std::string message(PyBytes_AsString(arguments[0]), static_cast<std::size_t>(PyBytes_Size(arguments[0])));
    std::string_view code_name = as_str(arguments[1], "code");
    PyObject* locations = arguments[2];
    std::size_t code = 0;
    while (code < kErrorCodeCount && error_code_name(static_cast<ErrorCode>(code)) != code_name) ++code;
    if (code == kErrorCodeCount) raise(PyExc_ValueError, "unknown error code");
    ErrorPtr error = make_error(std::move(message), static_cast<ErrorCode>(code));
    if (locations != nullptr && locations != Py_None) {
      expect_instance(locations, &PyList_Type, "locations");
      error->locations.emplace();
      for (Py_ssize_t i = 0; i < PyList_Size(locations); ++i) {
        // Held: converting an item may run code that empties the list.
        Ref pair = Ref::borrow(PyList_GetItem(locations, i));
        std::size_t line = 0, column = 0;
        if (!PyArg_ParseTuple(pair.get(), "nn", &line, &column)) throw ErrorSet{};
        error->locations->push_back({line, column});
      }
    }
    raise_graphql_error(std::move(error));
  });
}

// The conversions of value_conversion.h, each over one object: a JSON value
// as its text (json.loads keeps an integer apart from a double), a literal
// or enum name as str or None.
Ref json_text(PyObject* obj) { return str(python_to_json_value(obj).dump()); }
Ref default_literal(PyObject* obj) { return text_object(python_default_to_graphql_literal(obj)); }
Ref enum_literal(PyObject* obj) { return text_object(enum_member_literal(obj)); }

template <Ref (*Convert)(PyObject*)>
PyObject* conversion(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature<1> kConversion{"conversion", {"obj"}, 1, 1};
  return guard([&] { return Convert(Arguments<1>(kConversion, args, nargs, kwnames)[0]); });
}

PyMethodDef hooks[] = {
    function_def("panic", panic, nullptr),
    function_def("panicking_object", panicking_object, nullptr),
    function_def("raise_engine_error", raise_engine_error, nullptr),
    function_def("json_text", conversion<json_text>, nullptr),
    function_def("default_literal", conversion<default_literal>, nullptr),
    function_def("enum_literal", conversion<enum_literal>, nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
