// Persisted queries against the corpus's GitHub schema, validating as a server
// would: registering a query (hash, parse, validate, store) against replaying
// it by its hash alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <string>

#include "bench/corpus.h"
#include "engine/persisted_query.h"

namespace quenfel {
namespace {

constexpr const char* kQueryFile = "github-medium.graphql";

Result<PersistedQuery> register_query(const CompiledSchema& schema, const std::string& hash, const std::string& text) {
  return resolve_persisted_query(schema, hash, text, std::nullopt, true);
}

Result<PersistedQuery> replay(const CompiledSchema& schema, const std::string& hash) {
  return resolve_persisted_query(schema, hash, std::nullopt, std::nullopt, true);
}

// The query text and its hash, registered once (which also builds the schema's
// index); nothing when that fails, with the reason given to the benchmark.
std::optional<std::string> prepare(benchmark::State& state, std::string& hash) {
  std::optional<std::string> text = bench::read_corpus_file(kQueryFile);
  if (!text) {
    state.SkipWithError("cannot read github-medium.graphql from the corpus (set QUENFEL_CORPUS_DIR)");
    return std::nullopt;
  }
  hash = sha256_hex(*text);
  Result<PersistedQuery> registered = register_query(bench::github_schema(), hash, *text);
  if (!registered) {
    state.SkipWithError(("registration failed: " + registered.error().message).c_str());
    return std::nullopt;
  }
  return text;
}

void BM_PersistedQueryRegister(benchmark::State& state) {
  std::string hash;
  std::optional<std::string> text = prepare(state, hash);
  if (!text) return;
  const CompiledSchema& schema = bench::github_schema();
  for (auto _ : state) benchmark::DoNotOptimize(register_query(schema, hash, *text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}
BENCHMARK(BM_PersistedQueryRegister)->Unit(benchmark::kMicrosecond);

// Also times registrations of the same text beside the loop, so that the
// output carries the ratio of the two costs.
void BM_PersistedQueryReplay(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  std::string hash;
  std::optional<std::string> text = prepare(state, hash);
  if (!text) return;
  const CompiledSchema& schema = bench::github_schema();

  constexpr int kRegistrations = 1000;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kRegistrations; ++i) benchmark::DoNotOptimize(register_query(schema, hash, *text));
  const double register_ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kRegistrations;

  start = Clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(replay(schema, hash));
  const double replay_ns =
      std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(state.iterations());

  state.counters["register_ns"] = register_ns;
  state.counters["replay_ns"] = replay_ns;
  state.counters["register/replay"] = register_ns / replay_ns;
}
BENCHMARK(BM_PersistedQueryReplay)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quenfel
