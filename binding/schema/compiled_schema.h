// Schema compilation: compile_schema, the CompiledSchema handle, and
// render_sdl, which prints what the handle holds.
#pragma once

#include <memory>

#include "binding/python/classes.h"
#include "engine/schema.h"

namespace quenfel::py {

// The handle's contents. The engine schema is never changed after compilation
// (its persisted-query cache and lookup index synchronise themselves), so any
// number of requests read it at once; a request that must outlive its
// argument, one that lets go of the interpreter lock, can share ownership.
struct PyCompiledSchema {
  std::shared_ptr<const CompiledSchema> schema;

  static const ClassDef py_class;
};

// The CompiledSchema class (borrowed), created once per process.
PyObject* compiled_schema_type();

// The engine schema of an argument that must be a CompiledSchema; valid while the argument lives.
inline const CompiledSchema& as_compiled_schema(PyObject* obj, const char* param) {
  return *as_instance<PyCompiledSchema>(obj, param).schema;
}

extern PyMethodDef compile_schema_def;
extern PyMethodDef render_sdl_def;

}  // namespace quenfel::py
