// process_type: a decorated dataclass as a TypeInfo of kind "type",
// "interface" or "input".
#pragma once

#include "binding/python/objects.h"

namespace quenfel::py {

extern PyMethodDef process_type_def;

}  // namespace quenfel::py
