// Test hooks: module functions that drive the binding layer into the paths
// that real input cannot reach. Add a hook as a function plus one line in
// `hooks`.
#include <stdexcept>
#include <string>

#include "binding/error.h"
#include "binding/py.h"

namespace quenfel::py {

namespace {

constexpr Signature<1> kPanic{"panic", {"message"}, 1, 1};

// A C++ exception escaping into the boundary.
PyObject* panic(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<1> arguments(kPanic, args, nargs, kwnames);
    throw std::runtime_error(std::string(as_str(arguments[0], "message")));
  });
}

constexpr Signature<0> kPanicUnknown{"panic_unknown", {}, 0, 0};

PyObject* panic_unknown(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<0> arguments(kPanicUnknown, args, nargs, kwnames);
    throw 42;
  });
}

constexpr Signature<0> kExhaustMemory{"exhaust_memory", {}, 0, 0};

PyObject* exhaust_memory(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<0> arguments(kExhaustMemory, args, nargs, kwnames);
    throw std::bad_alloc();
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

// An engine error raised as the module's functions raise it.
constexpr Signature<3> kEngineError{"raise_engine_error", {"message", "code", "locations"}, 1, 1, 0b01};

PyObject* raise_engine_error(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<3> arguments(kEngineError, args, nargs, kwnames);
    // Bytes stand for a message that is not valid UTF-8.
    std::string message;
    if (PyBytes_Check(arguments[0])) {
      message.assign(PyBytes_AsString(arguments[0]), static_cast<std::size_t>(PyBytes_Size(arguments[0])));
    } else {
      message = as_str(arguments[0], "message");
    }
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
        std::size_t line = 0, column = 0;
        if (!PyArg_ParseTuple(PyList_GetItem(locations, i), "nn", &line, &column)) throw ErrorSet{};
        error->locations->push_back({line, column});
      }
    }
    raise_graphql_error(std::move(error));
  });
}

// The arguments it was given, by name: for comparing argument errors with the interpreter's.
constexpr Signature<5> kSignatureProbe{"signature_probe", {"a", "b", "c", "d", "e"}, 3, 2, 0b01};

PyObject* signature_probe(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<5> arguments(kSignatureProbe, args, nargs, kwnames);
    Ref given = new_dict();
    for (std::size_t i = 0; i < 5; ++i) {
      if (arguments[i] != nullptr) dict_set(given.get(), kSignatureProbe.names[i], arguments[i]);
    }
    return given;
  });
}

PyMethodDef hooks[] = {
    function_def("panic", panic, "panic(message)\n--\n\nThrows a C++ exception with the message."),
    function_def("panic_unknown", panic_unknown, "panic_unknown()\n--\n\nThrows a non-standard C++ exception."),
    function_def("exhaust_memory", exhaust_memory, "exhaust_memory()\n--\n\nThrows std::bad_alloc."),
    function_def("panicking_object", panicking_object,
                 "panicking_object(message)\n--\n\nAn object whose release throws a C++ exception."),
    function_def("raise_engine_error", raise_engine_error,
                 "raise_engine_error(message, *, code, locations=None)\n--\n\n"
                 "Raises an engine error with the code's name and a list of (line, column) pairs;\n"
                 "a bytes message may hold invalid UTF-8."),
    function_def("signature_probe", signature_probe,
                 "signature_probe(a, b, c=None, *, d, e=None)\n--\n\nThe arguments given, by parameter name."),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
