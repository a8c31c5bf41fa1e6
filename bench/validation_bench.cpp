// Validation of the corpus queries against the corpus's GitHub schema.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/corpus.h"
#include "engine/parser.h"
#include "engine/schema_index.h"
#include "engine/validation.h"

namespace quenfel {
namespace {

using bench::github_schema;
using bench::read_corpus;

void BM_Validate(benchmark::State& state, const char* file) {
  const CompiledSchema& schema = github_schema();
  std::string text = read_corpus(file);
  Result<DocumentPtr> document = parse_document(text);
  if (!document.ok()) {
    state.SkipWithError(("parse failed: " + document.error().message).c_str());
    return;
  }
  if (Status error = validate_query(**document, schema, std::nullopt)) {
    state.SkipWithError(("validation failed: " + error->message).c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(validate_query(**document, schema, std::nullopt));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(BM_Validate, github_tiny, "github-tiny.graphql");
BENCHMARK_CAPTURE(BM_Validate, github_small, "github-small.graphql");
BENCHMARK_CAPTURE(BM_Validate, github_mutation, "github-mutation.graphql");
BENCHMARK_CAPTURE(BM_Validate, github_medium, "github-medium.graphql");
BENCHMARK_CAPTURE(BM_Validate, github_large, "github-large.graphql");

// The one-time cost a schema pays on its first validation.
void BM_BuildSchemaIndex(benchmark::State& state) {
  const CompiledSchema& schema = github_schema();
  for (auto _ : state) {
    SchemaIndex index(schema);
    benchmark::DoNotOptimize(&index);
  }
}
BENCHMARK(BM_BuildSchemaIndex);

// Thirty levels of fragments that each spread the next twice: 2^30 expansions unless remembered.
void BM_ValidateExponentialFragments(benchmark::State& state) {
  std::string text = "{ ...F0 }\n";
  for (int i = 0; i < 30; ++i) {
    std::string next = std::to_string(i + 1);
    text += "fragment F" + std::to_string(i) + " on Repository { ...F" + next + " ...F" + next + " }\n";
  }
  text = "{ repository(owner: \"o\", name: \"n\") " + text.substr(0, text.find('\n')) + " }" +
         text.substr(text.find('\n')) + "fragment F30 on Repository { id name }\n";
  Result<DocumentPtr> document = parse_document(text);
  if (!document.ok()) {
    state.SkipWithError(document.error().message.c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(validate_query(**document, github_schema(), std::nullopt));
}
BENCHMARK(BM_ValidateExponentialFragments);

}  // namespace
}  // namespace quenfel
