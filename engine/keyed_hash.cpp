#include "engine/keyed_hash.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <random>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUENFEL_NH_AVX2 1
#endif

namespace quenfel {

namespace {

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void round() noexcept {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }

  static SipState start(const SipKey& key) noexcept {
    return {key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull, key.k0 ^ 0x6c7967656e657261ull,
            key.k1 ^ 0x7465646279746573ull};
  }

  void compress(std::uint64_t m) noexcept {
    v3 ^= m;
    round();
    v0 ^= m;
  }

  // `last`: the message's length in its top byte over its last 0-7 bytes.
  std::uint64_t finish(std::uint64_t last) noexcept {
    compress(last);
    v2 ^= 0xff;
    round();
    round();
    round();
    return v0 ^ v1 ^ v2 ^ v3;
  }
};

std::uint64_t load_le64(const unsigned char* p) noexcept {
  std::uint64_t m;
  std::memcpy(&m, p, 8);
  if constexpr (std::endian::native == std::endian::big) m = __builtin_bswap64(m);
  return m;
}

SipKey draw_key() {
  std::random_device device;
  auto word = [&] { return static_cast<std::uint64_t>(device()) << 32 | device(); };
  SipKey key;
  key.k0 = word();
  key.k1 = word();
  return key;
}

}  // namespace

std::uint64_t sip_hash_1_3(const SipKey& key, std::string_view bytes) noexcept {
  SipState s = SipState::start(key);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  const unsigned char* end = p + (size & ~std::size_t{7});
  for (; p != end; p += 8) s.compress(load_le64(p));
  std::uint64_t last = static_cast<std::uint64_t>(size) << 56;
  for (std::size_t i = 0; i < (size & 7); ++i) last |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return s.finish(last);
}

const SipKey& process_hash_key() {
  static const SipKey key = draw_key();
  return key;
}

namespace {

// Long keys are first compressed with NH, the universal hash of UMAC: each
// block of kNhBlock bytes becomes one sum over its 8-byte words w of
// (lo32(w) + lo32(k)) * (hi32(w) + hi32(k)), each half added mod 2^32, under
// secret words k. Two different blocks give the same sum with chance at most
// 2^-32 whatever the client chose, and SipHash then hashes the sums and the
// length. NH runs at about the speed of a memcmp, where SipHash takes ten
// times as long, so a lookup of a long name costs about what the compare
// that confirms the match costs.
constexpr std::size_t kNhBlock = 1024;
constexpr std::size_t kNhChunk = 32;  // bytes an AVX2 step takes; shorter keys go to SipHash directly

// Words for a block, then for the last bytes when they fill no whole chunk.
using NhKey = std::array<std::uint64_t, (kNhBlock + kNhChunk) / 8>;

// Derived from the process's key, so it is as secret and as fixed.
const NhKey& nh_key() {
  static const NhKey key = [] {
    NhKey words;
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::uint64_t counter = i;
      words[i] = sip_hash_1_3(process_hash_key(), std::string_view(reinterpret_cast<const char*>(&counter), 8));
    }
    return words;
  }();
  return key;
}

}  // namespace

namespace detail {

std::uint64_t nh_portable(const unsigned char* p, std::size_t chunks, const std::uint64_t* key) noexcept {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < chunks * kNhChunk / 8; ++i) {
    const std::uint64_t w = load_le64(p + 8 * i);
    const std::uint32_t lo = static_cast<std::uint32_t>(w) + static_cast<std::uint32_t>(key[i]);
    const std::uint32_t hi = static_cast<std::uint32_t>(w >> 32) + static_cast<std::uint32_t>(key[i] >> 32);
    sum += static_cast<std::uint64_t>(lo) * hi;
  }
  return sum;
}

namespace {

#ifdef QUENFEL_NH_AVX2
// Four words a step.
[[gnu::target("avx2")]] std::uint64_t nh_avx2(const unsigned char* p, std::size_t chunks,
                                              const std::uint64_t* key) noexcept {
  __m256i sum = _mm256_setzero_si256();
  for (std::size_t i = 0; i < chunks; ++i) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i * kNhChunk));
    const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + i * kNhChunk / 8));
    const __m256i halves = _mm256_add_epi32(w, k);
    sum = _mm256_add_epi64(sum, _mm256_mul_epu32(halves, _mm256_srli_epi64(halves, 32)));
  }
  const __m128i pair = _mm_add_epi64(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_add_epi64(pair, _mm_unpackhi_epi64(pair, pair))));
}
#endif

using NhFunction = std::uint64_t (*)(const unsigned char*, std::size_t, const std::uint64_t*) noexcept;

NhFunction pick_nh() {
#ifdef QUENFEL_NH_AVX2
  if (__builtin_cpu_supports("avx2")) return nh_avx2;
#endif
  return nh_portable;
}

}  // namespace

std::uint64_t nh(const unsigned char* p, std::size_t chunks, const std::uint64_t* key) noexcept {
  static const NhFunction picked = pick_nh();
  return picked(p, chunks, key);
}

}  // namespace detail

namespace {

std::uint64_t long_keyed_hash(std::string_view bytes) noexcept {
  using detail::nh;
  const NhKey& key = nh_key();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  const std::size_t chunks = size / kNhChunk;
  constexpr std::size_t kBlockChunks = kNhBlock / kNhChunk;
  SipState s = SipState::start(process_hash_key());
  std::uint64_t words = 0;
  for (std::size_t at = 0; at < chunks; at += kBlockChunks, ++words) {
    s.compress(nh(p + at * kNhChunk, std::min(kBlockChunks, chunks - at), key.data()));
  }
  if (size % kNhChunk != 0) {
    // The last chunk's worth of bytes, under words of its own.
    s.compress(nh(p + size - kNhChunk, 1, key.data() + kNhBlock / 8));
    ++words;
  }
  // The sums, then the length in seven bytes.
  return s.finish((8 * words + 7) << 56 | size);
}

}  // namespace

std::uint64_t keyed_hash(std::string_view bytes) noexcept {
  return bytes.size() < kNhChunk ? sip_hash_1_3(process_hash_key(), bytes) : long_keyed_hash(bytes);
}

}  // namespace quenfel
