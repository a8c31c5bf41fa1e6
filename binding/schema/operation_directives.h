// Operation directives (directives that queries use, carried out by a host
// function): describe_operation_directive and OperationDirectiveInfo.
#pragma once

#include "binding/python/classes.h"
#include "engine/schema.h"

namespace quenfel::py {

// OperationDirectiveInfo: the definition that compile_schema copies; name,
// description, locations and the parameter names are made from it on every
// read, `arguments` lists the same ArgumentInfo views every time.
struct PyOperationDirectiveInfo {
  OperationDirectiveDefinition definition;
  Ref arguments;  // tuple of ArgumentInfo, one per definition argument

  static const ClassDef py_class;
};

// The class (borrowed), created once per process.
PyObject* operation_directive_info_type();

// The hidden definition of an argument that must be an OperationDirectiveInfo.
inline const OperationDirectiveDefinition& as_operation_directive_definition(PyObject* obj, const char* param) {
  return as_instance<PyOperationDirectiveInfo>(obj, param).definition;
}

extern PyMethodDef describe_operation_directive_def;

}  // namespace quenfel::py
