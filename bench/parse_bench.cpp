// Parse throughput over the benchmark corpus, in bytes of query text per
// second, beside a table-driven scan of the same bytes for scale. Each parse
// also reports how many heap bytes the finished document holds per byte of
// its text, as the document counts them (heap_per_byte), checks that count
// against what the counting operator new saw the parse keep, and reports the
// most the parse held at once (peak_per_byte).
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "bench/corpus.h"
#include "bench/heap_count.h"
#include "engine/parser.h"

namespace quenfel {
namespace {

struct Query {
  const char* name;
  bool fixture;  // from the parser's test fixtures rather than the corpus
};

// The corpus's kitchen-sink holds two anonymous operations, which this parser
// refuses after reading it all: it is timed as it is, and the fixture of the
// same name, which parses, shows its footprint.
constexpr Query kQueries[] = {{"kitchen-sink", false},  {"kitchen-sink", true}, {"github-small", false},
                              {"github-medium", false}, {"github-large", false}, {"schema-query", false}};

bool read_query(benchmark::State& state, const Query& query, std::string& text) {
  const std::string file = std::string(query.name) + ".graphql";
  std::optional<std::string> read =
      query.fixture ? bench::read_file(std::string(QUENFEL_FIXTURES_DIR) + "/parser-valid/" + file)
                    : bench::read_corpus_file(file);
  if (!read) {
    state.SkipWithError(("cannot read " + file + (query.fixture ? " from the fixtures" : " (set QUENFEL_CORPUS_DIR)"))
                            .c_str());
    return false;
  }
  text = std::move(*read);
  return true;
}

void BM_Parse(benchmark::State& state, const Query& query) {
  std::string text;
  if (!read_query(state, query, text)) return;

  // One parse outside the timing, to see what the document keeps: all that it
  // holds while it lives, and nothing once it is gone or when it was refused;
  // and the most the parse held on its way.
  bool accepted = false;
  std::size_t reported = 0;
  std::int64_t held = 0;
  const std::int64_t live_before = bench::live_heap_bytes();
  bench::reset_heap_peak();
  {
    auto document = parse_document(text);
    accepted = document.ok();
    if (accepted) {
      held = bench::live_heap_bytes() - live_before;
      reported = (*document)->heap_bytes();
    }
  }
  const std::int64_t peak = bench::peak_heap_bytes() - live_before;
  const std::int64_t kept = bench::live_heap_bytes() - live_before;
  if (static_cast<std::int64_t>(reported) != held || kept != 0) {
    state.SkipWithError(("the document says it holds " + std::to_string(reported) + " heap bytes, but holds " +
                         std::to_string(held) + " and leaves " + std::to_string(kept) + " behind")
                            .c_str());
    return;
  }

  for (auto _ : state) {
    auto document = parse_document(text);
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
  if (!accepted) {
    state.SetLabel("refused: " + parse_document(text).error().message);
    return;
  }
  state.counters["heap_bytes"] = static_cast<double>(reported);
  state.counters["heap_per_byte"] = static_cast<double>(reported) / static_cast<double>(text.size());
  state.counters["peak_per_byte"] = static_cast<double>(peak) / static_cast<double>(text.size());
}

// Every byte through a 256-entry class table, summed so the loop must run:
// about the least work any tokenizer does per byte.
constexpr std::array<std::uint8_t, 256> kScanClass = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') {
      table[c] = 1;
    } else if (c >= '0' && c <= '9') {
      table[c] = 2;
    } else if (c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r') {
      table[c] = 4;
    } else {
      table[c] = 8;
    }
  }
  return table;
}();

void BM_ByteScan(benchmark::State& state, const Query& query) {
  std::string text;
  if (!read_query(state, query, text)) return;
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    std::uint64_t sum = 0;
    for (unsigned char c : text) sum += kScanClass[c];
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

const bool kRegistered = [] {
  for (const Query& query : kQueries) {
    const std::string name = std::string(query.fixture ? "fixture-" : "") + query.name;
    benchmark::RegisterBenchmark(("BM_Parse/" + name).c_str(), BM_Parse, query);
    if (!query.fixture) benchmark::RegisterBenchmark(("BM_ByteScan/" + name).c_str(), BM_ByteScan, query);
  }
  return true;
}();

}  // namespace
}  // namespace quenfel
