// Python type annotations to GraphQL type references, and the process-wide
// caches of the typing, standard-library and host objects that this needs.
//
// `typing` is the standard typing module, imported by the caller; its
// get_origin, get_args and Annotated are looked up on every use. Failures
// throw ErrorSet with the Python error set.
#pragma once

#include <string>

#include "binding/python/objects.h"
#include "engine/schema.h"

namespace quenfel::py {

// typing.get_origin(annotation), and typing.get_args(annotation) iterated into a new list.
Ref get_origin(PyObject* typing, PyObject* annotation);
Ref arguments_list(PyObject* typing, PyObject* annotation);

// The first item of an iterable that is an instance of `marker_class`, or an empty Ref.
Ref find_marker(PyObject* items, PyObject* marker_class);

// An Annotated annotation split into its base and a new list of its metadata;
// any other annotation is its own base, with an empty list. An Annotated
// without arguments raises SchemaError.
struct Unwrapped {
  Ref base;
  Ref metadata;
};
Unwrapped unwrap_annotated(PyObject* typing, PyObject* annotation);
// The same when typing.get_origin(annotation) is known already.
Unwrapped unwrap_annotated(PyObject* typing, PyObject* annotation, PyObject* origin);

// Whether the annotation, once unwrapped from a top-level Annotated, is Maybe[...].
bool is_maybe_annotation(PyObject* typing, const Unwrapped& unwrapped);

// typing.Union or types.UnionType (identity); `origin` may be None.
bool is_union_origin(PyObject* origin);

// quenfel._lazy.LazyType (borrowed, from its cache).
PyObject* lazy_type_class();

// The GraphQL name of a leaf annotation: a lazy reference's type, a built-in
// scalar, a class being described (below), a decorated class's name, else the
// object's __name__ or str().
std::string named_type_name(PyObject* annotation);

// While alive, on this thread, `cls` resolves to `name`, the GraphQL name
// being built for it. A class being described has no __quenfel_type_info__ of
// its own yet, and one it inherits (from a decorated interface) names another
// type. Scopes nest; each restores the one it hides when it ends.
class DescribingClass {
 public:
  DescribingClass(PyObject* cls, std::string name) noexcept;
  ~DescribingClass();
  DescribingClass(const DescribingClass&) = delete;
  DescribingClass& operator=(const DescribingClass&) = delete;

 private:
  friend const std::string* described_name(PyObject* annotation) noexcept;
  PyObject* cls_;  // borrowed: the caller holds it for the scope's life
  std::string name_;
  DescribingClass* outer_;
};

// The type reference of an annotation: non-null unless it admits None
// (Optional, X | None) or is Maybe[...].
GraphQLType resolve_graphql_type(PyObject* typing, PyObject* annotation);

// typing.get_type_hints(target, localns=localns, include_extras=True): no
// global namespace, so the target's module globals apply.
Ref get_type_hints(PyObject* typing, PyObject* target, PyObject* localns);

// The local namespace for evaluating a class's annotations: {class_name: cls}
// (the class is not bound in its module while its decorator runs), with the
// host's names for the class merged in.
Ref class_namespace(PyObject* cls, PyObject* class_name);

// A dataclass field's `name` (which must be a str) and its annotation: the
// entry of the evaluated `hints` (a dict) under that name, else its `type`.
struct FieldAnnotation {
  std::string name;
  Ref annotation;
};
FieldAnnotation field_annotation(PyObject* hints, PyObject* field);

// dataclasses.Field (from the `dataclasses` module given) when a field of
// exactly that class can carry none of the host's field configuration
// (resolver, graphql_name, description, deprecation_reason, graphql_type,
// directives), else an empty Ref. Most fields are such plain ones, and on
// them every lookup of the configuration would fail, at the cost of an
// exception each.
Ref plain_field_class(PyObject* dataclasses);

// A configuration attribute of a dataclass field, or an empty Ref when the
// lookup fails; a field of exactly `plain_field_class` (may be null) is not asked.
Ref field_configuration(PyObject* plain_field_class, PyObject* field, Name name);

// Merge the names that the host supplies for evaluating the annotations of a
// class (or of a function) into `localns`, replacing same-named entries.
void seed_lazy_namespace_for_class(PyObject* cls, PyObject* localns);
void seed_lazy_namespace_for_callable(PyObject* func, PyObject* localns);

}  // namespace quenfel::py
