// The compiled schema as GraphQL SDL text. The output depends only on the
// schema's contents, never on hash-map order, so one schema always prints the
// same text.
#pragma once

#include <string>

#include "engine/schema.h"

namespace quenfel {

// The schema block, then the types (those not named "__..."), unions, scalars,
// operation directives and schema directives, each group sorted by name in
// byte order, blocks separated by one empty line, no trailing line break.
std::string render_sdl(const CompiledSchema& schema);

}  // namespace quenfel
