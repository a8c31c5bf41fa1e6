#include "engine/persisted_query_cache.h"

namespace quenfel {

CachedDocument::CachedDocument(DocumentPtr document)
    : document_(std::move(document)),
      validated_(std::make_unique<std::atomic<bool>[]>(document_->operations().size())) {}

CachedDocumentPtr PersistedQueryCache::get(std::string_view sha256_hash) const {
  std::lock_guard lock(mutex_);
  auto found = index_.find(sha256_hash);
  if (found == index_.end()) return nullptr;
  order_.splice(order_.begin(), order_, found->second);
  return found->second->second;
}

void PersistedQueryCache::insert(std::string sha256_hash, CachedDocumentPtr entry) const {
  CachedDocumentPtr evicted;  // released after the lock, so a large document is freed outside it
  std::lock_guard lock(mutex_);
  auto found = index_.find(sha256_hash);
  if (found != index_.end()) {
    evicted = std::exchange(found->second->second, std::move(entry));
    order_.splice(order_.begin(), order_, found->second);
    return;
  }
  order_.emplace_front(std::move(sha256_hash), std::move(entry));
  index_.emplace(order_.front().first, order_.begin());
  if (order_.size() > kCapacity) {
    index_.erase(order_.back().first);
    evicted = std::move(order_.back().second);
    order_.pop_back();
  }
}

std::size_t PersistedQueryCache::size() const {
  std::lock_guard lock(mutex_);
  return order_.size();
}

}  // namespace quenfel
