// Dense texts at growing sizes. The cost per field of parsing, validating and
// lowering `{ a a a ... }` must not grow with the size, a syntax error at the
// end must cost no more than the parse, and no shape of text may make a parse
// hold more than a small multiple of its bytes (peak_per_byte, the most the
// parse held at once per byte of text). Sizes up to 10^6 fields run by
// default; QUENFEL_BENCH_HUGE=1 in the environment adds 10^7 and 5*10^7
// (100 MB of text, a few GB of memory and a few minutes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "bench/heap_count.h"
#include "engine/lowering.h"
#include "engine/parser.h"
#include "engine/validation.h"

namespace quenfel {
namespace {

std::string repeat(std::string_view unit, std::int64_t n) {
  std::string text;
  text.reserve(unit.size() * static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) text.append(unit);
  return text;
}

// The shape: one-letter sibling fields.
std::string dense_fields(std::int64_t n) { return "{ " + repeat("a ", n) + "}"; }

void per_field(benchmark::State& state, std::int64_t fields) {
  state.counters["fields"] = static_cast<double>(fields);
  state.counters["per_field"] =
      benchmark::Counter(static_cast<double>(fields), benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

// Parses once untimed to find the peak; reports it per byte of text.
void peak_per_byte(benchmark::State& state, const std::string& text) {
  const std::int64_t before = bench::live_heap_bytes();
  bench::reset_heap_peak();
  { auto document = parse_document(text); }
  state.counters["peak_per_byte"] =
      static_cast<double>(bench::peak_heap_bytes() - before) / static_cast<double>(text.size());
}

void BM_DenseParse(benchmark::State& state) {
  const std::string text = dense_fields(state.range(0));
  peak_per_byte(state, text);
  for (auto _ : state) benchmark::DoNotOptimize(parse_document(text));
  per_field(state, state.range(0));
}

// The same text without its closing brace: the error comes at the very end.
void BM_DenseParseError(benchmark::State& state) {
  std::string text = dense_fields(state.range(0));
  text.pop_back();
  peak_per_byte(state, text);
  for (auto _ : state) benchmark::DoNotOptimize(parse_document(text));
  per_field(state, state.range(0));
}

const CompiledSchema& one_field_schema() {
  static const std::unique_ptr<CompiledSchema> schema = [] {
    auto s = std::make_unique<CompiledSchema>();
    s->query_type_name = "Query";
    bench::SdlReader("type Query { a: Int }", *s).read();
    return s;
  }();
  return *schema;
}

void BM_DenseValidate(benchmark::State& state) {
  const DocumentPtr document = *parse_document(dense_fields(state.range(0)));
  for (auto _ : state) {
    if (Status error = validate_query(*document, one_field_schema(), std::nullopt)) {
      state.SkipWithError(error->message.c_str());
      return;
    }
  }
  per_field(state, state.range(0));
}

// Past the field cap lowering fails once the cap is passed: per field is then
// per field lowered before it stopped.
void BM_DenseLower(benchmark::State& state) {
  const DocumentPtr document = *parse_document(dense_fields(state.range(0)));
  const Json no_variables = Json::object();
  for (auto _ : state) {
    benchmark::DoNotOptimize(lower_document(*document, JsonVariables(no_variables), std::nullopt));
  }
  per_field(state, std::min<std::int64_t>(state.range(0), kMaxLoweredFields + 1));
}

void dense_sizes(benchmark::internal::Benchmark* b) {
  std::vector<std::int64_t> sizes = {1'000, 10'000, 100'000, 1'000'000};
  const char* huge = std::getenv("QUENFEL_BENCH_HUGE");
  if (huge != nullptr && std::string(huge) == "1") sizes.insert(sizes.end(), {10'000'000, 50'000'000});
  for (std::int64_t n : sizes) b->Arg(n);
  b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_DenseParse)->Apply(dense_sizes);
BENCHMARK(BM_DenseParseError)->Apply(dense_sizes);
BENCHMARK(BM_DenseValidate)->Apply(dense_sizes);
BENCHMARK(BM_DenseLower)->Apply(dense_sizes);

// The densest text of each kind of node, about 2 MB of it: the peak a parse
// holds per byte, and the time per byte.
struct Shape {
  const char* name;
  std::function<std::string(std::int64_t)> text;  // of n units
};

const Shape kShapes[] = {
    {"fields", [](std::int64_t n) { return dense_fields(n); }},
    {"aliases", [](std::int64_t n) { return "{ " + repeat("a:a ", n) + "}"; }},
    {"arguments", [](std::int64_t n) { return "{ a(" + repeat("a:1 ", n) + ") }"; }},
    {"list_values", [](std::int64_t n) { return "{ a(a: [" + repeat("1 ", n) + "]) }"; }},
    {"empty_lists", [](std::int64_t n) { return "{ a(a: [" + repeat("[]", n) + "]) }"; }},
    {"object_fields", [](std::int64_t n) { return "{ a(a: {" + repeat("a:1 ", n) + "}) }"; }},
    {"directives", [](std::int64_t n) { return "{ a " + repeat("@a", n) + " }"; }},
    {"nested", [](std::int64_t n) { return "{ " + repeat(repeat("a{", 63) + "a" + repeat("}", 63), n / 63) + " }"; }},
    {"selection_sets", [](std::int64_t n) { return "{ " + repeat("a{a}", n) + " }"; }},
    {"spreads", [](std::int64_t n) { return "{ " + repeat("...a", n) + " } fragment a on T { a }"; }},
    {"inline_fragments", [](std::int64_t n) { return "{ " + repeat("...{a}", n) + " }"; }},
    {"variables", [](std::int64_t n) { return "query(" + repeat("$a:A", n) + ") { a }"; }},
    {"list_types", [](std::int64_t n) { return "query(" + repeat("$a:[[[A]]]", n) + ") { a }"; }},
    {"anonymous_operations", [](std::int64_t n) { return repeat("{a}", n); }},
};

void BM_ShapeParse(benchmark::State& state, const Shape& shape) {
  const std::string text = shape.text(1'000'000);
  peak_per_byte(state, text);
  for (auto _ : state) benchmark::DoNotOptimize(parse_document(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

const bool kRegistered = [] {
  for (const Shape& shape : kShapes) {
    benchmark::RegisterBenchmark((std::string("BM_ShapeParse/") + shape.name).c_str(), BM_ShapeParse, shape)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace quenfel
