#include "engine/persisted_query.h"

#include <new>

#include <openssl/evp.h>

#include "engine/parser.h"
#include "engine/schema.h"
#include "engine/validation.h"

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

void PersistedQueryCache::insert(std::string sha256_hash, DocumentPtr document) const {
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

Result<bool> resolve_persisted_query(const CompiledSchema& schema, std::string_view sha256_hash,
                                     std::optional<std::string_view> query,
                                     std::optional<std::string_view> operation_name, bool validate) {
  const PersistedQueryCache& cache = schema.persisted_query_cache;
  if (!query) {
    // The document itself is not handed back: the caller fetches it with its own get.
    if (cache.get(sha256_hash)) return false;
    return make_error("PersistedQueryNotFound", ErrorCode::PERSISTED_QUERY_NOT_FOUND);
  }
  // A known hash is processed again, so a client can always refresh its entry.
  if (sha256_hex(*query) != sha256_hash) {
    return make_error("provided sha256Hash does not match the hash of the query", ErrorCode::PERSISTED_QUERY_MISMATCH);
  }
  Result<DocumentPtr> document = parse_document(*query);
  if (!document) return document.take_error();
  if (validate) {
    if (Status error = validate_query(**document, schema, operation_name)) return error;
  }
  cache.insert(std::string(sha256_hash), std::move(document).value());
  return true;
}

}  // namespace quenfel
