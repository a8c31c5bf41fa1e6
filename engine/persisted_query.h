// Automatic persisted queries: a client sends the SHA-256 of a query it sent
// before, and the schema's cache answers with the parsed document.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/document.h"
#include "engine/error.h"
#include "engine/schema.h"

namespace quenfel {

// The SHA-256 digest of the bytes of the text, as 64 lowercase hexadecimal digits.
std::string sha256_hex(std::string_view text);

// What one persisted-query request resolved to.
struct PersistedQuery {
  // The document registered or found: the one the cache holds (or held, if it
  // has been dropped since), shared, never copied.
  DocumentPtr document;
  // True when the request carried the text and it was registered; false when
  // the hash alone found it.
  bool registered = false;
};

// Serves one persisted-query request against the schema's cache.
// Without query text: the document cached under the hash, else
// PERSISTED_QUERY_NOT_FOUND. With `validate`, the operation that
// `operation_name` picks must have passed validation: the first replay that
// asks for an operation its registration did not validate validates it (its
// error is returned and the entry stays), and the entry remembers a pass.
// With query text: checks that the text's sha256_hex equals the hash exactly
// (else PERSISTED_QUERY_MISMATCH), parses it, validates it when asked and
// stores it under the hash (replacing any entry). A failure stores nothing.
Result<PersistedQuery> resolve_persisted_query(const CompiledSchema& schema, std::string_view sha256_hash,
                                               std::optional<std::string_view> query,
                                               std::optional<std::string_view> operation_name, bool validate);

}  // namespace quenfel
