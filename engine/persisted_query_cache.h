// The per-schema store of parsed documents behind automatic persisted queries,
// keyed by the SHA-256 of their text.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "engine/document.h"
#include "engine/name_map.h"

namespace quenfel {

// A thread-safe LRU of at most 1000 shared documents. Every lookup may miss:
// room is made by dropping the least recently used entry.
class PersistedQueryCache {
 public:
  static constexpr std::size_t kCapacity = 1000;

  PersistedQueryCache() = default;
  PersistedQueryCache(const PersistedQueryCache&) = delete;
  PersistedQueryCache& operator=(const PersistedQueryCache&) = delete;

  // The document stored under the hash, or null.
  DocumentPtr get(std::string_view sha256_hash) const;
  // Stores the document under the hash, replacing an entry with the same hash.
  // Const like get: a compiled schema is shared read-only, its cache included.
  void insert(std::string sha256_hash, DocumentPtr document) const;
  std::size_t size() const;

 private:
  using Entry = std::pair<std::string, DocumentPtr>;

  mutable std::mutex mutex_;
  // Most recently used first; a lookup moves its entry to the front.
  mutable std::list<Entry> order_;
  mutable NameMap<std::list<Entry>::iterator> index_;
};

}  // namespace quenfel
