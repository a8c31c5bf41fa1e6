// Request-time lowering: lower_query, lower_document and their result classes.
#pragma once

#include "binding/python/objects.h"

namespace quenfel::py {

extern PyMethodDef lower_query_def;
extern PyMethodDef lower_document_def;

// The classes (borrowed), created once per process.
PyObject* lowered_field_type();
PyObject* lowered_directive_type();

}  // namespace quenfel::py
