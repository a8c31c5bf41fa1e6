#include "binding/python/objects.h"

#include "binding/python/boundary.h"

namespace quenfel::py {

void Ref::release_last(PyObject* p) noexcept {
  // The lock check costs a thread-local lookup: only pay it once the
  // interpreter has begun to shut down.
  if (interpreter_exiting() && !PyGILState_Check()) return;
  _Py_Dealloc(p);
}

Ref import(const char* module) {
  // Without a fromlist this returns the top-level package; the module itself is in sys.modules.
  Ref top = Ref::steal(PyImport_ImportModuleLevel(module, nullptr, nullptr, nullptr, 0));
  Ref name = Ref::steal(PyUnicode_FromString(module));
  if (PyObject* found = PyImport_GetModule(name.get())) return Ref::steal(found);
  if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, name.get());
  throw ErrorSet{};
}

Ref str_lossy(std::string_view s) {
  return Ref::steal(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace"));
}

void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw ErrorSet{};
}

void set_error_object(PyObject* exception) noexcept {
  if (PyExceptionInstance_Check(exception)) {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception);
  } else if (PyExceptionClass_Check(exception)) {
    PyErr_SetNone(exception);
  } else {
    PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
  }
}

Ref fetch_error() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return Ref::steal(value);
}

}  // namespace quenfel::py
