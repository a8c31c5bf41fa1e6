#include "engine/error.h"

#include <array>

namespace quenfel {

namespace {
constexpr std::array<std::string_view, kErrorCodeCount> kCodeNames = {
    "GRAPHQL_PARSE_FAILED",
    "GRAPHQL_VALIDATION_FAILED",
    "INTERFACE_TYPE_RESOLUTION_FAILED",
    "UNION_TYPE_RESOLUTION_FAILED",
    "UNKNOWN_FIELD",
    "UNKNOWN_ARGUMENT",
    "ARGUMENT_TYPE_MISMATCH",
    "INVALID_DIRECTIVE_LOCATION",
    "INVALID_FRAGMENT_TARGET",
    "PERSISTED_QUERY_NOT_FOUND",
    "PERSISTED_QUERY_MISMATCH",
    "FIELD_RESOLUTION_FAILED",
};
}  // namespace

std::string_view error_code_name(ErrorCode code) {
  return kCodeNames[static_cast<std::size_t>(code)];
}

void to_json(Json& out, ErrorCode code) { out = std::string(error_code_name(code)); }

GraphQLError::GraphQLError(std::string message, ErrorCode code) : message(std::move(message)) {
  extensions.code = code;
}

ErrorPtr make_error(std::string message, ErrorCode code) {
  return std::make_unique<GraphQLError>(std::move(message), code);
}

}  // namespace quenfel
