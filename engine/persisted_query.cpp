#include "engine/persisted_query.h"

#include <new>

#include <openssl/evp.h>

namespace quenfel {

std::string sha256_hex(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // With a fixed built-in digest the only way to fail is running out of memory.
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex(2 * static_cast<std::size_t>(length), '\0');
  for (unsigned int i = 0; i < length; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 0x0f];
  }
  return hex;
}

DocumentPtr PersistedQueryCache::get(std::string_view sha256_hash) const {
  std::lock_guard lock(mutex_);
  auto found = index_.find(sha256_hash);
  if (found == index_.end()) return nullptr;
  order_.splice(order_.begin(), order_, found->second);
  return found->second->second;
}

void PersistedQueryCache::insert(std::string sha256_hash, DocumentPtr document) {
  DocumentPtr evicted;  // released after the lock, so a large document is freed outside it
  std::lock_guard lock(mutex_);
  auto found = index_.find(sha256_hash);
  if (found != index_.end()) {
    evicted = std::exchange(found->second->second, std::move(document));
    order_.splice(order_.begin(), order_, found->second);
    return;
  }
  order_.emplace_front(std::move(sha256_hash), std::move(document));
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
