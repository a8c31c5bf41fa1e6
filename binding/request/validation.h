// Request validation: validate_query (from text) and validate_document (from
// a ParsedDocument) against a CompiledSchema.
#pragma once

#include "binding/python/objects.h"

namespace quenfel::py {

extern PyMethodDef validate_query_def;
extern PyMethodDef validate_document_def;

}  // namespace quenfel::py
