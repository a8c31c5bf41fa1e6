// Automatic persisted queries from Python: resolve_persisted_query and its
// PersistedQueryResult.
#pragma once

#include "binding/python/classes.h"

namespace quenfel::py {

struct PyPersistedQueryResult {
  Ref document;  // a ParsedDocument
  bool cache_hit;

  static const ClassDef py_class;
};

// The PersistedQueryResult class (borrowed), created once per process.
PyObject* persisted_query_result_type();

extern PyMethodDef resolve_persisted_query_def;

}  // namespace quenfel::py
