// Automatic persisted queries: a per-schema cache of parsed documents keyed by
// the SHA-256 of their text.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/document.h"
#include "engine/error.h"
#include "engine/name_map.h"

namespace quenfel {

struct CompiledSchema;  // engine/schema.h, which holds a cache

// The SHA-256 digest of the bytes of the text, as 64 lowercase hexadecimal digits.
std::string sha256_hex(std::string_view text);

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

// Serves one persisted-query request against the schema's cache.
// Without query text: false when the schema's cache holds the hash, else
// PERSISTED_QUERY_NOT_FOUND; the caller then takes the document from the cache.
// With query text: checks that the text's sha256_hex equals the hash exactly
// (else PERSISTED_QUERY_MISMATCH), parses it, validates it when asked, stores it
// under the hash (replacing any entry) and returns true. A failure stores nothing.
Result<bool> resolve_persisted_query(const CompiledSchema& schema, std::string_view sha256_hash,
                                     std::optional<std::string_view> query,
                                     std::optional<std::string_view> operation_name, bool validate);

}  // namespace quenfel
