#include <gtest/gtest.h>

#include <string>

#include "engine/lowering.h"
#include "engine/tests/lowering_helpers.h"

namespace quenfel {
namespace {

using testing::dump;
using testing::lower;
using testing::plan_of;

void expect_error(const testing::Lowering& lowering, const std::string& message,
                  ErrorCode code = ErrorCode::GRAPHQL_VALIDATION_FAILED) {
  ASSERT_TRUE(lowering.result.has_value());
  ASSERT_FALSE(lowering.ok()) << lowering.plan();
  EXPECT_EQ(lowering.error().message, message);
  EXPECT_EQ(lowering.error().code(), code);
  EXPECT_FALSE(lowering.error().locations.has_value());
}

TEST(LoweringTest, ChoosesTheOperation) {
  auto named = lower("query A { a } mutation B { b } subscription C { c }", Json::object(), "B");
  ASSERT_TRUE(named.ok()) << named.plan();
  EXPECT_EQ(named.operation().operation_type, OperationType::Mutation);
  EXPECT_EQ(dump(named.fields()), "b");

  auto only = lower("subscription S { c }");
  ASSERT_TRUE(only.ok());
  EXPECT_EQ(only.operation().operation_type, OperationType::Subscription);

  expect_error(lower("{ a }", Json::object(), "A"), "no operation named 'A'");
  expect_error(lower("query A { a } query B { b }"), "document contains multiple operations; operation_name is required");
}

TEST(LoweringTest, KeepsFieldsInOrderWithoutMerging) {
  EXPECT_EQ(plan_of("{ a b: a a c { d e: f } }"), "a b:a a c{d e:f}");
}

TEST(LoweringTest, CarriesArgumentsAsWritten) {
  auto lowering = lower(R"({ f(x: $v, y: [1, {z: "s"}], x: ENUM) })");
  ASSERT_TRUE(lowering.ok()) << lowering.plan();
  const LoweredField& f = lowering.fields()[0];
  ASSERT_EQ(f.arguments.size(), 3u);
  EXPECT_EQ(f.arguments[0].name, "x");
  EXPECT_EQ(f.arguments[0].value.kind, ValueKind::Variable);
  EXPECT_EQ(f.arguments[0].value.text(), "v");
  EXPECT_EQ(f.arguments[1].name, "y");
  ASSERT_EQ(f.arguments[1].value.kind, ValueKind::List);
  ASSERT_EQ(f.arguments[1].value.list().size(), 2u);
  const Value& object = f.arguments[1].value.list()[1];
  ASSERT_EQ(object.kind, ValueKind::Object);
  EXPECT_EQ(object.object()[0].name, "z");
  EXPECT_EQ(object.object()[0].value.text(), "s");
  EXPECT_EQ(f.arguments[2].name, "x");
  EXPECT_EQ(f.arguments[2].value.kind, ValueKind::Enum);
}

TEST(LoweringTest, KeepsOnlyCustomFieldDirectives) {
  // Variables in kept directives stay references, supplied or not.
  auto lowering = lower(
      R"({ f @custom(y: $w) @skip(if: false) @include(if: true) @defer(label: "x") @stream @Skip @other })",
      Json{{"w", 1}});
  ASSERT_TRUE(lowering.ok()) << lowering.plan();
  const LoweredField& f = lowering.fields()[0];
  ASSERT_EQ(f.directives.size(), 3u);
  EXPECT_EQ(f.directives[0].name, "custom");
  ASSERT_EQ(f.directives[0].arguments.size(), 1u);
  EXPECT_EQ(f.directives[0].arguments[0].name, "y");
  EXPECT_EQ(f.directives[0].arguments[0].value.kind, ValueKind::Variable);
  EXPECT_EQ(f.directives[1].name, "Skip");
  EXPECT_EQ(f.directives[2].name, "other");
  EXPECT_TRUE(f.directives[2].arguments.empty());
  // @defer on a field is neither interpreted nor kept.
  EXPECT_FALSE(f.defer.has_value());
  EXPECT_TRUE(f.stream.has_value());
}

TEST(LoweringTest, DirectivesOfFragmentsAreNotKept) {
  auto lowering = lower("{ ... @custom { a } ...F @custom } fragment F on T @custom { b }");
  ASSERT_TRUE(lowering.ok()) << lowering.plan();
  for (const LoweredField& field : lowering.fields()) EXPECT_TRUE(field.directives.empty());
}

TEST(LoweringTest, OperationDirectivesAreNotRead) {
  EXPECT_EQ(plan_of("query Q @skip(if: true) @include(if: $missing) { a }"), "a");
}

TEST(LoweringTest, TypeConditions) {
  EXPECT_EQ(plan_of("{ a ... on User { b ... { x } ... on Admin { y } } }"), "a [User]b [User]x [Admin]y");
  EXPECT_EQ(plan_of("{ ... on A { ...F } } fragment F on B { x }"), "[B]x");
  EXPECT_EQ(plan_of("{ ... { x } }"), "x");
  // A sub-selection starts again without a type condition.
  EXPECT_EQ(plan_of("{ ... on User { friends { name ... on Bot { id } } } }"), "[User]friends{name [Bot]id}");
  EXPECT_EQ(plan_of("{ ...F } fragment F on User { friends { name } }"), "[User]friends{name}");
}

TEST(LoweringTest, PositionsAreTheFieldsOwn) {
  auto lowering = lower(
      "query {\n"
      "  a\n"
      "  alias: b\n"
      "  ...F\n"
      "}\n"
      "fragment F on T {\n"
      "    c { d }\n"
      "}\n");
  ASSERT_TRUE(lowering.ok()) << lowering.plan();
  const auto& fields = lowering.fields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].line, 2u);
  EXPECT_EQ(fields[0].column, 3u);
  EXPECT_EQ(fields[1].line, 3u);
  EXPECT_EQ(fields[1].column, 3u);
  EXPECT_EQ(fields[2].line, 7u);
  EXPECT_EQ(fields[2].column, 5u);
  EXPECT_EQ(fields[2].selections[0].line, 7u);
  EXPECT_EQ(fields[2].selections[0].column, 9u);
}

TEST(LoweringTest, SkipAndIncludeOnEveryKindOfSelection) {
  const Json vars{{"yes", true}, {"no", false}};
  EXPECT_EQ(plan_of("{ a @skip(if: true) b @include(if: $no) c @include(if: $yes) { d @skip(if: $yes) e } }", vars),
            "c{e}");
  EXPECT_EQ(plan_of("{ ... @skip(if: $yes) { a } ... @include(if: true) { b } }", vars), "b");
  EXPECT_EQ(plan_of("{ ...F @include(if: $no) ...G } fragment F on T { a } fragment G on T { b }", vars), "[T]b");
  // A definition's own @skip/@include applies wherever it is spread.
  EXPECT_EQ(plan_of("{ a ...F } fragment F on T @include(if: false) { b }"), "a");
  // A pruned spread is never looked up.
  EXPECT_EQ(plan_of("{ a ...Missing @skip(if: true) }"), "a");
}

TEST(LoweringTest, Fragments) {
  EXPECT_EQ(plan_of("{ ...F ...F } fragment F on T { a }"), "[T]a [T]a");
  EXPECT_EQ(plan_of("{ ...F } fragment F on T { a ...G } fragment G on U { b }"), "[T]a [U]b");
  expect_error(lower("{ ...Missing }"), "undefined fragment 'Missing'");
  expect_error(lower("{ a ...F } fragment F on User { friends { ...F } }"), "Fragment cycle detected involving 'F'",
               ErrorCode::INVALID_FRAGMENT_TARGET);
  expect_error(lower("{ ...F } fragment F on T { ...G } fragment G on T { a ...F }"),
               "Fragment cycle detected involving 'F'", ErrorCode::INVALID_FRAGMENT_TARGET);
  // A spread that closes a cycle but is pruned is no cycle.
  EXPECT_EQ(plan_of("{ ...F } fragment F on T { a ...F @skip(if: true) }"), "[T]a");
  // A fragment defined but never spread is not lowered.
  EXPECT_EQ(plan_of("{ a } fragment F on T { ...F }"), "a");
}

TEST(LoweringTest, SelectionSetLowersAgainstAFragmentPath) {
  auto document = testing::parse(
      "{ ...G ...F } fragment F on T @include(if: 1) { a } fragment G on T @skip(if: true) { b }"
      " fragment H on T { c }");
  ASSERT_TRUE(document);
  const SelectionSet& top = document->operations()[0].selection_set;
  JsonVariables none(Json::object());

  // Definition @skip/@include are read before the cycle check: G is pruned, F fails.
  std::vector<std::string_view> path{"F", "G"};
  auto result = lower_selection_set(top, *document, none, "Outer", path);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, "@include(if: ...) argument must be a boolean or a variable");
  EXPECT_EQ(path, (std::vector<std::string_view>{"F", "G"}));

  const SelectionSet& h = document->fragments()[2].selection_set;
  std::vector<std::string_view> empty;
  auto plain = lower_selection_set(h, *document, none, "Outer", empty);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(dump(*plain), "[Outer]c");

  // A spread of a fragment already on the path closes a cycle.
  auto spread_h = testing::parse("{ ...H } fragment H on T { c }");
  ASSERT_TRUE(spread_h);
  std::vector<std::string_view> on_path{"H"};
  auto cycle = lower_selection_set(spread_h->operations()[0].selection_set, *spread_h, none, std::nullopt, on_path);
  ASSERT_FALSE(cycle.ok());
  EXPECT_EQ(cycle.error().message, "Fragment cycle detected involving 'H'");
  EXPECT_EQ(on_path, std::vector<std::string_view>{"H"});
}

TEST(LoweringTest, DeferExclusivity) {
  EXPECT_EQ(plan_of("{ a ... @defer { a } }"), "a a");
  EXPECT_EQ(plan_of(R"({ ... @defer(label: "x") { a } ... @defer(label: "y") { b } })"), "a^(x) b^(y)");
  EXPECT_EQ(plan_of(R"({ ... @defer { ... @defer(label: "inner") { a } } })"), "a^");
  EXPECT_EQ(plan_of(R"({ ... @defer(label: "o") { a ... @defer(label: "i") { a } } })"), "a a");
  EXPECT_EQ(plan_of("{ ... @defer { b: a a } }"), "b:a^ a^");
  EXPECT_EQ(plan_of("{ ... @defer { a a } }"), "a a");
  // A non-deferred fragment keeps the markers its contents received deeper down.
  EXPECT_EQ(plan_of(R"({ b ... { ... @defer(label: "in") { a } } })"), "b a^(in)");
  // Nested fragments contribute to the deferring fragment; selections inside a
  // deferred field are not marked.
  EXPECT_EQ(plan_of("{ ... @defer { ... on User { a { b } } } }"), "[User]a^{b}");
  // Spreads defer too, counted among direct fields of the same level.
  EXPECT_EQ(plan_of(R"({ ...F @defer(label: "f") } fragment F on T { a b })"), "[T]a^(f) [T]b^(f)");
  EXPECT_EQ(plan_of("{ b ...F @defer } fragment F on T { a b }"), "b [T]a^ [T]b");
  // The definition's directives are not consulted for @defer.
  EXPECT_EQ(plan_of("{ ...F } fragment F on T @defer { a }"), "[T]a");
  // Exclusivity is per level: the same key inside a field's sub-selection does not count.
  EXPECT_EQ(plan_of("{ a { ... @defer { a } } }"), "a{a^}");
  EXPECT_EQ(plan_of(R"({ ... @defer(if: false, label: "x") { a } ... @defer(label: "") { b } })"), "a b^()");
}

TEST(LoweringTest, StreamOnFields) {
  const Json vars{{"n", 5}, {"off", false}};
  EXPECT_EQ(plan_of(R"({ a @stream b @stream(initialCount: $n, label: "s") c @stream(if: $off) d { e @stream } })", vars),
            "a~(0) b~(5,s) c d{e~(0)}");
}

TEST(LoweringTest, FirstFailingSelectionInDocumentOrderDecides) {
  expect_error(lower("{ a { ...Missing1 } b @skip(if: 1) ...Missing2 }"), "undefined fragment 'Missing1'");
  expect_error(lower("{ ... { c @include } ...Missing }"), "@include requires an 'if' argument");
  expect_error(lower("{ ...F ...Missing } fragment F on T { a @skip(if: $x) }"),
               "@skip(if: $x) references undefined variable '$x'");
}

TEST(LoweringTest, ErrorOrderWithinAField) {
  // @skip/@include, then the sub-selection, then @stream.
  expect_error(lower("{ a @stream(initialCount: 1.5) @skip(if: 1) { ...Missing } }"),
               "@skip(if: ...) argument must be a boolean or a variable");
  expect_error(lower("{ a @stream(initialCount: 1.5) { ...Missing } }"), "undefined fragment 'Missing'");
  expect_error(lower("{ a @stream(initialCount: 1.5) { b } }"),
               "@stream(initialCount: ...) argument must be an integer or a variable");
  // A pruned field is not examined further.
  EXPECT_EQ(plan_of("{ a @skip(if: true) @stream(initialCount: 1.5) { ...Missing } b }"), "b");
}

TEST(LoweringTest, ErrorOrderWithinASpread) {
  // Spread @skip/@include, undefined fragment, definition @skip/@include, cycle, @defer, contents.
  expect_error(lower("{ ...Missing @skip(if: 1) }"), "@skip(if: ...) argument must be a boolean or a variable");
  expect_error(lower("{ ...Missing @defer(label: 1) }"), "undefined fragment 'Missing'");
  expect_error(lower("{ ...F @defer(label: 1) } fragment F on T @include(if: $x) { a }"),
               "@include(if: $x) references undefined variable '$x'");
  expect_error(lower("{ ...F } fragment F on T { ...F @defer(label: 1) }"), "Fragment cycle detected involving 'F'",
               ErrorCode::INVALID_FRAGMENT_TARGET);
  expect_error(lower("{ ...F @defer(label: $l) } fragment F on T { ...Missing }"),
               "@defer(label: ...) must be a static string, not a variable");
  expect_error(lower("{ ...F @defer(label: \"l\") } fragment F on T { ...Missing }"), "undefined fragment 'Missing'");
}

TEST(LoweringTest, ErrorOrderWithinAnInlineFragment) {
  expect_error(lower("{ ... @defer(label: 1) @include(if: null) { ...Missing } }"),
               "@include(if: ...) argument must be a boolean or a variable");
  expect_error(lower("{ ... @defer(label: 1) { ...Missing } }"),
               "@defer(label: ...) must be a static string, not a variable");
  expect_error(lower("{ ... @defer { ...Missing } }"), "undefined fragment 'Missing'");
}

// A fragment spread twice at each of `levels` levels, ending in `leaf`.
std::string doubling_query(int levels, const std::string& leaf) {
  std::string text = "{ ...F0 }";
  for (int i = 0; i < levels; ++i) {
    text += " fragment F" + std::to_string(i) + " on T { ...F" + std::to_string(i + 1) + " ...F" +
            std::to_string(i + 1) + " }";
  }
  return text + " fragment F" + std::to_string(levels) + " on T { " + leaf + " }";
}

// `length` fragments, each spreading the next (with `directives`); the last selects `leaf`.
std::string chain_query(int length, const std::string& directives = "", const std::string& leaf = "a") {
  std::string text = "{ ...F1 " + directives + " }";
  for (int i = 1; i < length; ++i) {
    text += " fragment F" + std::to_string(i) + " on T { ...F" + std::to_string(i + 1) + " " + directives + " }";
  }
  return text + " fragment F" + std::to_string(length) + " on T { " + leaf + " }";
}

TEST(LoweringLimitsTest, ExponentialPlanStopsAtTheFieldLimit) {
  expect_error(lower(doubling_query(30, "a")), "lowering would produce more than 100000 field plans");
  expect_error(lower(doubling_query(30, "a { b c }")), "lowering would produce more than 100000 field plans");
}

TEST(LoweringLimitsTest, FieldLimitIsInclusive) {
  std::string fragment = "fragment F on T {";
  for (int i = 0; i < 1000; ++i) fragment += " a";
  std::string spreads;
  for (int i = 0; i < 100; ++i) spreads += " ...F";
  auto at_limit = lower("{" + spreads + " } " + fragment + " }");
  ASSERT_TRUE(at_limit.ok()) << at_limit.plan();
  EXPECT_EQ(at_limit.fields().size(), kMaxLoweredFields);
  expect_error(lower("{" + spreads + " b } " + fragment + " }"), "lowering would produce more than 100000 field plans");
}

TEST(LoweringLimitsTest, WorkIsBoundedWhenEverythingIsPruned) {
  expect_error(lower(doubling_query(30, "a @skip(if: true)")), "lowering would visit more than 1000000 selections");
  expect_error(lower(doubling_query(30, "a @include(if: $off)"), Json{{"off", false}}),
               "lowering would visit more than 1000000 selections");
  // Settling @defer re-examines every entry of its level, at every level.
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += " a" + std::to_string(i);
  auto settled = lower(chain_query(500, "@defer", thousand));
  ASSERT_TRUE(settled.ok()) << settled.plan();
  EXPECT_EQ(settled.fields().size(), 1000u);
  EXPECT_TRUE(settled.fields()[0].defer.has_value());
  expect_error(lower(chain_query(500, "@defer", thousand + thousand + thousand)),
               "lowering would visit more than 1000000 selections");
}

TEST(LoweringLimitsTest, DepthIsBounded) {
  auto deepest = lower(chain_query(511));
  ASSERT_TRUE(deepest.ok()) << deepest.plan();
  EXPECT_EQ(dump(deepest.fields()), "[T]a");
  const std::string message = "lowering would nest selection sets and fragments more than 512 levels deep";
  expect_error(lower(chain_query(512)), message);
  expect_error(lower(chain_query(100000)), message);
}

}  // namespace
}  // namespace quenfel
