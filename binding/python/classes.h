// Read-only classes whose instances hold a C++ T (Instance<T>, class_type<T>(),
// make_instance, as_instance), their attribute getters, and once() for
// process-wide objects. A Collectable T gets cycle-collector support.
#pragma once

#include <atomic>
#include <concepts>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "binding/python/arguments.h"
#include "binding/python/boundary.h"
#include "binding/python/objects.h"

namespace quenfel::py {

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
void dealloc_instance(PyObject* self) {
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
PyObject* get_object(PyObject* self, void*) {
  return guard([&] { return Ref::borrow((value_of<T>(self).*Member).get()); });
}
template <class T, Ref T::*Member>
PyObject* get_optional(PyObject* self, void*) {
  return guard([&] {
    PyObject* held = (value_of<T>(self).*Member).get();
    return Ref::borrow(held != nullptr ? held : Py_None);
  });
}
template <class T, Ref T::*Member>
PyObject* get_list(PyObject* self, void*) {
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
PyObject* get_scalar(PyObject* self, void*) {
  return guard([&] { return scalar_object(value_of<T>(self).*Member); });
}

// An attribute made anew on every read by `Read(self)`.
template <Ref (*Read)(PyObject* self)>
PyObject* get_computed(PyObject* self, void*) {
  return guard([&] { return Read(self); });
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
template <Ref (*Read)(PyObject* self)>
constexpr PyGetSetDef computed_attribute(const char* name, const char* doc = nullptr) {
  return {name, get_computed<Read>, nullptr, doc, nullptr};
}
inline constexpr PyGetSetDef kAttributesEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace quenfel::py
