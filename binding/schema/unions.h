// Union annotations: describe_union and its UnionInfo result.
#pragma once

#include "binding/python/classes.h"
#include "engine/schema.h"

namespace quenfel::py {

// The union that an annotation declares: a bare union of decorated object
// types, or an Annotated one (or a single type) with a quenfel.union(...)
// declaration. Raises SchemaError for a member that is no object type.
UnionDefinition describe_union_definition(PyObject* annotation);

// UnionInfo: the definition that compile_schema copies, and copies of its
// values as the Python attributes.
struct PyUnionInfo {
  UnionDefinition definition;
  Ref name;
  Ref description;   // empty for None
  Ref member_names;  // a tuple of str
  bool has_custom_resolve_type;

  static const ClassDef py_class;
};

// The UnionInfo class (borrowed), created once per process.
PyObject* union_info_type();

// The definition of an argument that must be a UnionInfo.
inline const UnionDefinition& as_union_definition(PyObject* obj, const char* param) {
  return as_instance<PyUnionInfo>(obj, param).definition;
}

extern PyMethodDef describe_union_def;

}  // namespace quenfel::py
