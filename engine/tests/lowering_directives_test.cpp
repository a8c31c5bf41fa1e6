#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "engine/lowering.h"
#include "engine/tests/lowering_helpers.h"

namespace quenfel {
namespace {

// The directives of the single field in "{ f <directives> }", kept with their document.
struct FieldDirectives {
  DocumentPtr document;
  Span<Directive> directives;
};

FieldDirectives directives_of(const std::string& directives) {
  FieldDirectives parsed{testing::parse("{ f " + directives + " }"), {}};
  if (parsed.document) parsed.directives = parsed.document->operations()[0].selection_set.items[0].directives;
  return parsed;
}

template <class T>
std::string failure(const Result<T>& result) {
  EXPECT_EQ(result.error().code(), ErrorCode::GRAPHQL_VALIDATION_FAILED);
  EXPECT_FALSE(result.error().locations.has_value());
  return "error: " + result.error().message;
}

std::string prune(const std::string& directives, const Json& variables = Json::object()) {
  FieldDirectives parsed = directives_of(directives);
  if (!parsed.document) return "parse failed";
  Result<bool> result = should_prune(parsed.directives, JsonVariables(variables));
  if (!result) return failure(result);
  return *result ? "prune" : "keep";
}

std::string defer(const std::string& directives, const Json& variables = Json::object()) {
  FieldDirectives parsed = directives_of(directives);
  if (!parsed.document) return "parse failed";
  Result<DeferState> result = defer_label(parsed.directives, JsonVariables(variables));
  if (!result) return failure(result);
  if (!result->deferred) return "none";
  return result->label ? "deferred(" + std::string(*result->label) + ")" : "deferred";
}

std::string stream(const std::string& directives, const Json& variables = Json::object()) {
  FieldDirectives parsed = directives_of(directives);
  if (!parsed.document) return "parse failed";
  Result<std::optional<StreamMarker>> result = stream_marker(parsed.directives, JsonVariables(variables));
  if (!result) return failure(result);
  if (!*result) return "none";
  std::string out = "stream(" + std::to_string((*result)->initial_count);
  if ((*result)->label) out += "," + std::string(*(*result)->label);
  return out + ")";
}

TEST(SkipIncludeTest, LiteralsAndVariables) {
  const Json vars{{"yes", true}, {"no", false}};
  EXPECT_EQ(prune(""), "keep");
  EXPECT_EQ(prune("@custom(if: false)"), "keep");
  EXPECT_EQ(prune("@skip(if: true)"), "prune");
  EXPECT_EQ(prune("@skip(if: false)"), "keep");
  EXPECT_EQ(prune("@include(if: false)"), "prune");
  EXPECT_EQ(prune("@include(if: true)"), "keep");
  EXPECT_EQ(prune("@skip(if: $yes)", vars), "prune");
  EXPECT_EQ(prune("@include(if: $no)", vars), "prune");
  EXPECT_EQ(prune("@include(if: $yes) @skip(if: $no)", vars), "keep");
  EXPECT_EQ(prune("@include(if: true) @skip(if: true)"), "prune");
  EXPECT_EQ(prune("@include(if: true) @include(if: false)"), "prune");
  // The first `if` is read; other arguments are ignored.
  EXPECT_EQ(prune("@skip(other: 1, if: true, if: false)"), "prune");
  // Names are case-sensitive.
  EXPECT_EQ(prune("@Skip(if: true) @skip(If: true, if: false)"), "keep");
}

TEST(SkipIncludeTest, StopsAtTheFirstPrune) {
  EXPECT_EQ(prune("@skip(if: true) @include(if: $missing)"), "prune");
  EXPECT_EQ(prune("@include(if: $missing) @skip(if: true)"),
            "error: @include(if: $missing) references undefined variable '$missing'");
}

TEST(SkipIncludeTest, UnusableArguments) {
  EXPECT_EQ(prune("@skip"), "error: @skip requires an 'if' argument");
  EXPECT_EQ(prune("@skip(when: true)"), "error: @skip requires an 'if' argument");
  EXPECT_EQ(prune("@include"), "error: @include requires an 'if' argument");
  EXPECT_EQ(prune("@include(if: $v)", Json{{"v", nullptr}}),
            "error: variable '$v' used in @include(if: ...) must be a boolean");
  EXPECT_EQ(prune("@skip(if: $v)", Json{{"v", "true"}}), "error: variable '$v' used in @skip(if: ...) must be a boolean");
  EXPECT_EQ(prune("@skip(if: $v)", Json{{"v", 1}}), "error: variable '$v' used in @skip(if: ...) must be a boolean");
  for (const char* literal : {"\"true\"", "null", "1", "1.0", "TRUE", "[true]", "{a: true}"}) {
    EXPECT_EQ(prune(std::string("@skip(if: ") + literal + ")"),
              "error: @skip(if: ...) argument must be a boolean or a variable")
        << literal;
  }
}

TEST(SkipIncludeTest, DeclaredDefaultsAreNotApplied) {
  auto lowering = testing::lower("query Q($flag: Boolean = false) { a @skip(if: $flag) }");
  ASSERT_FALSE(lowering.ok());
  EXPECT_EQ(lowering.error().message, "@skip(if: $flag) references undefined variable '$flag'");
}

TEST(SkipIncludeTest, VariablesOutsideAnObjectAreAbsent) {
  EXPECT_EQ(prune("@skip(if: $v)", Json::array({true})), "error: @skip(if: $v) references undefined variable '$v'");
}

TEST(DeferTest, Readings) {
  const Json vars{{"yes", true}, {"no", false}, {"l", "x"}};
  EXPECT_EQ(defer(""), "none");
  EXPECT_EQ(defer("@defer"), "deferred");
  EXPECT_EQ(defer("@defer(label: \"x\")"), "deferred(x)");
  EXPECT_EQ(defer("@defer(label: \"\")"), "deferred()");
  EXPECT_EQ(defer("@defer(label: \"\"\"block\"\"\")"), "deferred(block)");
  EXPECT_EQ(defer("@defer(if: true, label: \"x\")"), "deferred(x)");
  EXPECT_EQ(defer("@defer(if: $yes)", vars), "deferred");
  EXPECT_EQ(defer("@defer(if: $no, label: $l)", vars), "none");
  EXPECT_EQ(defer("@defer(if: false, label: 5)"), "none");
  EXPECT_EQ(defer("@defer(other: 1)"), "deferred");
  // Only the first @defer counts, whatever the others hold.
  EXPECT_EQ(defer("@defer(label: \"a\") @defer(label: 5) @defer(if: $missing)"), "deferred(a)");
  EXPECT_EQ(defer("@defer(if: false) @defer(label: \"b\")"), "none");
}

TEST(DeferTest, UnusableArguments) {
  EXPECT_EQ(defer("@defer(label: 5)"), "error: @defer(label: ...) must be a static string, not a variable");
  EXPECT_EQ(defer("@defer(label: $l)", Json{{"l", "x"}}),
            "error: @defer(label: ...) must be a static string, not a variable");
  EXPECT_EQ(defer("@defer(if: $missing, label: 5)"), "error: @defer(if: $missing) references undefined variable '$missing'");
  EXPECT_EQ(defer("@defer(if: \"no\")"), "error: @defer(if: ...) argument must be a boolean or a variable");
  EXPECT_EQ(defer("@defer(if: $v)", Json{{"v", 0}}), "error: variable '$v' used in @defer(if: ...) must be a boolean");
}

TEST(StreamTest, Readings) {
  EXPECT_EQ(stream(""), "none");
  EXPECT_EQ(stream("@stream"), "stream(0)");
  EXPECT_EQ(stream("@stream(initialCount: 3)"), "stream(3)");
  EXPECT_EQ(stream("@stream(initialCount: -1)"), "stream(-1)");
  EXPECT_EQ(stream("@stream(initialCount: 0, label: \"s\")"), "stream(0,s)");
  EXPECT_EQ(stream("@stream(label: \"\")"), "stream(0,)");
  EXPECT_EQ(stream("@stream(initialCount: 9223372036854775807)"), "stream(9223372036854775807)");
  EXPECT_EQ(stream("@stream(initialCount: -9223372036854775808)"), "stream(-9223372036854775808)");
  EXPECT_EQ(stream("@stream(if: true, initialCount: 2)"), "stream(2)");
  EXPECT_EQ(stream("@stream(if: false, initialCount: \"x\", label: 1)"), "none");
  EXPECT_EQ(stream("@stream(if: $on)", Json{{"on", false}}), "none");
  EXPECT_EQ(stream("@stream(other: [1])"), "stream(0)");
  // Only the first @stream counts.
  EXPECT_EQ(stream("@stream(initialCount: 1) @stream(initialCount: 1.5)"), "stream(1)");
}

TEST(StreamTest, InitialCountFromVariables) {
  const Json vars{{"u", 7u},
                  {"s", -7},
                  {"max", std::numeric_limits<std::int64_t>::max()},
                  {"big", static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1},
                  {"f", 3.0},
                  {"null", nullptr},
                  {"b", true},
                  {"str", "3"},
                  {"arr", Json::array({3})},
                  {"obj", Json{{"n", 3}}}};
  EXPECT_EQ(stream("@stream(initialCount: $u)", vars), "stream(7)");
  EXPECT_EQ(stream("@stream(initialCount: $s)", vars), "stream(-7)");
  EXPECT_EQ(stream("@stream(initialCount: $max)", vars), "stream(9223372036854775807)");
  for (const char* name : {"big", "f", "null", "b", "str", "arr", "obj"}) {
    EXPECT_EQ(stream(std::string("@stream(initialCount: $") + name + ")", vars),
              std::string("error: variable '$") + name + "' used in @stream(initialCount: ...) must be an integer");
  }
  EXPECT_EQ(stream("@stream(initialCount: $n)", vars),
            "error: @stream(initialCount: $n) references undefined variable '$n'");
}

TEST(StreamTest, UnusableArguments) {
  for (const char* literal :
       {"2.5", "3.0", "1e2", "9223372036854775808", "null", "\"3\"", "true", "THREE", "[3]", "{n: 3}"}) {
    EXPECT_EQ(stream(std::string("@stream(initialCount: ") + literal + ")"),
              "error: @stream(initialCount: ...) argument must be an integer or a variable")
        << literal;
  }
  EXPECT_EQ(stream("@stream(label: $l)", Json{{"l", "x"}}),
            "error: @stream(label: ...) must be a static string, not a variable");
  EXPECT_EQ(stream("@stream(label: 1)"), "error: @stream(label: ...) must be a static string, not a variable");
  EXPECT_EQ(stream("@stream(if: 1)"), "error: @stream(if: ...) argument must be a boolean or a variable");
  // The count is read before the label.
  EXPECT_EQ(stream("@stream(label: 1, initialCount: 1.5)"),
            "error: @stream(initialCount: ...) argument must be an integer or a variable");
}

}  // namespace
}  // namespace quenfel
