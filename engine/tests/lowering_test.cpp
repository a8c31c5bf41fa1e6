#include "engine/lowering.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "engine/parser.h"
#include "engine/tests/fragment_queries.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

// "(a,b)": the names of the arguments, in order; nothing when there are none.
std::string dump(List<LoweredArgument> arguments) {
  std::string out;
  for (const LoweredArgument& argument : arguments) out.append(out.empty() ? "(" : ",").append(argument.name);
  return out.empty() ? out : out + ")";
}

// Plan notation: [T] type condition, key:name for an alias, (a,b) argument names, @d(a) kept directives, ^ deferred
// (^(label) with a label), ~(count) or ~(count,label) streamed, {...} selections. An error reads "error: " and the
// error in brief (lowering's errors have no positions).
std::string dump(const std::vector<LoweredField>& fields) {
  std::string out;
  for (const LoweredField& field : fields) {
    if (!out.empty()) out += ' ';
    if (field.type_condition) out.append("[").append(*field.type_condition).append("]");
    out += field.response_key;
    if (field.field_name != field.response_key) out.append(":").append(field.field_name);
    out += dump(field.arguments);
    for (const LoweredDirective& d : field.directives) out += "@" + std::string(d.name) + dump(d.arguments);
    if (field.defer) out += field.defer->label ? "^(" + std::string(*field.defer->label) + ")" : "^";
    if (field.stream) {
      out.append("~(").append(std::to_string(field.stream->initial_count));
      if (field.stream->label) out.append(",").append(*field.stream->label);
      out += ')';
    }
    if (!field.selections.empty()) out.append("{").append(dump(field.selections)).append("}");
  }
  return out;
}

std::string plan_of(std::string_view text, const Json& variables = Json::object(),
                    std::optional<std::string_view> operation_name = std::nullopt) {
  Result<DocumentPtr> document = parse_document(text);
  if (!document) return "parse failed: " + document.error().message;
  Result<LoweredOperation> lowered = lower_document(**document, JsonVariables(variables), operation_name);
  return lowered ? dump(lowered->fields) : "error: " + describe(lowered.error(), ErrorCode::GRAPHQL_VALIDATION_FAILED);
}

struct Case {
  std::string query, plan;
  Json variables = Json::object();
};

void expect_plans(std::initializer_list<Case> cases) {
  for (const Case& c : cases) EXPECT_EQ(plan_of(c.query, c.variables), c.plan) << c.query;
}

const Json kFlags{{"yes", true}, {"no", false}, {"l", "x"}, {"v", nullptr}};

TEST(LoweringTest, ShapeOfThePlan) {
  expect_plans({
      {"{ a b: a a c { d e: f } }", "a b:a a c{d e:f}"},
      {R"({ f(x: $v, y: [1, {z: "s"}], x: ENUM) g })", "f(x,y,x) g"},
      {R"({ f @custom(y: $w) @skip(if: false) @include(if: true) @defer(label: "x") @Skip @other })",
       "f@custom(y)@Skip@other"},
      {"query Q @skip(if: true) { ... @custom { a } ...F @custom } fragment F on T @custom { b }", "a [T]b"},
      {"{ a ... on User { b ... { x } ... on Admin { y } } ... on A { ...F } } fragment F on B { z }",
       "a [User]b [User]x [Admin]y [B]z"},
      // A sub-selection starts again without a type condition.
      {"{ ... on User { friends { name ... on Bot { id } } } }", "[User]friends{name [Bot]id}"},
      {"{ ...F ...F } fragment F on T { a ...G } fragment G on U { b }", "[T]a [U]b [T]a [U]b"},
      {"{ ...a ...A ...B } fragment A on T { a } fragment B on U { b } fragment a on V { c }", "[V]c [T]a [U]b"},
  });
}

TEST(LoweringTest, Directives) {
  const Json counts{{"u", 7u}, {"s", -7}, {"max", std::numeric_limits<std::int64_t>::max()},
                    {"big", std::uint64_t{1} << 63}, {"f", 3.0}, {"off", false}};
  const std::string not_integer = "error: @stream(initialCount: ...) argument must be an integer or a variable";
  const std::string must_be_integer = "used in @stream(initialCount: ...) must be an integer";
  expect_plans({
      {"{ a @skip(if: true) b @include(if: $no) c @include(if: $yes) { d @skip(if: $yes) e } }", "c{e}", kFlags},
      {"{ ... @skip(if: $yes) { a } ... @include(if: true) { b } ...F @include(if: $no) ...G }"
       " fragment F on T { a } fragment G on T { c }", "b [T]c", kFlags},
      {"{ a ...F } fragment F on T @include(if: false) { b }", "a"},    // wherever it is spread
      {"{ a ...Missing @skip(if: true) }", "a"},                        // never looked up
      {"{ ...F } fragment F on T { a ...F @skip(if: true) }", "[T]a"},  // no cycle
      {"{ f @include(if: true) @skip(if: true) g @include(if: true) @include(if: false) }", ""},
      // The first `if` only, names case-sensitive.
      {"{ f @skip(other: 1, If: false, if: true, if: false) g @Skip(if: true) }", "g@Skip(if)"},
      {"{ f @skip(if: true) @include(if: $missing) }", ""},            // stops at the first prune
      {"{ f @include(if: $missing) @skip(if: true) }",
       "error: @include(if: $missing) references undefined variable '$missing'"},
      {"{ f @skip(when: true) }", "error: @skip requires an 'if' argument"},
      {"{ f @include(if: $v) }", "error: variable '$v' used in @include(if: ...) must be a boolean", kFlags},
      {"{ f @skip(if: \"true\") }", "error: @skip(if: ...) argument must be a boolean or a variable"},
      // Declared defaults are not applied, and anything but an object supplies nothing.
      {"query($flag: Boolean = false) { a @skip(if: $flag) }",
       "error: @skip(if: $flag) references undefined variable '$flag'"},
      {"{ f @skip(if: $yes) }", "error: @skip(if: $yes) references undefined variable '$yes'", Json::array({true})},
      {R"({ ... @defer { f } ... @defer(if: true, label: "x") { g } ... @defer(label: "") { h } })", "f^ g^(x) h^()"},
      {"{ ... @defer(if: $no, label: $l) { f } }", "f", kFlags},
      // The first only.
      {R"({ ... @defer(label: "a") @defer(label: 5) { f } ... @defer(if: false) @defer(label: "b") { g } })",
       "f^(a) g"},
      {"{ ... @defer(label: $l) { f } }", "error: @defer(label: ...) must be a static string, not a variable", kFlags},
      {"{ ... @defer(if: $missing, label: 5) { f } }",
       "error: @defer(if: $missing) references undefined variable '$missing'"},
      // A key deferred at a level keeps its marker only when it is unique there.
      {"{ a ... @defer { a } }", "a a"}, {"{ ... @defer { b: a a } }", "b:a^ a^"},
      {R"({ ... @defer { ... @defer(label: "inner") { a } } })", "a^"},
      {R"({ ... @defer(label: "o") { a ... @defer(label: "i") { a } } })", "a a"},
      {R"({ b ... { ... @defer(label: "in") { a } } })", "b a^(in)"},
      {R"({ ...F @defer(label: "f") } fragment F on T { a b })", "[T]a^(f) [T]b^(f)"},
      {"{ b ...F @defer } fragment F on T { a b }", "b [T]a^ [T]b"},
      {"{ ...F } fragment F on T @defer { a }", "[T]a"},  // the definition's own is not read
      {"{ a { ... @defer { a } } }", "a{a^}"},
      {"{ a @stream b @stream(initialCount: 5, label: \"s\") c @stream(if: $off) d { e @stream } }",
       "a~(0) b~(5,s) c d{e~(0)}", counts},
      {"{ f @stream(initialCount: -9223372036854775808) }", "f~(-9223372036854775808)"},
      {"{ f @stream(if: false, initialCount: \"x\", label: 1) }", "f"},
      {"{ f @stream(initialCount: 1) @stream(initialCount: 1.5) }", "f~(1)"},
      {"{ f @stream(initialCount: $u) g @stream(initialCount: $s) h @stream(initialCount: $max) }",
       "f~(7) g~(-7) h~(9223372036854775807)", counts},
      {"{ f @stream(initialCount: $big) }", "error: variable '$big' " + must_be_integer, counts},
      {"{ f @stream(initialCount: $f) }", "error: variable '$f' " + must_be_integer, counts},
      {"{ f @stream(initialCount: $n) }", "error: @stream(initialCount: $n) references undefined variable '$n'"},
      {"{ f @stream(initialCount: 9223372036854775808) }", not_integer},
      {"{ f @stream(initialCount: 3.0) }", not_integer},
      {"{ f @stream(label: 1, initialCount: 1.5) }", not_integer},
      {"{ f @stream(label: $l) }", "error: @stream(label: ...) must be a static string, not a variable", kFlags},
  });
}

TEST(LoweringTest, FirstErrorInDocumentOrderDecides) {
  const char* const kBadSkip = "error: @skip(if: ...) argument must be a boolean or a variable";
  const char* const kCycle = "error: INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F'";
  const char* const kMissing = "error: undefined fragment 'Missing'";
  expect_plans({
      {"{ ...Missing }", kMissing},
      {"{ a ...F } fragment F on User { friends { ...F } }", kCycle},
      {"{ a { ...Missing1 } b @skip(if: 1) ...Missing2 }", "error: undefined fragment 'Missing1'"},
      {"{ ... { c @include } ...Missing }", "error: @include requires an 'if' argument"},
      // Within a field: @skip/@include, then the sub-selection, then @stream.
      {"{ a @stream(initialCount: 1.5) @skip(if: 1) { ...Missing } }", kBadSkip},
      {"{ a @stream(initialCount: 1.5) { ...Missing } }", kMissing},
      {"{ a @skip(if: true) @stream(initialCount: 1.5) { ...Missing } b }", "b"},
      // Within a spread: its @skip/@include, the lookup, the definition's, the cycle, @defer, the contents.
      {"{ ...Missing @skip(if: 1) }", kBadSkip},
      {"{ ...Missing @defer(label: 1) }", kMissing},
      {"{ ...F @defer(label: 1) } fragment F on T @include(if: $x) { a }",
       "error: @include(if: $x) references undefined variable '$x'"},
      {"{ ...F } fragment F on T { ...F @defer(label: 1) }", kCycle},
      {"{ ...F @defer(label: $l) } fragment F on T { ...Missing }",
       "error: @defer(label: ...) must be a static string, not a variable"},
      {"{ ...F @defer(label: \"l\") } fragment F on T { ...Missing }", kMissing},
      // Within an inline fragment: @skip/@include, @defer, the contents.
      {"{ ... @defer(label: 1) @include(if: null) { ...Missing } }",
       "error: @include(if: ...) argument must be a boolean or a variable"},
  });
}

TEST(LoweringTest, OperationChoiceArgumentsAndPositions) {
  EXPECT_EQ(plan_of("query A { a } mutation B { b }", Json::object(), "B"), "b");
  EXPECT_EQ(plan_of("{ a }", Json::object(), ""), "error: no operation named ''");  // an anonymous one has none
  EXPECT_EQ(plan_of("query A { a } query B { b }"),
            "error: document contains multiple operations; operation_name is required");
  DocumentPtr document =
      *parse_document("subscription {\n  a\n  alias: b(x: $v)\n  ...F\n}\nfragment F on T {\n    c { d }\n}");
  Result<LoweredOperation> lowered = lower_document(*document, JsonVariables(Json::object()), std::nullopt);
  ASSERT_TRUE(lowered.ok());
  EXPECT_EQ(lowered->operation_type, OperationType::Subscription);
  const auto& fields = lowered->fields;
  // Arguments are the document's own nodes; positions are the fields' own, inside fragments too.
  EXPECT_EQ(fields[1].arguments.first(), document->operations().front().selection_set.items.front().next->arguments().first());
  const std::pair<const LoweredField*, Pos> positions[] = {
      {&fields[0], {2, 3}}, {&fields[1], {3, 3}}, {&fields[2], {7, 5}}, {&fields[2].selections[0], {7, 9}}};
  for (const auto& [field, pos] : positions) EXPECT_EQ((Pos{field->line, field->column}), pos) << field->field_name;
}

TEST(LoweringLimitsTest, FieldsVisitsAndDepthAreBounded) {
  const std::string fields = "error: lowering would produce more than 100000 field plans";
  const std::string visits = "error: lowering would visit more than 1000000 selections";
  EXPECT_EQ(plan_of(doubling_fragments(30, "a")), fields);
  EXPECT_EQ(plan_of(doubling_fragments(30, "a { b c }")), fields);
  EXPECT_EQ(plan_of(doubling_fragments(30, "a @skip(if: true)")), visits);
  EXPECT_EQ(plan_of(doubling_fragments(30, "a @include(if: $off)"), Json{{"off", false}}), visits);

  std::string thousand, spreads;
  for (int i = 0; i < 1000; ++i) thousand += " a" + std::to_string(i);
  for (int i = 0; i < 100; ++i) spreads += " ...F";
  std::string fragment = " } fragment F on T {" + thousand + " }";
  Result<DocumentPtr> at_limit = parse_document("{" + spreads + fragment);
  EXPECT_EQ(lower_document(**at_limit, JsonVariables(Json::object()), std::nullopt)->fields.size(), kMaxLoweredFields);
  EXPECT_EQ(plan_of("{" + spreads + " b" + fragment), fields);

  // Settling @defer re-examines every entry of its level, at every level.
  EXPECT_EQ(plan_of(fragment_chain(500, thousand, "", "T", "@defer")).substr(0, 12), "[T]a0^ [T]a1");
  EXPECT_EQ(plan_of(fragment_chain(500, thousand + thousand + thousand, "", "T", "@defer")), visits);

  EXPECT_EQ(plan_of(fragment_chain(511, "a")), "[T]a");
  const std::string depth = "error: lowering would nest selection sets and fragments more than 512 levels deep";
  EXPECT_EQ(plan_of(fragment_chain(512, "a")), depth);
  EXPECT_EQ(plan_of(fragment_chain(100000, "a")), depth);
}

}  // namespace
}  // namespace quenfel
