#include "engine/keyed_hash.h"

#include <bit>
#include <cstring>
#include <random>

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

  void compress(std::uint64_t m) noexcept {
    v3 ^= m;
    round();
    v0 ^= m;
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
  SipState s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull, key.k0 ^ 0x6c7967656e657261ull,
             key.k1 ^ 0x7465646279746573ull};
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  const unsigned char* end = p + (size & ~std::size_t{7});
  for (; p != end; p += 8) s.compress(load_le64(p));
  std::uint64_t last = static_cast<std::uint64_t>(size) << 56;
  for (std::size_t i = 0; i < (size & 7); ++i) last |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  s.compress(last);
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

const SipKey& process_hash_key() {
  static const SipKey key = draw_key();
  return key;
}

}  // namespace quenfel
