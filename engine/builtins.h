// The names GraphQL itself gives meaning to: the scalars every schema has and
// the directives the engine interprets in queries. Names compare exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quenfel {

enum class BuiltinScalar : std::uint8_t { ID, Int, Float, String, Boolean };
inline constexpr std::array<std::string_view, 5> kBuiltinScalars = {"ID", "Int", "Float", "String", "Boolean"};

enum class BuiltinDirective : std::uint8_t { Skip, Include, Defer, Stream };
inline constexpr std::array<std::string_view, 4> kBuiltinDirectives = {"skip", "include", "defer", "stream"};

constexpr std::string_view name_of(BuiltinScalar scalar) { return kBuiltinScalars[static_cast<std::size_t>(scalar)]; }
constexpr std::string_view name_of(BuiltinDirective directive) {
  return kBuiltinDirectives[static_cast<std::size_t>(directive)];
}

namespace detail {
template <class Builtin, std::size_t N>
constexpr std::optional<Builtin> find_builtin(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) return static_cast<Builtin>(i);
  }
  return std::nullopt;
}
}  // namespace detail

// The built-in scalar or directive of that name, if any.
constexpr std::optional<BuiltinScalar> builtin_scalar(std::string_view name) {
  return detail::find_builtin<BuiltinScalar>(kBuiltinScalars, name);
}
constexpr std::optional<BuiltinDirective> builtin_directive(std::string_view name) {
  return detail::find_builtin<BuiltinDirective>(kBuiltinDirectives, name);
}

}  // namespace quenfel
