#include "engine/persisted_query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/parser.h"
#include "engine/tests/schema_builder.h"
#include "engine/validation.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

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


// Query { item(id: Int!): Item } with Item { id name }.
std::unique_ptr<CompiledSchema> make_schema() {
  return SchemaBuilder()
      .add(object("Query", {field("item", "Item", {arg("id", "Int!")})}))
      .add(object("Item", {field("id", "ID!"), field("name", "String")}))
      .add_scalar("ID")
      .add_scalar("String")
      .add_scalar("Int")
      .build();
}

Result<PersistedQuery> register_query(const CompiledSchema& schema, std::string_view text, bool validate = true,
                            std::optional<std::string_view> operation_name = std::nullopt) {
  return resolve_persisted_query(schema, sha256_hex(text), text, operation_name, validate);
}

Result<PersistedQuery> replay(const CompiledSchema& schema, std::string_view hash) {
  return resolve_persisted_query(schema, hash, std::nullopt, std::nullopt, true);
}

void expect_error(const Result<PersistedQuery>& result, std::string_view message, ErrorCode code) {
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, message);
  EXPECT_EQ(result.error().code(), code);
  EXPECT_FALSE(result.error().locations.has_value());
}

void expect_not_found(const Result<PersistedQuery>& result) {
  expect_error(result, "PersistedQueryNotFound", ErrorCode::PERSISTED_QUERY_NOT_FOUND);
}

void expect_same_error(const Result<PersistedQuery>& result, const GraphQLError& expected) {
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, expected.message);
  EXPECT_EQ(result.error().code(), expected.code());
  EXPECT_EQ(result.error().locations, expected.locations);
}

constexpr std::string_view kQuery = "{ item(id: 1) { id name } }";

TEST(ResolvePersistedQueryTest, RegisterThenReplay) {
  auto schema = make_schema();
  const std::string hash = sha256_hex(kQuery);
  expect_not_found(replay(*schema, hash));

  Result<PersistedQuery> registered = register_query(*schema, kQuery);
  ASSERT_TRUE(registered.ok()) << registered.error().message;
  EXPECT_TRUE(registered->registered);
  DocumentPtr first = schema->persisted_query_cache.get(hash);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(), kQuery);
  EXPECT_EQ(registered->document, first);

  Result<PersistedQuery> replayed = replay(*schema, hash);
  ASSERT_TRUE(replayed.ok());
  EXPECT_FALSE(replayed->registered);
  EXPECT_EQ(replayed->document, first);
  // A replay ignores the operation name and the validate flag.
  replayed = resolve_persisted_query(*schema, hash, std::nullopt, "NoSuchOperation", false);
  ASSERT_TRUE(replayed.ok());
  EXPECT_FALSE(replayed->registered);

  // A known hash sent with its text is processed again and its entry replaced.
  registered = register_query(*schema, kQuery);
  ASSERT_TRUE(registered.ok());
  EXPECT_TRUE(registered->registered);
  DocumentPtr second = schema->persisted_query_cache.get(hash);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(schema->persisted_query_cache.size(), 1u);
}

TEST(ResolvePersistedQueryTest, HashMustMatchTheTextExactly) {
  auto schema = make_schema();
  const std::string hash = sha256_hex(kQuery);
  std::string upper = hash;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const std::string_view kMismatch = "provided sha256Hash does not match the hash of the query";
  for (const std::string& wrong : {upper, " " + hash, hash + " ", hash.substr(0, 63), hash + "0", std::string()}) {
    expect_error(resolve_persisted_query(*schema, wrong, kQuery, std::nullopt, true), kMismatch,
                 ErrorCode::PERSISTED_QUERY_MISMATCH);
  }
  // The hash is checked before the text is parsed.
  expect_error(resolve_persisted_query(*schema, hash, "{ unclosed", std::nullopt, true), kMismatch,
               ErrorCode::PERSISTED_QUERY_MISMATCH);
  EXPECT_EQ(schema->persisted_query_cache.size(), 0u);
}

TEST(ResolvePersistedQueryTest, ParseErrorsPassThroughAndStoreNothing) {
  auto schema = make_schema();
  for (std::string_view text : {std::string_view(), std::string_view("{ item(id: 1) { id }"),
                                std::string_view("query { a } query { b }")}) {
    Result<DocumentPtr> parsed = parse_document(text);
    ASSERT_FALSE(parsed.ok()) << text;
    ASSERT_EQ(parsed.error().code(), ErrorCode::GRAPHQL_PARSE_FAILED);
    expect_same_error(register_query(*schema, text), parsed.error());
    expect_not_found(replay(*schema, sha256_hex(text)));
  }
}

TEST(ResolvePersistedQueryTest, ValidationOnlyWhenAsked) {
  auto schema = make_schema();
  constexpr std::string_view kUnknownField = "{ item(id: 1) { id colour } }";
  const std::string hash = sha256_hex(kUnknownField);

  Result<DocumentPtr> parsed = parse_document(kUnknownField);
  ASSERT_TRUE(parsed.ok());
  Status expected = validate_query(**parsed, *schema, std::nullopt);
  ASSERT_NE(expected, nullptr);
  expect_same_error(register_query(*schema, kUnknownField, true), *expected);
  expect_not_found(replay(*schema, hash));

  Result<PersistedQuery> registered = register_query(*schema, kUnknownField, false);
  ASSERT_TRUE(registered.ok());
  EXPECT_TRUE(registered->registered);
  Result<PersistedQuery> replayed = replay(*schema, hash);
  ASSERT_TRUE(replayed.ok());
  EXPECT_FALSE(replayed->registered);

  // A failed re-registration leaves the earlier entry as it was.
  DocumentPtr stored = schema->persisted_query_cache.get(hash);
  ASSERT_NE(stored, nullptr);
  expect_same_error(register_query(*schema, kUnknownField, true), *expected);
  EXPECT_EQ(schema->persisted_query_cache.get(hash), stored);
}

TEST(ResolvePersistedQueryTest, OperationNameChoosesWhatIsValidated) {
  auto schema = make_schema();
  constexpr std::string_view kTwo = "query Good { item(id: 1) { id } } query Bad { item { id } }";
  expect_error(register_query(*schema, kTwo), "document contains multiple operations; operation_name is required",
               ErrorCode::GRAPHQL_VALIDATION_FAILED);
  EXPECT_FALSE(register_query(*schema, kTwo, true, "Bad").ok());
  Result<PersistedQuery> registered = register_query(*schema, kTwo, true, "Good");
  ASSERT_TRUE(registered.ok()) << registered.error().message;
  EXPECT_TRUE(registered->registered);
}

TEST(ResolvePersistedQueryTest, RegistrationsBeyondCapacityKeepSucceeding) {
  auto schema = make_schema();
  const int count = static_cast<int>(PersistedQueryCache::kCapacity) + 100;
  std::string last;
  for (int i = 0; i < count; ++i) {
    last = "{ item(id: " + std::to_string(i) + ") { id } }";
    Result<PersistedQuery> registered = register_query(*schema, last);
    ASSERT_TRUE(registered.ok()) << i << ": " << registered.error().message;
    EXPECT_TRUE(registered->registered);
  }
  EXPECT_EQ(schema->persisted_query_cache.size(), PersistedQueryCache::kCapacity);
  Result<PersistedQuery> replayed = replay(*schema, sha256_hex(last));  // the least recently used went, not this one
  ASSERT_TRUE(replayed.ok());
  EXPECT_FALSE(replayed->registered);
}

// Eight threads register and replay overlapping sets of queries against one
// schema, with more distinct queries than the cache holds, so entries are
// replaced and evicted while others are read.
TEST(ResolvePersistedQueryTest, ConcurrentRegistrationAndReplay) {
  constexpr int kThreads = 8;
  constexpr int kQueries = 1500;
  constexpr int kSteps = 3000;
  auto schema = make_schema();
  std::vector<std::string> texts;
  std::vector<std::string> hashes;
  for (int i = 0; i < kQueries; ++i) {
    texts.push_back("query Q" + std::to_string(i) + " { item(id: " + std::to_string(i) + ") { id name } }");
    hashes.push_back(sha256_hex(texts.back()));
  }

  std::atomic<int> failures{0};
  std::atomic<int> hits{0};
  auto worker = [&](int thread) {
    std::mt19937 random(thread);
    for (int step = 0; step < kSteps; ++step) {
      // Half the steps stay among the first hundred queries, so threads collide on hashes.
      int i = static_cast<int>(random() % (step % 2 == 0 ? 100 : kQueries));
      if (random() % 3 == 0) {
        std::optional<std::string_view> name;
        if (random() % 2 == 0) name = std::string_view(texts[i]).substr(6, texts[i].find(' ', 6) - 6);
        Result<PersistedQuery> registered = resolve_persisted_query(*schema, hashes[i], texts[i], name, true);
        if (!registered.ok() || !registered->registered) ++failures;
        continue;
      }
      Result<PersistedQuery> replayed = replay(*schema, hashes[i]);
      if (replayed.ok()) {
        if (replayed->registered) ++failures;
        ++hits;
        // The entry may have gone since, but what is there must be this query's document.
        DocumentPtr document = schema->persisted_query_cache.get(hashes[i]);
        if (document && document->text() != texts[i]) ++failures;
      } else if (replayed.error().code() != ErrorCode::PERSISTED_QUERY_NOT_FOUND) {
        ++failures;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(hits.load(), 0);
  EXPECT_LE(schema->persisted_query_cache.size(), PersistedQueryCache::kCapacity);
}

}  // namespace
}  // namespace quenfel
