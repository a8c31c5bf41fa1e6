// Lowering of the corpus queries: documents are parsed once, outside the timed
// loop, so the numbers are the lowering alone (plans built and freed).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "engine/lowering.h"
#include "engine/parser.h"

namespace quenfel {
namespace {

std::string read_corpus_file(const std::string& name) {
  std::ifstream in(std::string(QUENFEL_CORPUS_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t count_fields(const std::vector<LoweredField>& fields) {
  std::size_t n = fields.size();
  for (const LoweredField& field : fields) n += count_fields(field.selections);
  return n;
}

void BM_Lower(benchmark::State& state, const std::string& query) {
  Result<DocumentPtr> document = parse_document(read_corpus_file(query + ".graphql"));
  if (!document) {
    state.SkipWithError(("parse failed: " + document.error().message).c_str());
    return;
  }
  const Json values = Json::parse(read_corpus_file(query + ".variables.json"), nullptr, false);
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
