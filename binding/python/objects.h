// Owned references, making Python objects, and raising Python errors.
//
// Helpers that make Python objects return Refs and throw ErrorSet when the
// interpreter fails, so code between the call boundaries is straight-line C++.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>
#include <utility>

// Exported by every CPython, though the limited API leaves it out.
extern "C" int PyGILState_Check(void);

namespace quenfel::py {

// Thrown when a Python error is set; the boundary leaves it set for the caller.
struct ErrorSet {};

// Throws ErrorSet when a C API call reported failure.
inline void check(int status) {
  if (status < 0) throw ErrorSet{};
}

// An owned (strong) reference; move-only, released on destruction.
class Ref {
 public:
  Ref() noexcept = default;
  Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    PyObject* old = std::exchange(p_, std::exchange(other.p_, nullptr));
    Py_XDECREF(old);  // last: releasing may run arbitrary code
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
#ifdef Py_REF_DEBUG
    Py_XDECREF(p_);
#else
    // Py_DECREF, with the last release out of line: see release_last.
    if (p_ != nullptr && --p_->ob_refcnt == 0) release_last(p_);
#endif
  }

  // Takes over a new reference; a null one means the call failed, so throws ErrorSet.
  static Ref steal(PyObject* p) {
    if (p == nullptr) throw ErrorSet{};
    return Ref(p);
  }
  // Takes a new reference to a borrowed object.
  static Ref borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return Ref(p);
  }

  PyObject* get() const noexcept { return p_; }
  // Hands the reference over to the caller.
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) noexcept : p_(p) {}
  // Frees an object whose count has reached zero, unless this thread lacks
  // the interpreter lock, which happens only to a thread the interpreter ends
  // at shutdown while it is inside a call (see boundary.h): freeing would
  // crash, so its objects are left to the process exit, as the interpreter
  // leaves those of the thread's own frames.
  static void release_last(PyObject* p) noexcept;
  PyObject* p_ = nullptr;
};

// ---- Making objects ---------------------------------------------------------

// str from UTF-8; invalid UTF-8 raises UnicodeDecodeError.
inline Ref str(std::string_view s) {
  return Ref::steal(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}
// str from UTF-8 that replaces invalid sequences: for messages, which must not fail.
Ref str_lossy(std::string_view s);
inline Ref integer(long long v) { return Ref::steal(PyLong_FromLongLong(v)); }
inline Ref integer(unsigned long long v) { return Ref::steal(PyLong_FromUnsignedLongLong(v)); }
inline Ref boolean(bool v) { return Ref::borrow(v ? Py_True : Py_False); }
inline Ref none() { return Ref::borrow(Py_None); }

inline Ref new_list(Py_ssize_t size) { return Ref::steal(PyList_New(size)); }
inline Ref new_tuple(Py_ssize_t size) { return Ref::steal(PyTuple_New(size)); }
inline Ref new_dict() { return Ref::steal(PyDict_New()); }

// Fill a fresh list or tuple; the item's reference moves into the container.
inline void list_set(PyObject* list, Py_ssize_t i, Ref item) { check(PyList_SetItem(list, i, item.release())); }
inline void tuple_set(PyObject* tuple, Py_ssize_t i, Ref item) { check(PyTuple_SetItem(tuple, i, item.release())); }
inline void dict_set(PyObject* dict, const char* key, PyObject* value) {
  check(PyDict_SetItemString(dict, key, value));
}

template <class... Items>
Ref tuple(Items&&... items) {
  Ref t = new_tuple(sizeof...(Items));
  Py_ssize_t i = 0;
  (tuple_set(t.get(), i++, std::forward<Items>(items)), ...);
  return t;
}

// A tuple holding convert(item) for each item of a sized range.
template <class Range, class Convert>
Ref tuple_of(const Range& range, Convert&& convert) {
  Ref t = new_tuple(static_cast<Py_ssize_t>(range.size()));
  Py_ssize_t i = 0;
  for (const auto& item : range) tuple_set(t.get(), i++, convert(item));
  return t;
}

// A list holding convert(item) for each item of a sized range.
template <class Range, class Convert>
Ref list_of(const Range& range, Convert&& convert) {
  Ref list = new_list(static_cast<Py_ssize_t>(range.size()));
  Py_ssize_t i = 0;
  for (const auto& item : range) list_set(list.get(), i++, convert(item));
  return list;
}

// Imports a module through the import machinery; one already in sys.modules
// costs two lookups and no Python-level call.
Ref import(const char* module);

// An attribute name written in the code. The interpreter's attribute caches
// key on the name object, which a str made for each lookup always misses, so
// a name is looked up as one interned str, made on its first use.
class Name {
 public:
  // consteval: only a literal (static storage) can be a Name, whose address
  // then stands for its text for the life of the process.
  template <std::size_t N>
  consteval Name(const char (&text)[N]) : text_(text) {}

  // The interned str (borrowed; kept for the process), or null with an error set.
  PyObject* object() const;

 private:
  const char* text_;
};

inline Ref getattr(PyObject* obj, Name name) {
  PyObject* key = name.object();
  if (key == nullptr) throw ErrorSet{};
  return Ref::steal(PyObject_GetAttr(obj, key));
}
inline Ref call(PyObject* callable, PyObject* args, PyObject* kwargs = nullptr) {
  return Ref::steal(PyObject_Call(callable, args, kwargs));
}

// ---- Raising ----------------------------------------------------------------

// Sets `type` with a message and throws ErrorSet.
[[noreturn]] void raise(PyObject* type, const char* message);
// Sets an object as the current error as Python's `raise` would: an exception
// instance as itself, an exception class without arguments, anything else as TypeError.
void set_error_object(PyObject* exception) noexcept;
// The same, then throws ErrorSet.
[[noreturn]] inline void raise_object(PyObject* exception) {
  set_error_object(exception);
  throw ErrorSet{};
}
// The error that is set, cleared and normalised; callers check that one is set.
Ref fetch_error();

// Whether the error that is set is a real failure rather than an answer: code
// that treats "this raised" as "not this kind" (conversion tests, optional
// lookups) still lets MemoryError and the exceptions outside Exception
// (KeyboardInterrupt, SystemExit, PanicException) through.
inline bool error_is_failure() noexcept {
  return !PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError);
}
// Clears an error that only means "no": throws ErrorSet instead for a real failure.
inline void discard_error() {
  if (error_is_failure()) throw ErrorSet{};
  PyErr_Clear();
}

// An attribute whose lookup failing only means "absent" (an empty Ref); a
// real failure (MemoryError, an exception outside Exception) still throws.
inline Ref try_getattr(PyObject* obj, Name name) {
  PyObject* key = name.object();
  if (key == nullptr) throw ErrorSet{};
  PyObject* found = PyObject_GetAttr(obj, key);
  if (found == nullptr) {
    discard_error();
    return Ref();
  }
  return Ref::steal(found);
}

}  // namespace quenfel::py
