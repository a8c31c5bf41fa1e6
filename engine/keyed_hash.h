// The hash of every table whose keys a request chooses (its names, its
// variables' names, the hashes of persisted queries). Keyed by a secret drawn
// at random once per process, so that no client can pick names that share a
// bucket and turn each insert and lookup into a walk of one long chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quenfel {

struct SipKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// SipHash-1-3 of the bytes under the key, the keyed hash that CPython's str
// hash uses for the same reason.
std::uint64_t sip_hash_1_3(const SipKey& key, std::string_view bytes) noexcept;

// The process's secret key: random, drawn on first use, then fixed.
const SipKey& process_hash_key();

// The hash that such tables use: under the process's key, SipHash-1-3 of short
// keys and of a universal hash of long ones, so that a long key costs about
// as much to hash as to compare.
std::uint64_t keyed_hash(std::string_view bytes) noexcept;

namespace detail {

// The NH sum of `chunks` whole 32-byte chunks under as many key words as they
// have words: as keyed_hash computes it (with AVX2 where the machine has it),
// and in portable code, which must agree.
std::uint64_t nh(const unsigned char* p, std::size_t chunks, const std::uint64_t* key) noexcept;
std::uint64_t nh_portable(const unsigned char* p, std::size_t chunks, const std::uint64_t* key) noexcept;

}  // namespace detail

// For hash containers keyed by names from a request; searchable by string_view.
struct KeyedNameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return static_cast<std::size_t>(keyed_hash(name)); }
};

}  // namespace quenfel
