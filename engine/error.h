// Request-time errors of the engine: one value type with a message, a code and
// optional source locations. Nothing in the engine throws across its interface;
// operations return Result<T> or Status instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace quenfel {

using Json = nlohmann::json;

// The numeric value is the position in this list; the serialised form is the name.
enum class ErrorCode : std::uint8_t {
  GRAPHQL_PARSE_FAILED,
  GRAPHQL_VALIDATION_FAILED,
  INTERFACE_TYPE_RESOLUTION_FAILED,
  UNION_TYPE_RESOLUTION_FAILED,
  UNKNOWN_FIELD,
  UNKNOWN_ARGUMENT,
  ARGUMENT_TYPE_MISMATCH,
  INVALID_DIRECTIVE_LOCATION,
  INVALID_FRAGMENT_TARGET,
  PERSISTED_QUERY_NOT_FOUND,
  PERSISTED_QUERY_MISMATCH,
  FIELD_RESOLUTION_FAILED,
};
inline constexpr std::size_t kErrorCodeCount = 12;

// The textual name of a code, e.g. "UNKNOWN_FIELD".
std::string_view error_code_name(ErrorCode code);
// JSON serialisation: the string holding the name.
void to_json(Json& out, ErrorCode code);

struct Location {
  std::size_t line = 0;    // 1-based
  std::size_t column = 0;  // 1-based, in Unicode code points
  friend bool operator==(const Location&, const Location&) = default;
};

struct ErrorExtensions {
  std::optional<std::vector<std::string>> details;
  std::map<std::string, Json> extra;
  ErrorCode code = ErrorCode::GRAPHQL_PARSE_FAILED;
};

struct GraphQLError {
  std::string message;
  std::optional<std::vector<Location>> locations;
  std::optional<std::vector<Json>> path;
  ErrorExtensions extensions;

  // A message and a code; no locations, no path, no details, no extra entries.
  GraphQLError(std::string message, ErrorCode code);

  ErrorCode code() const { return extensions.code; }
};

using ErrorPtr = std::unique_ptr<GraphQLError>;

// Heap-held error without locations.
ErrorPtr make_error(std::string message, ErrorCode code);

// Joins the pieces of a message (anything that converts to a string_view) in one allocation.
template <class... Parts>
std::string concat(const Parts&... parts) {
  std::string out;
  out.reserve((std::string_view(parts).size() + ... + 0));
  (out.append(std::string_view(parts)), ...);
  return out;
}

// The outcome of an operation that yields nothing: null on success.
using Status = ErrorPtr;

// The outcome of an operation that yields a value: the value or an owned error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(ErrorPtr error) : error_(std::move(error)) {}

  bool ok() const { return error_ == nullptr; }
  explicit operator bool() const { return ok(); }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

  const GraphQLError& error() const { return *error_; }
  ErrorPtr take_error() { return std::move(error_); }

 private:
  std::optional<T> value_;
  ErrorPtr error_;
};

}  // namespace quenfel
