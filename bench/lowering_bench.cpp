// Lowering of the corpus queries: documents are parsed once, outside the timed
// loop, so the numbers are the lowering alone (plans built and freed).
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "bench/corpus.h"
#include "engine/lowering.h"
#include "engine/parser.h"

namespace quenfel {
namespace {

using bench::read_corpus_file;

std::size_t count_fields(const std::vector<LoweredField>& fields) {
  std::size_t n = fields.size();
  for (const LoweredField& field : fields) n += count_fields(field.selections);
  return n;
}

void BM_Lower(benchmark::State& state, const std::string& query) {
  std::optional<std::string> text = read_corpus_file(query + ".graphql");
  std::optional<std::string> json = read_corpus_file(query + ".variables.json");
  if (!text || !json) {
    state.SkipWithError(("cannot read " + query + " from the corpus (set QUENFEL_CORPUS_DIR)").c_str());
    return;
  }
  Result<DocumentPtr> document = parse_document(*text);
  if (!document) {
    state.SkipWithError(("parse failed: " + document.error().message).c_str());
    return;
  }
  const Json values = Json::parse(*json, nullptr, false);
  const JsonVariables variables(values);

  Result<LoweredOperation> first = lower_document(**document, variables, std::nullopt);
  if (!first) {
    state.SkipWithError(("lowering failed: " + first.error().message).c_str());
    return;
  }
  const auto fields = static_cast<double>(count_fields(first->fields));

  for (auto _ : state) {
    Result<LoweredOperation> lowered = lower_document(**document, variables, std::nullopt);
    benchmark::DoNotOptimize(lowered);
  }
  state.counters["fields"] = fields;
  state.counters["per_field"] =
      benchmark::Counter(fields, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_Lower, github_medium, std::string("github-medium"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lower, github_large, std::string("github-large"))->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quenfel
