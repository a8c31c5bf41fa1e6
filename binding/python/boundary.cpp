#include "binding/python/boundary.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

#include "binding/python/classes.h"

namespace quenfel::py {

namespace {

// Derived from BaseException so that `except Exception` does not swallow a bug.
PyObject* panic_exception_type() {
  static std::atomic<PyObject*> slot{nullptr};
  return once(slot, [] {
    return Ref::steal(PyErr_NewExceptionWithDoc(
        "_quenfel.PanicException",
        "Raised when a fatal internal error of the native module reaches a call from Python.",
        PyExc_BaseException, nullptr));
  });
}

void raise_panic(const char* message) noexcept {
  std::fprintf(stderr, "quenfel._quenfel: fatal internal error: %s\n", message);
  std::fflush(stderr);
  try {
    Ref text = str_lossy(message);
    PyErr_SetObject(panic_exception_type(), text.get());
    return;
  } catch (...) {
  }
  Py_FatalError("uncaught panic at ffi boundary");
}

std::atomic<bool> exiting{false};
std::atomic<bool> watching{false};

PyObject* note_exit(PyObject*, PyObject*) {
  exiting.store(true, std::memory_order_relaxed);
  Py_RETURN_NONE;
}

PyMethodDef note_exit_def = {"_quenfel_note_exit", note_exit, METH_NOARGS, nullptr};

}  // namespace

bool interpreter_exiting() noexcept { return exiting.load(std::memory_order_relaxed); }

void watch_interpreter_exit() {
  if (watching.exchange(true)) return;
  try {
    Ref callback = Ref::steal(PyCFunction_New(&note_exit_def, nullptr));
    Ref atexit = import("atexit");
    Ref registered = Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", callback.get()));
  } catch (...) {
    watching.store(false);
    throw;
  }
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorSet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception set");
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown C++ exception");
  }
}

void write_unraisable_from_current_exception(PyObject* context) noexcept {
  set_error_from_current_exception();
  PyErr_WriteUnraisable(context);
}

}  // namespace quenfel::py
