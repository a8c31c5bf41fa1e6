#include "engine/persisted_query.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/document_builder.h"

namespace quenfel {
namespace {

// A document whose text names it, so a lookup can be checked for the right one.
DocumentPtr make_document(const std::string& text) {
  DocumentBuilder builder(text);
  auto* operation = builder.arena().make<OperationDefinition>();
  Result<DocumentPtr> document = builder.finish(Span<OperationDefinition>{operation, 1}, {});
  EXPECT_TRUE(document.ok());
  return std::move(document).value();
}

TEST(PersistedQueryCacheTest, NewCacheMissesEverything) {
  PersistedQueryCache cache;
  EXPECT_EQ(cache.get(""), nullptr);
  EXPECT_EQ(cache.get(std::string(64, 'a')), nullptr);
  EXPECT_EQ(cache.size(), 0u);
}

TEST(PersistedQueryCacheTest, InsertThenGetAndReplace) {
  PersistedQueryCache cache;
  DocumentPtr first = make_document("first");
  cache.insert("k", first);
  EXPECT_EQ(cache.get("k"), first);
  EXPECT_EQ(cache.get("K"), nullptr);  // keys are exact bytes

  DocumentPtr second = make_document("second");
  cache.insert("k", second);
  EXPECT_EQ(cache.get("k"), second);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(first.use_count(), 1);  // the replaced document was let go
}

TEST(PersistedQueryCacheTest, StaysBoundedAndKeepsAcceptingInserts) {
  PersistedQueryCache cache;
  DocumentPtr document = make_document("{a}");
  for (int i = 0; i < 2500; ++i) {
    cache.insert("key-" + std::to_string(i), document);
    EXPECT_LE(cache.size(), PersistedQueryCache::kCapacity);
  }
  EXPECT_EQ(cache.size(), PersistedQueryCache::kCapacity);
  DocumentPtr latest = make_document("latest");
  cache.insert("latest", latest);
  EXPECT_EQ(cache.size(), PersistedQueryCache::kCapacity);
  EXPECT_EQ(cache.get("latest"), latest);
  EXPECT_EQ(cache.get("key-2499"), document);
}

TEST(PersistedQueryCacheTest, EvictedDocumentOutlivesTheCacheEntry) {
  PersistedQueryCache cache;
  cache.insert("held", make_document("held text"));
  DocumentPtr held = cache.get("held");
  ASSERT_NE(held, nullptr);
  DocumentPtr filler = make_document("filler");
  for (std::size_t i = 0; i < PersistedQueryCache::kCapacity; ++i) cache.insert(std::to_string(i), filler);
  EXPECT_EQ(cache.get("held"), nullptr);
  EXPECT_EQ(held->text(), "held text");
}

TEST(PersistedQueryCacheTest, RecentlyReadEntriesSurviveEviction) {
  PersistedQueryCache cache;
  DocumentPtr kept = make_document("kept");
  cache.insert("kept", kept);
  DocumentPtr filler = make_document("filler");
  for (int i = 0; i < 5000; ++i) {
    cache.insert("f" + std::to_string(i), filler);
    if (i % 500 == 0) {
      ASSERT_EQ(cache.get("kept"), kept);
    }
  }
}

// Eight threads insert, replace and read concurrently. Rounds are separated by
// barriers so that each round touches fewer entries than the capacity: every
// thread's inserts of the current round must then all be present, with the
// latest document for a replaced key. Reads of older keys may miss but must
// never return a wrong document.
TEST(PersistedQueryCacheTest, ConcurrentInsertsAndReadsLoseNothingThatMustStay) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 40;
  constexpr int kPerRound = 100;   // kThreads * kPerRound new keys per round
  constexpr int kOlderReads = 20;  // + kThreads * kOlderReads promoted old keys <= capacity
  static_assert(kThreads * (kPerRound + kOlderReads) <= static_cast<int>(PersistedQueryCache::kCapacity));

  PersistedQueryCache cache;
  std::barrier sync(kThreads);
  std::atomic<int> failures{0};
  auto key_of = [](int thread, int round, int i) {
    return std::to_string(thread) + "/" + std::to_string(round) + "/" + std::to_string(i);
  };
  auto expected_text = [](const std::string& key, int i) { return key + (i % 2 == 0 ? "#2" : "#1"); };

  auto worker = [&](int thread) {
    std::mt19937 random(thread);
    for (int round = 0; round < kRounds; ++round) {
      for (int i = 0; i < kPerRound; ++i) {
        std::string key = key_of(thread, round, i);
        cache.insert(key, make_document(key + "#1"));
        if (i % 2 == 0) cache.insert(key, make_document(key + "#2"));
        if (i % 3 == 0) cache.insert("shared", make_document("shared"));
        if (DocumentPtr shared = cache.get("shared"); shared && shared->text() != "shared") ++failures;
        if (i < kOlderReads && round > 0) {
          int old_round = static_cast<int>(random() % round);
          int old_i = static_cast<int>(random() % kPerRound);
          std::string old_key = key_of(thread, old_round, old_i);
          DocumentPtr old = cache.get(old_key);
          if (old && old->text() != expected_text(old_key, old_i)) ++failures;
        }
        if (cache.size() > PersistedQueryCache::kCapacity) ++failures;
      }
      sync.arrive_and_wait();
      for (int i = 0; i < kPerRound; ++i) {
        std::string key = key_of(thread, round, i);
        DocumentPtr document = cache.get(key);
        if (!document || document->text() != expected_text(key, i)) ++failures;
      }
      sync.arrive_and_wait();
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(cache.size(), PersistedQueryCache::kCapacity);
}

}  // namespace
}  // namespace quenfel
