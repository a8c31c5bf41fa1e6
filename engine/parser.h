// Query text to a parsed executable document.
#pragma once

#include <string_view>

#include "engine/document.h"

namespace quenfel {

// Deepest nesting the parser accepts: every selection set, list or object value
// and list type opens one level. Deeper text fails with "recursion limit exceeded.".
inline constexpr unsigned kMaxNestingDepth = 64;

// Parses the whole text as an executable document. Failures carry code
// GRAPHQL_PARSE_FAILED: syntax errors with their start (and, where it helps,
// end) position; duplicate definitions with both positions; a missing
// operation and the nesting limit without positions.
Result<DocumentPtr> parse_document(std::string_view text);

}  // namespace quenfel
