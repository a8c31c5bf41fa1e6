#include "engine/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

namespace quenfel {
namespace {

// CPython hashes an ASCII str with SipHash-1-3 of its bytes, so its hash() gives
// reference values: the zero key under PYTHONHASHSEED=0, and under
// PYTHONHASHSEED=1 the key its seeding derives from 1. The lengths cover
// every tail length class: none, short, a whole block, blocks and a tail.
TEST(KeyedHashTest, SipHash13MatchesCPythonsStrHash) {
  struct Case {
    SipKey key;
    std::string_view text;
    std::uint64_t expected;
  };
  const SipKey zero{};
  const SipKey seeded{0xaed66ce184be2329ull, 0xebe9bbf1f1499052ull};
  const Case cases[] = {
      {zero, "a", 0x407448d2b89b1813ull},
      {zero, "abcdefg", 0x6db12aae9070f506ull},
      {zero, "abcdefgh", 0x3f7b849c0b8e35eaull},
      {zero, "abcdefghijklmnop", 0x94f60d3d29e6a312ull},
      {zero, "aaaaaaaa000001zzzzzzzz", 0x406a86fdb63572fbull},
      {seeded, "a", 0xd6300bc9f7cc0e73ull},
      {seeded, "abcdefgh", 0xfd3011ff3947e7f4ull},
      {seeded, "aaaaaaaa000001zzzzzzzz", 0xde12d374b780502aull},
  };
  for (const Case& c : cases) EXPECT_EQ(sip_hash_1_3(c.key, c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace quenfel
