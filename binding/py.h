// A thin RAII layer over the CPython limited API, used by every binding file.
//
// - Ref: an owned reference. Helpers that make Python objects return Refs and
//   throw ErrorSet when the interpreter fails, so code between the call
//   boundaries is straight-line C++.
// - guard(): the call boundary that every entry from Python goes through. No
//   C++ exception crosses it: a set Python error propagates, std::bad_alloc
//   becomes MemoryError, anything else becomes PanicException.
// - Signature/Arguments: fastcall argument parsing with the interpreter's
//   own TypeError wording; as_str() and friends check argument kinds.
// - Instance<T>/class_type<T>(): read-only classes whose instances hold a C++ T;
//   a Collectable T gets cycle-collector support.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

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
  ~Ref() { Py_XDECREF(p_); }

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

// Imports a module through the import machinery; one already in sys.modules
// costs two lookups and no Python-level call.
Ref import(const char* module);
inline Ref getattr(PyObject* obj, const char* name) { return Ref::steal(PyObject_GetAttrString(obj, name)); }
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

// ---- Call boundary ----------------------------------------------------------

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
auto guard(Body&& body) noexcept {
  using Result = decltype(body());
  try {
    if constexpr (std::is_same_v<Result, Ref>) {
      return body().release();
    } else {
      return body();
    }
  } catch (...) {
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
void guard_dealloc(PyObject* context, Body&& body) noexcept {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  try {
    body();
  } catch (...) {
    write_unraisable_from_current_exception(context);
  }
  PyErr_Restore(type, value, traceback);
}

// ---- Functions --------------------------------------------------------------

using FastcallFunction = PyObject* (*)(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The definition of a METH_FASTCALL | METH_KEYWORDS module function; `doc`
// starts with its text signature ("name(sig)\n--\n\n").
inline PyMethodDef function_def(const char* name, FastcallFunction body, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(body)), METH_FASTCALL | METH_KEYWORDS, doc};
}

// ---- Arguments --------------------------------------------------------------

// A function's parameters: positional-or-keyword names, then keyword-only names.
//   constexpr Signature<3> kLowerQuery{"lower_query", {"query", "variable_values", "operation_name"}, 1, 1, 0b01};
template <std::size_t N>
struct Signature {
  const char* function;                 // for messages: "lower_query"
  std::array<const char*, N> names;     // positional names, then keyword-only names
  unsigned char positional;             // how many names are positional-or-keyword
  unsigned char required;               // how many leading positional names are required
  std::uint32_t required_keywords = 0;  // bit i: keyword-only name i is required
};

struct ParameterList {
  const char* function;
  const char* const* names;
  std::size_t total, positional, required;
  std::uint32_t required_keywords;
};

// Matches a fastcall's arguments to the names: out[i] is the borrowed argument
// for names[i], or null when absent. Raises the TypeError that a pure-Python
// function with these parameters would raise.
void parse_arguments(const ParameterList& parameters, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out);

template <std::size_t N>
class Arguments {
 public:
  Arguments(const Signature<N>& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == s.positional && s.required_keywords == 0) {
      // The common call: every positional argument, nothing by keyword.
      for (std::size_t i = 0; i < N; ++i) values_[i] = i < s.positional ? args[i] : nullptr;
    } else {
      parse_arguments({s.function, s.names.data(), N, s.positional, s.required, s.required_keywords}, args, nargs,
                      kwnames, values_);
    }
  }
  // Borrowed; null when the argument was not given.
  PyObject* operator[](std::size_t i) const { return values_[i]; }

 private:
  PyObject* values_[N > 0 ? N : 1];
};

// Raises TypeError "'{type}' object is not an instance of '{expected}'" (or
// "'None' is not an instance of '{expected}'") with the note "while processing '{param}'";
// without the note when `param` is null (a value that is no argument, such as a dict key).
[[noreturn]] void raise_wrong_kind(PyObject* obj, PyTypeObject* expected, const char* param);

inline void expect_instance(PyObject* obj, PyTypeObject* expected, const char* param) {
  if (obj == nullptr || !PyObject_TypeCheck(obj, expected)) raise_wrong_kind(obj ? obj : Py_None, expected, param);
}

// The UTF-8 text of a str argument (a str subclass is accepted); valid while `obj` lives.
// `param` may be null as for raise_wrong_kind.
std::string_view as_str(PyObject* obj, const char* param);
// As as_str, with an absent argument or None meaning no value.
std::optional<std::string_view> as_optional_str(PyObject* obj, const char* param);

// ---- Classes ----------------------------------------------------------------

// Returns the object in `slot`, made by make() (a new reference) on first use.
// make() may let other threads run; if two race, the first one stored wins.
template <class Make>
PyObject* once(std::atomic<PyObject*>& slot, Make&& make) {
  if (PyObject* p = slot.load(std::memory_order_acquire)) return p;
  PyObject* made = make().release();
  PyObject* expected = nullptr;
  if (slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
  Py_DECREF(made);
  return expected;
}

// What a class needs besides its C++ struct: `static const ClassDef py_class;` in T.
// Instances are not tracked by the cyclic GC unless T is Collectable (below).
struct ClassDef {
  const char* name;  // qualified: "quenfel._quenfel.ParsedDocument"
  const char* doc;   // or null for none
  PyGetSetDef* getset;
};

// A T that holds objects which can come to refer back to it (a mutable dict
// it hands out, say) gives its class the cycle collector's support by defining
//   int traverse(visitproc visit, void* arg) const;  // visits those objects
//   void clear() noexcept;                            // drops them
// Getters of such a class must cope with the members that clear() empties.
template <class T>
concept Collectable = requires(T& value, const T& constant, visitproc visit, void* arg) {
  { constant.traverse(visit, arg) } -> std::same_as<int>;
  { value.clear() } noexcept;
};

// For traverse(): visits a held object, if any.
inline int visit_ref(const Ref& ref, visitproc visit, void* arg) { return ref ? visit(ref.get(), arg) : 0; }

// A Python object holding a C++ T.
template <class T>
struct Instance {
  PyObject_HEAD
  T value;
};

template <class T>
T& value_of(PyObject* self) noexcept {
  return reinterpret_cast<Instance<T>*>(self)->value;
}

// A read-only heap type that Python cannot instantiate or subclass; with
// `traverse` and `clear` its instances take part in cyclic garbage collection.
Ref make_class(const ClassDef& def, int basicsize, destructor dealloc, traverseproc traverse = nullptr,
               inquiry clear = nullptr);

template <class T>
void dealloc_instance(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  if constexpr (Collectable<T>) PyObject_GC_UnTrack(self);
  // The type, not the half-destroyed object, is what the unraisable hook may print.
  guard_dealloc(reinterpret_cast<PyObject*>(type), [&] { value_of<T>(self).~T(); });
  if constexpr (Collectable<T>) {
    PyObject_GC_Del(self);
  } else {
    PyObject_Free(self);
  }
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

template <class T>
int traverse_instance(PyObject* self, visitproc visit, void* arg) noexcept {
  Py_VISIT(reinterpret_cast<PyObject*>(Py_TYPE(self)));  // heap types visit their type
  return value_of<T>(self).traverse(visit, arg);
}

template <class T>
int clear_instance(PyObject* self) noexcept {
  value_of<T>(self).clear();
  return 0;
}

// The class of T, created once per process.
template <class T>
PyTypeObject* class_type() {
  static std::atomic<PyObject*> slot{nullptr};
  return reinterpret_cast<PyTypeObject*>(once(slot, [] {
    if constexpr (Collectable<T>) {
      return make_class(T::py_class, sizeof(Instance<T>), &dealloc_instance<T>, &traverse_instance<T>,
                        &clear_instance<T>);
    } else {
      return make_class(T::py_class, sizeof(Instance<T>), &dealloc_instance<T>);
    }
  }));
}

// A new instance of T's class, its value built from `args` (which must not throw).
template <class T, class... Args>
Ref make_instance(Args&&... args) {
  static_assert(noexcept(::new (static_cast<void*>(nullptr)) T{std::forward<Args>(args)...}),
                "build the parts before the instance");
  Ref obj = Ref::steal(PyType_GenericAlloc(class_type<T>(), 0));
  new (&value_of<T>(obj.get())) T{std::forward<Args>(args)...};
  return obj;
}

// The T held by an argument, which must be an instance of T's class.
template <class T>
T& as_instance(PyObject* obj, const char* param) {
  expect_instance(obj, class_type<T>(), param);
  return value_of<T>(obj);
}

template <class T>
PyObject* type_object() {
  return reinterpret_cast<PyObject*>(class_type<T>());
}

// Getters for PyGetSetDef tables: a stored object as itself, an optional one
// (empty Ref) as itself or None, a stored tuple as a new list (an empty Ref
// as an empty list), a C++ bool, integer or std::optional of one as a new object.
template <class T, Ref T::*Member>
PyObject* get_object(PyObject* self, void*) noexcept {
  return guard([&] { return Ref::borrow((value_of<T>(self).*Member).get()); });
}
template <class T, Ref T::*Member>
PyObject* get_optional(PyObject* self, void*) noexcept {
  return guard([&] {
    PyObject* held = (value_of<T>(self).*Member).get();
    return Ref::borrow(held != nullptr ? held : Py_None);
  });
}
template <class T, Ref T::*Member>
PyObject* get_list(PyObject* self, void*) noexcept {
  return guard([&] {
    PyObject* held = (value_of<T>(self).*Member).get();
    return held != nullptr ? Ref::steal(PySequence_List(held)) : new_list(0);
  });
}

template <class V>
Ref scalar_object(const V& value) {
  if constexpr (std::is_same_v<V, bool>) {
    return boolean(value);
  } else if constexpr (std::is_signed_v<V>) {
    return integer(static_cast<long long>(value));
  } else {
    return integer(static_cast<unsigned long long>(value));
  }
}
template <class V>
Ref scalar_object(const std::optional<V>& value) {
  return value ? scalar_object(*value) : none();
}
template <class T, auto Member>
PyObject* get_scalar(PyObject* self, void*) noexcept {
  return guard([&] { return scalar_object(value_of<T>(self).*Member); });
}

// Read-only attribute entries; `doc` may be null.
template <class T, Ref T::*Member>
constexpr PyGetSetDef object_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_object<T, Member>, nullptr, doc, nullptr};
}
template <class T, Ref T::*Member>
constexpr PyGetSetDef optional_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_optional<T, Member>, nullptr, doc, nullptr};
}
template <class T, Ref T::*Member>
constexpr PyGetSetDef list_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_list<T, Member>, nullptr, doc, nullptr};
}
template <class T, auto Member>
constexpr PyGetSetDef scalar_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_scalar<T, Member>, nullptr, doc, nullptr};
}
inline constexpr PyGetSetDef kAttributesEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace quenfel::py
