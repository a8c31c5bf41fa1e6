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

// Whether the annotation, below a top-level Annotated, is Maybe[...].
bool is_maybe_annotation(PyObject* typing, PyObject* annotation);

// typing.Union or types.UnionType (identity); `origin` may be None.
bool is_union_origin(PyObject* origin);

// quenfel._lazy.LazyType (borrowed, from its cache).
PyObject* lazy_type_class();

// The GraphQL name of a leaf annotation: a lazy reference's type, a built-in
// scalar, a decorated class's name, else the object's __name__ or str().
std::string named_type_name(PyObject* annotation);

// The type reference of an annotation: non-null unless it admits None
// (Optional, X | None) or is Maybe[...].
GraphQLType resolve_graphql_type(PyObject* typing, PyObject* annotation);

// Merge the names that the host supplies for evaluating the annotations of a
// class (or of a function) into `localns`, replacing same-named entries.
void seed_lazy_namespace_for_class(PyObject* cls, PyObject* localns);
void seed_lazy_namespace_for_callable(PyObject* func, PyObject* localns);

}  // namespace quenfel::py
