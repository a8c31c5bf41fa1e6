// Validation of one operation of a parsed document against a compiled schema.
// It stops at the first violation, walking selections depth first in source order.
#pragma once

#include <optional>
#include <string_view>

#include "engine/document.h"
#include "engine/error.h"
#include "engine/schema.h"

namespace quenfel {

// Deepest walk accepted: every nested selection set and every fragment expansion
// is one level. Beyond it validation fails instead of exhausting the stack.
inline constexpr unsigned kMaxSelectionDepth = 512;

// Validates the operation that `operation_name` picks (see select_operation).
Status validate_query(const Document& document, const CompiledSchema& schema,
                      std::optional<std::string_view> operation_name);

}  // namespace quenfel
