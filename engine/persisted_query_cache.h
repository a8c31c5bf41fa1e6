// The per-schema store of parsed documents behind automatic persisted queries,
// keyed by the SHA-256 of their text.
#pragma once

#include <atomic>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "engine/document.h"
#include "engine/name_map.h"

namespace quenfel {

// One stored document, with which of its operations have passed validation
// against the schema that owns the cache. Shared: a request keeps using an
// entry that the cache has dropped meanwhile.
class CachedDocument {
 public:
  explicit CachedDocument(DocumentPtr document);

  const DocumentPtr& document() const { return document_; }
  // Whether the operation, one of the document's own, has passed validation.
  bool validated(const OperationDefinition& operation) const {
    return validated_[operation.index].load(std::memory_order_acquire);
  }
  // Records that it has; safe beside concurrent readers and writers.
  void set_validated(const OperationDefinition& operation) const {
    validated_[operation.index].store(true, std::memory_order_release);
  }

 private:
  DocumentPtr document_;
  std::unique_ptr<std::atomic<bool>[]> validated_;  // by operation, in document order
};

using CachedDocumentPtr = std::shared_ptr<const CachedDocument>;

// A thread-safe LRU of at most 1000 shared documents. Every lookup may miss:
// room is made by dropping the least recently used entry.
class PersistedQueryCache {
 public:
  static constexpr std::size_t kCapacity = 1000;

  PersistedQueryCache() = default;
  PersistedQueryCache(const PersistedQueryCache&) = delete;
  PersistedQueryCache& operator=(const PersistedQueryCache&) = delete;

  // The entry stored under the hash, or null.
  CachedDocumentPtr get(std::string_view sha256_hash) const;
  // Stores the entry under the hash, replacing an entry with the same hash.
  // Const like get: a compiled schema is shared read-only, its cache included.
  void insert(std::string sha256_hash, CachedDocumentPtr entry) const;
  std::size_t size() const;

 private:
  using Entry = std::pair<std::string, CachedDocumentPtr>;

  mutable std::mutex mutex_;
  // Most recently used first; a lookup moves its entry to the front.
  mutable std::list<Entry> order_;
  mutable RequestNameMap<std::list<Entry>::iterator> index_;
};

}  // namespace quenfel
