// process_enum: an enum.Enum subclass as a TypeInfo of kind "enum".
#pragma once

#include "binding/python/objects.h"

namespace quenfel::py {

extern PyMethodDef process_enum_def;

}  // namespace quenfel::py
