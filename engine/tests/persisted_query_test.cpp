#include <gtest/gtest.h>

#include <string>

#include "engine/persisted_query.h"

namespace quenfel {
namespace {

TEST(Sha256HexTest, KnownDigests) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks of input.
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // The UTF-8 bytes of non-ASCII text.
  EXPECT_EQ(sha256_hex("h\u00e9llo w\u00f6rld \u2014 \u65e5\u672c\u8a9e \U0001F680"),
            "3c159d058e8c31e25111bb11c9ee509f80746dccc86a8a2f377d40aeb9338f2b");
}

TEST(Sha256HexTest, HashesEveryByteOfTheView) {
  using namespace std::string_literals;
  EXPECT_EQ(sha256_hex("a\0b"s), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138");
  std::string_view middle = std::string_view("xabcx").substr(1, 3);
  EXPECT_EQ(sha256_hex(middle), sha256_hex("abc"));
}

}  // namespace
}  // namespace quenfel
