#pragma once

#include <string>
#include <string_view>

namespace quenfel {

// The GraphQL name of a Python name: every "_" is dropped and the first
// character after a run of underscores is replaced by its full Unicode
// upper-case mapping; nothing is lower-cased.
std::string to_camel_case(std::string_view name);

}  // namespace quenfel
