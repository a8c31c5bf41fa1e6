// Hash containers keyed by name that can be searched with a string_view.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/keyed_hash.h"

namespace quenfel {

// For tables built from a schema, whose names its author chose: the fast unkeyed hash.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

template <class T>
using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;
using NameSet = std::unordered_set<std::string, NameHash, std::equal_to<>>;
// Keyed by views: the names must outlive the map.
template <class T>
using NameViewMap = std::unordered_map<std::string_view, T, NameHash, std::equal_to<>>;

// For tables whose names come from a request: keyed (see keyed_hash.h).
template <class T>
using RequestNameMap = std::unordered_map<std::string, T, KeyedNameHash, std::equal_to<>>;
template <class T>
using RequestNameViewMap = std::unordered_map<std::string_view, T, KeyedNameHash, std::equal_to<>>;
using RequestNameViewSet = std::unordered_set<std::string_view, KeyedNameHash, std::equal_to<>>;

}  // namespace quenfel
