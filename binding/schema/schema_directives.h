// Schema directive classes: describe_schema_directive, SchemaDirectiveInfo
// and DirectiveFieldInfo.
#pragma once

#include "binding/python/classes.h"
#include "engine/schema.h"

namespace quenfel::py {

// SchemaDirectiveInfo: the definition that compile_schema copies; its
// attributes are made from it anew on every read.
struct PySchemaDirectiveInfo {
  SchemaDirectiveDefinition definition;

  static const ClassDef py_class;
};

// DirectiveFieldInfo: a view of one directive field, made anew on every read
// of its directive's `fields`.
struct PyDirectiveFieldInfo {
  DirectiveFieldDefinition field;

  static const ClassDef py_class;
};

// The classes (borrowed), created once per process.
PyObject* schema_directive_info_type();
PyObject* directive_field_info_type();

// The definition of an argument that must be a SchemaDirectiveInfo.
inline const SchemaDirectiveDefinition& as_schema_directive_definition(PyObject* obj, const char* param) {
  return as_instance<PySchemaDirectiveInfo>(obj, param).definition;
}

extern PyMethodDef describe_schema_directive_def;

}  // namespace quenfel::py
