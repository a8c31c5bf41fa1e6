#include "engine/persisted_query.h"

#include <memory>
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

namespace {

// Validates the operation that `operation_name` picks unless the entry records
// that it passed already, and records it when it passes. Registration may have
// validated another operation of the document, or none.
Status validate_once(const CachedDocument& entry, const CompiledSchema& schema,
                     std::optional<std::string_view> operation_name) {
  const Document& document = *entry.document();
  Result<const OperationDefinition*> operation = select_operation(document, operation_name);
  if (!operation) return operation.take_error();
  if (entry.validated(**operation)) return nullptr;
  if (Status error = validate_query(document, schema, operation_name)) return error;
  entry.set_validated(**operation);
  return nullptr;
}

}  // namespace

Result<PersistedQuery> resolve_persisted_query(const CompiledSchema& schema, std::string_view sha256_hash,
                                               std::optional<std::string_view> query,
                                               std::optional<std::string_view> operation_name, bool validate) {
  const PersistedQueryCache& cache = schema.persisted_query_cache;
  if (!query) {
    CachedDocumentPtr entry = cache.get(sha256_hash);
    if (!entry) return make_error("PersistedQueryNotFound", ErrorCode::PERSISTED_QUERY_NOT_FOUND);
    if (validate) {
      if (Status error = validate_once(*entry, schema, operation_name)) return error;
    }
    // Handed back as found, since a second lookup could miss once the entry is
    // dropped; the handle shares the entry's ownership, which keeps the document.
    const Document* document = entry->document().get();
    return PersistedQuery{DocumentPtr(std::move(entry), document), false};
  }
  // A known hash is processed again, so a client can always refresh its entry.
  if (sha256_hex(*query) != sha256_hash) {
    return make_error("provided sha256Hash does not match the hash of the query", ErrorCode::PERSISTED_QUERY_MISMATCH);
  }
  Result<DocumentPtr> document = parse_document(*query);
  if (!document) return document.take_error();
  auto entry = std::make_shared<const CachedDocument>(std::move(document).value());
  if (validate) {
    if (Status error = validate_once(*entry, schema, operation_name)) return error;
  }
  cache.insert(std::string(sha256_hash), entry);
  return PersistedQuery{entry->document(), true};
}

}  // namespace quenfel
