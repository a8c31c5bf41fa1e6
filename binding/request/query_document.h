// The structural view of a query for code generation: parse_query_document and its classes.
#pragma once

#include "binding/python/objects.h"

namespace quenfel::py {

extern PyMethodDef parse_query_document_def;

// The classes (borrowed), created once per process.
PyObject* query_document_type();
PyObject* query_operation_type();
PyObject* query_fragment_type();
PyObject* query_selection_type();
PyObject* query_variable_definition_type();

}  // namespace quenfel::py
