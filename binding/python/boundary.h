// The call boundary that every entry from Python goes through. No C++
// exception crosses it: a set Python error propagates, std::bad_alloc becomes
// MemoryError, anything else becomes PanicException.
//
// One unwind does cross it: at shutdown the interpreter ends a daemon thread
// that wants the interpreter lock back with pthread_exit, whose forced unwind
// must run to the thread's start. Swallowing it aborts the process, so the
// boundaries and everything between them and Python code are not noexcept.
#pragma once

#include <exception>
#include <type_traits>

#include "binding/python/objects.h"

namespace quenfel::py {

// True once the interpreter has begun to shut down (after its atexit
// callbacks start); watch_interpreter_exit() arms it, once per process.
bool interpreter_exiting() noexcept;
void watch_interpreter_exit();

// Whether the exception being handled is that forced unwind: the one that is
// no C++ object and so has no exception_ptr. (A handler for
// abi::__forced_unwind& binds a reference to no object, which UBSan reports.)
inline bool forced_unwind_in_flight() noexcept { return !std::current_exception(); }

// Turns the exception being handled into a Python error (see guard()).
void set_error_from_current_exception() noexcept;
// Reports the exception being handled through sys.unraisablehook (for deallocators).
void write_unraisable_from_current_exception(PyObject* context) noexcept;

// Runs an entry from Python. `body` returns a Ref (its reference is handed to
// the caller; an empty one when the body has set a Python error itself) or an
// int status. On any failure a Python error is set and the failure value
// (NULL or -1) is returned. Throwing is for failures deep inside; an entry's
// own expected failure (an engine error) is cheaper returned than thrown.
template <class Body>
auto guard(Body&& body) {
  using Result = decltype(body());
  try {
    if constexpr (std::is_same_v<Result, Ref>) {
      return body().release();
    } else {
      return body();
    }
  } catch (...) {
    if (forced_unwind_in_flight()) throw;
    set_error_from_current_exception();
    if constexpr (std::is_same_v<Result, Ref>) {
      return static_cast<PyObject*>(nullptr);
    } else {
      return Result(-1);
    }
  }
}

// The boundary of a deallocator: nothing may be raised, so a failure goes to
// sys.unraisablehook. An error already set by someone else is kept.
template <class Body>
void guard_dealloc(PyObject* context, Body&& body) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  try {
    body();
  } catch (...) {
    if (forced_unwind_in_flight()) throw;
    write_unraisable_from_current_exception(context);
  }
  PyErr_Restore(type, value, traceback);
}

}  // namespace quenfel::py
