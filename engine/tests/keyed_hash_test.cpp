#include "engine/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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

// Around SipHash's limit, NH's chunk and block sizes, and far beyond.
constexpr std::size_t kLengths[] = {0, 1, 31, 32, 33, 63, 64, 65, 1023, 1024, 1025, 1056, 1057, 4096 + 17, 65536};

// The hash depends on the bytes alone, not on where they lie: the table
// compares hashes of the same name read from different places in a query.
TEST(KeyedHashTest, EqualBytesAnywhereHashAlike) {
  std::mt19937_64 random(7);
  for (std::size_t length : kLengths) {
    std::string text(length, 'x');
    for (char& c : text) c = static_cast<char>('a' + random() % 26);
    std::string shifted = " " + text;
    EXPECT_EQ(keyed_hash(text), keyed_hash(std::string_view(shifted).substr(1))) << length;
  }
}

// Names that differ in one byte, wherever it is, part: the whole name counts,
// and so does its length (no name is the other padded with zeros).
TEST(KeyedHashTest, EveryByteAndTheLengthCount) {
  for (std::size_t length : kLengths) {
    if (length == 0 || length > 4096 + 17) continue;
    const std::string base(length, 'm');
    std::set<std::uint64_t> hashes{keyed_hash(base), keyed_hash(base + std::string(1, '\0'))};
    for (std::size_t at = 0; at < length; ++at) {
      std::string changed = base;
      changed[at] = 'n';
      hashes.insert(keyed_hash(changed));
    }
    EXPECT_EQ(hashes.size(), length + 2) << length;
  }
}

TEST(KeyedHashTest, NhAgreesWithPortableCode) {
  std::mt19937_64 random(11);
  std::vector<std::uint64_t> key(128), words(129);
  for (auto& word : key) word = random();
  for (auto& word : words) word = random();
  const auto* bytes = reinterpret_cast<const unsigned char*>(words.data());
  for (std::size_t chunks : {0, 1, 2, 31, 32}) {
    for (std::size_t offset : {0, 1, 7}) {  // unaligned input too
      EXPECT_EQ(detail::nh(bytes + offset, chunks, key.data()), detail::nh_portable(bytes + offset, chunks, key.data()))
          << chunks << " " << offset;
    }
  }
  // The halves wrap mod 2^32 before they multiply.
  const std::uint64_t ones[4] = {~0ull, ~0ull, ~0ull, ~0ull}, one[4] = {0x100000001ull, 0x100000001ull,
                                                                          0x100000001ull, 0x100000001ull};
  EXPECT_EQ(detail::nh_portable(reinterpret_cast<const unsigned char*>(ones), 1, one), 0u);
  EXPECT_EQ(detail::nh(reinterpret_cast<const unsigned char*>(ones), 1, one), 0u);
}

}  // namespace
}  // namespace quenfel
