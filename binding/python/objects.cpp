#include "binding/python/objects.h"

#include <array>
#include <cstdint>
#include <stdexcept>

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

PyObject* Name::object() const {
  // Open addressing over the literals' addresses; the binding has far fewer
  // names than slots. Every caller holds the interpreter lock.
  struct Slot {
    const char* text;
    PyObject* object;
  };
  static std::array<Slot, 1024> slots{};
  const std::size_t mask = slots.size() - 1;
  std::size_t i = (reinterpret_cast<std::uintptr_t>(text_) >> 3) * 0x9E3779B97F4A7C15ull >> 54 & mask;
  for (std::size_t probe = 0; probe < slots.size(); ++probe, i = (i + 1) & mask) {
    Slot& slot = slots[i];
    if (slot.text == text_) return slot.object;
    if (slot.text == nullptr) {
      PyObject* made = PyUnicode_InternFromString(text_);
      if (made != nullptr) slot = {text_, made};
      return made;
    }
  }
  throw std::length_error("too many attribute names");
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
