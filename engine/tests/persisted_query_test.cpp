#include "engine/persisted_query.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cctype>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/parser.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

TEST(Sha256HexTest, KnownDigests) {
  using namespace std::string_literals;
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex(std::string_view("xabcx").substr(1, 3)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("a\0b"s), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138");
}

CachedDocumentPtr entry(const std::string& text) {
  return std::make_shared<const CachedDocument>(*parse_document("{ a } # " + text));
}

std::string text_of(const CachedDocumentPtr& cached) {
  return cached ? std::string(cached->document()->text().substr(8)) : "<none>";
}

TEST(PersistedQueryCacheTest, ReplacesAndDropsTheLeastRecentlyUsedOnly) {
  PersistedQueryCache cache;
  CachedDocumentPtr first = entry("first");
  cache.insert("kept", first);
  EXPECT_EQ(cache.get("kept"), first);
  EXPECT_EQ(cache.get("Kept"), nullptr);  // keys are exact bytes
  cache.insert("kept", entry("kept"));
  EXPECT_EQ(first.use_count(), 1);  // the replaced entry was let go
  cache.insert("dropped", entry("dropped"));
  CachedDocumentPtr held = cache.get("dropped");
  CachedDocumentPtr filler = entry("filler");
  for (int i = 0; i < 2500; ++i) {
    cache.insert("f" + std::to_string(i), filler);
    if (i % 500 == 0) {
      ASSERT_EQ(text_of(cache.get("kept")), "kept");
    }
  }
  EXPECT_EQ(cache.size(), PersistedQueryCache::kCapacity);
  EXPECT_EQ(cache.get("dropped"), nullptr);
  EXPECT_EQ(text_of(held), "dropped");  // outlives its entry
  EXPECT_EQ(cache.get("f2499"), filler);
}

// Query { item(id: Int!): Item } with Item { id name }.
std::unique_ptr<CompiledSchema> make_schema() {
  return SchemaBuilder()
      .add(object("Query", {field("item", "Item", {arg("id", "Int!")})}))
      .add(object("Item", {field("id", "ID!"), field("name", "String")}))
      .build();
}

using Text = std::optional<std::string_view>;

Result<PersistedQuery> resolve(const CompiledSchema& schema, std::string_view hash, Text query = {},
                               Text operation = {}, bool validate = true) {
  return resolve_persisted_query(schema, hash, query, operation, validate);
}

Result<PersistedQuery> register_query(const CompiledSchema& schema, std::string_view text, Text operation = {},
                                      bool validate = true) {
  return resolve(schema, sha256_hex(text), text, operation, validate);
}

// The outcome in brief: "registered", "found", or the error in brief.
std::string outcome(const Result<PersistedQuery>& result) {
  if (!result) return describe(result.error());
  EXPECT_NE(result->document, nullptr);
  return result->registered ? "registered" : "found";
}

constexpr std::string_view kQuery = "{ item(id: 1) { id name } }";
constexpr const char* kNotFound = "PERSISTED_QUERY_NOT_FOUND: PersistedQueryNotFound";
constexpr const char* kMismatch = "PERSISTED_QUERY_MISMATCH: provided sha256Hash does not match the hash of the query";

TEST(ResolvePersistedQueryTest, RegisterThenReplayTheSameDocument) {
  auto schema = make_schema();
  const std::string hash = sha256_hex(kQuery);
  EXPECT_EQ(outcome(resolve(*schema, hash)), kNotFound);
  Result<PersistedQuery> registered = register_query(*schema, kQuery);
  EXPECT_EQ(outcome(registered), "registered");
  Result<PersistedQuery> replayed = resolve(*schema, hash);
  EXPECT_EQ(outcome(replayed), "found");
  EXPECT_EQ(replayed->document, registered->document);
  // A known hash sent with its text is processed again and its entry replaced.
  Result<PersistedQuery> again = register_query(*schema, kQuery);
  EXPECT_EQ(outcome(again), "registered");
  EXPECT_NE(again->document, registered->document);
  EXPECT_EQ(resolve(*schema, hash)->document, again->document);
  EXPECT_EQ(schema->persisted_query_cache.size(), 1u);
}

TEST(ResolvePersistedQueryTest, FailuresStoreNothing) {
  auto schema = make_schema();
  const std::string hash = sha256_hex(kQuery);
  std::string upper = hash;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const auto& wrong : {upper, hash.substr(0, 63)}) EXPECT_EQ(outcome(resolve(*schema, wrong, kQuery)), kMismatch);
  EXPECT_EQ(outcome(resolve(*schema, hash, "{ unclosed")), kMismatch);  // checked before parsing
  const std::pair<std::string_view, const char*> cases[] = {
      {"{", "GRAPHQL_PARSE_FAILED: syntax error: unexpected end of input, expected a selection @1:2"},
      {"query A { item(id: 1) { id } } query B { item { id } }",
       "GRAPHQL_VALIDATION_FAILED: document contains multiple operations; operation_name is required"},
      {"{ item(id: 1) { id colour } }", "UNKNOWN_FIELD: field 'colour' does not exist on type 'Item' @1:20"},
  };
  for (const auto& [text, failure] : cases) {
    EXPECT_EQ(outcome(register_query(*schema, text)), failure);
    EXPECT_EQ(outcome(resolve(*schema, sha256_hex(text))), kNotFound);
  }
  EXPECT_EQ(schema->persisted_query_cache.size(), 0u);
}

// Registered unvalidated, a document replays without validation only when none is asked for; a failed
// re-registration leaves the earlier entry as it was.
TEST(ResolvePersistedQueryTest, ValidationOnlyWhenAsked) {
  auto schema = make_schema();
  constexpr std::string_view kUnknownField = "{ item(id: 1) { id colour } }";
  const std::string hash = sha256_hex(kUnknownField);
  Result<PersistedQuery> unchecked = register_query(*schema, kUnknownField, std::nullopt, false);
  EXPECT_EQ(outcome(unchecked), "registered");
  EXPECT_EQ(outcome(resolve(*schema, hash, std::nullopt, "NoSuchOperation", false)), "found");
  for (int replay = 0; replay < 2; ++replay) {
    EXPECT_EQ(outcome(replay ? resolve(*schema, hash) : register_query(*schema, kUnknownField)),
              "UNKNOWN_FIELD: field 'colour' does not exist on type 'Item' @1:20");
  }
  EXPECT_EQ(schema->persisted_query_cache.get(hash)->document(), unchecked->document);
}

// A replay that asks for validation must not run an operation that was never
// validated: registered for another operation (or unvalidated, above).
TEST(ResolvePersistedQueryTest, ReplayValidatesWhatRegistrationDidNot) {
  auto schema = make_schema();
  constexpr std::string_view kTwo = "query Good { item(id: 1) { id } } query Bad { item { id } }";
  const std::string hash = sha256_hex(kTwo);
  const char* kBad = "ARGUMENT_TYPE_MISMATCH: missing required argument 'id' on 'item' @1:47";
  EXPECT_EQ(outcome(register_query(*schema, kTwo, "Bad")), kBad);
  EXPECT_EQ(outcome(register_query(*schema, kTwo, "Good")), "registered");
  const CachedDocument& cached = *schema->persisted_query_cache.get(hash);
  EXPECT_TRUE(cached.validated(cached.document()->operations().front()));
  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_EQ(outcome(resolve(*schema, hash, std::nullopt, "Bad")), kBad);
    EXPECT_EQ(outcome(resolve(*schema, hash, std::nullopt, "Good")), "found");
  }
  EXPECT_FALSE(cached.validated(*cached.document()->operations().front().next));
  EXPECT_EQ(outcome(resolve(*schema, hash)),
            "GRAPHQL_VALIDATION_FAILED: document contains multiple operations; operation_name is required");
  EXPECT_EQ(outcome(resolve(*schema, hash, std::nullopt, "Bad", false)), "found");
}

// Replays of one unvalidated entry race to validate it first (run under TSan too).
TEST(ResolvePersistedQueryTest, ConcurrentFirstReplaysValidateOneEntry) {
  auto schema = make_schema();
  constexpr std::string_view kTwo = "query A { item(id: 1) { id } } query B { item(id: 2) { name } }";
  const std::string hash = sha256_hex(kTwo);
  ASSERT_EQ(outcome(register_query(*schema, kTwo, "A", false)), "registered");
  std::barrier start(8);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < 200; ++i) {
        if (outcome(resolve(*schema, hash, std::nullopt, (t + i) % 2 ? "A" : "B")) != "found") ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  const CachedDocument& cached = *schema->persisted_query_cache.get(hash);
  for (const OperationDefinition& operation : cached.document()->operations()) EXPECT_TRUE(cached.validated(operation));
}

// Eight threads register and replay overlapping sets of queries, more than the cache holds, so entries are replaced
// and evicted while others are read: every replay that finds its hash hands back that query's own document.
TEST(ResolvePersistedQueryTest, ConcurrentRegistrationAndReplay) {
  constexpr int kThreads = 8, kQueries = 1500, kSteps = 3000;
  auto schema = make_schema();
  std::vector<std::string> texts, hashes;
  for (int i = 0; i < kQueries; ++i) {
    texts.push_back("query Q" + std::to_string(i) + " { item(id: " + std::to_string(i) + ") { id name } }");
    hashes.push_back(sha256_hex(texts.back()));
  }
  std::atomic<int> failures{0}, hits{0};
  auto worker = [&](int thread) {
    std::mt19937 random(thread);
    for (int step = 0; step < kSteps; ++step) {
      // Half the steps stay among the first hundred queries, so threads collide on hashes.
      const int i = static_cast<int>(random() % (step % 2 == 0 ? 100 : kQueries));
      const std::string name = "Q" + std::to_string(i);
      const auto operation = random() % 2 ? Text(name) : std::nullopt;
      const bool with_text = random() % 3 == 0;
      Result<PersistedQuery> result = with_text ? resolve(*schema, hashes[i], texts[i], operation, random() % 2)
                                                : resolve(*schema, hashes[i], std::nullopt, operation);
      if (!result) {
        if (with_text || result.error().code() != ErrorCode::PERSISTED_QUERY_NOT_FOUND) ++failures;
        continue;
      }
      if (!with_text) ++hits;
      if (result->registered != with_text || result->document->text() != texts[i]) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(hits.load(), 0);
}

}  // namespace
}  // namespace quenfel
