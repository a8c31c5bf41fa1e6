#include "engine/validation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/parser.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {

void PrintTo(const Location& location, std::ostream* out) { *out << location.line << ":" << location.column; }

namespace {

using namespace quenfel::testing;
using Loc = OperationDirectiveLocation;

// Query { ... } with pets, a union, a union shadowed by a type, an interface
// without implementors, an enum, an input object, a custom scalar and a few
// schema directives.
std::unique_ptr<CompiledSchema> make_schema(bool auto_camel_case = true) {
  return SchemaBuilder()
      .auto_camel_case(auto_camel_case)
      .subscription("Subscription")
      .add(object("Query",
                  {
                      field("dog", "Dog"),
                      field("pet", "Pet"),
                      field("lonely", "Lonely"),
                      field("catOrDog", "CatOrDog"),
                      field("shadow", "Shadow"),
                      field("mystery", "Mystery"),
                      field("filter", "Filter"),
                      field("color", "Color"),
                      field("when", "DateTime"),
                      field("name", "String"),
                      field("human", "Human", {arg("id", "ID!")}),
                      field("args", "Int",
                            {arg("i", "Int"), arg("f", "Float"), arg("s", "String"), arg("id", "ID"),
                             arg("b", "Boolean"), arg("ints", "[Int]"), arg("strictInts", "[Int!]"),
                             arg("nested", "[[Int]]"), arg("color", "Color"), arg("filter", "Filter"),
                             arg("when", "DateTime"), arg("dog", "Dog"), arg("mystery", "Mystery")}),
                      field("required", "Int",
                            {arg("a", "Int!"), arg("b", "Int!", true), arg("c", "Int"), arg("max_count", "Int!")}),
                      field("first_name", "String"),
                      renamed(field("python_name", "String"), "renamed"),
                      field("a_b", "String"),
                      field("aB", "Dog"),
                  }))
      .add(interface("Pet", {field("name", "String")}))
      .add(interface("Lonely", {field("id", "ID")}))
      .add(object("Dog",
                  {field("name", "String", {arg("surname", "Boolean")}), field("nonNullName", "String!"),
                   field("barks", "Boolean"), field("owner", "Human"), field("nicknames", "[String]"),
                   field("tricks", "[String!]!")},
                  {"Pet"}))
      .add(object("Cat", {field("name", "String"), field("meows", "Boolean")}, {"Pet"}))
      .add(object("Human", {field("name", "String"), field("pets", "[Pet]")}))
      .add(object("Shadow", {field("x", "Int")}))
      .add_union("Shadow", {"Cat"})
      .add_union("CatOrDog", {"Cat", "Dog"})
      .add(enumeration("Color", {"RED", "GREEN", "dark_blue=DARK_BLUE", "light_green"}))
      .add(input("Filter", {field("name", "String"), field("min", "Int!"), with_default(field("limit", "Int!"), "10"),
                            field("inner", "Filter"), field("tags", "[String]"), field("max_len", "Int")}))
      .add(object("Subscription", {field("newDog", "Dog"), field("count", "Int")}))
      .add_scalar("DateTime")
      .add_directive("auth", {Loc::FIELD}, {arg("role", "String!")})
      .add_directive("mark", {Loc::FRAGMENT_SPREAD, Loc::INLINE_FRAGMENT}, {arg("min_level", "Int")})
      .add_directive("defer", {Loc::FIELD})  // shadowed by the built-in
      .build();
}

const CompiledSchema& schema() {
  static const std::unique_ptr<CompiledSchema> instance = make_schema();
  return *instance;
}

Status validate(std::string_view text, const CompiledSchema& against = schema(),
                std::optional<std::string_view> operation_name = std::nullopt) {
  Result<DocumentPtr> document = parse_document(text);
  if (!document.ok()) return make_error("test query does not parse: " + document.error().message, ErrorCode::GRAPHQL_PARSE_FAILED);
  return validate_query(**document, against, operation_name);
}

// Line and column of the nth occurrence of `needle` (ASCII text).
Location at(std::string_view text, std::string_view needle, int nth = 0) {
  std::size_t offset = text.find(needle);
  while (nth-- > 0 && offset != std::string_view::npos) offset = text.find(needle, offset + 1);
  if (offset == std::string_view::npos) {
    ADD_FAILURE() << "no '" << needle << "' in the query";
    return {};
  }
  std::size_t line_start = text.rfind('\n', offset);
  line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
  std::size_t line = 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
  return {line, offset - line_start + 1};
}

Location after(Location location, std::size_t columns) { return {location.line, location.column + columns}; }

void expect_valid(std::string_view text, const CompiledSchema& against = schema()) {
  Status error = validate(text, against);
  EXPECT_EQ(error, nullptr) << text << "\n  fails with: " << error->message;
}

void expect_error(std::string_view text, std::string_view message, ErrorCode code, std::optional<Location> location,
                  const CompiledSchema& against = schema(), std::optional<std::string_view> operation_name = std::nullopt) {
  Status error = validate(text, against, operation_name);
  ASSERT_NE(error, nullptr) << text << "\n  passes, expected: " << message;
  EXPECT_EQ(error->message, message) << text;
  EXPECT_EQ(error_code_name(error->code()), error_code_name(code)) << text;
  if (location) {
    EXPECT_EQ(error->locations, std::vector<Location>{*location}) << text;
  } else {
    EXPECT_FALSE(error->locations.has_value()) << text;
  }
}

// --- the operation ---

TEST(OperationRulesTest, OperationChoiceErrorsPassThroughWithoutLocation) {
  expect_error("query A { name } query B { name }", "document contains multiple operations; operation_name is required",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt);
  expect_error("{ name }", "no operation named 'A'", ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt, schema(), "A");
  expect_error("query A { name }", "no operation named ''", ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt,
               schema(), "");
}

TEST(OperationRulesTest, OnlyTheSelectedOperationAndWhatItReachesAreExamined) {
  const char* text =
      "query A { name ...Used }\n"
      "query B { nope }\n"
      "fragment Used on Query { dog { name } }\n"
      "fragment Unused on Nowhere { nothing }\n";
  Result<DocumentPtr> document = parse_document(text);
  ASSERT_TRUE(document.ok()) << document.error().message;
  EXPECT_EQ(validate_query(**document, schema(), "A"), nullptr);
  Status error = validate_query(**document, schema(), "B");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->message, "field 'nope' does not exist on type 'Query'");
}

TEST(OperationRulesTest, MissingRootTypesFailBeforeAnythingElse) {
  expect_error("mutation($a: Int, $a: Int) { nope }", "document contains a mutation, but the schema has no mutation type",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt);
  auto no_subscription = SchemaBuilder().add(object("Query", {field("a", "Int")})).build();
  expect_error("subscription { a b }", "document contains a subscription, but the schema has no subscription type",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt, *no_subscription);
  auto unregistered = SchemaBuilder("Root").mutation("Change").add(object("Query", {field("a", "Int")})).build();
  expect_error("{ a }", "schema's root type 'Root' is not registered", ErrorCode::GRAPHQL_VALIDATION_FAILED,
               std::nullopt, *unregistered);
  expect_error("mutation { a }", "schema's root type 'Change' is not registered",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, std::nullopt, *unregistered);
}

TEST(OperationRulesTest, VariableDeclaredTwiceFailsAtTheSecond) {
  const char* text = "query($a: Int, $b: Int, $a: String) { nope }";
  expect_error(text, "variable '$a' is declared more than once", ErrorCode::GRAPHQL_VALIDATION_FAILED,
               at(text, "$a", 1));
  std::string many = "query(";
  for (int i = 0; i < 40; ++i) many += "$v" + std::to_string(i) + ": Int ";
  many += "$v39: Int) { name }";
  expect_error(many, "variable '$v39' is declared more than once", ErrorCode::GRAPHQL_VALIDATION_FAILED,
               at(many, "$v39", 1));
}

// --- the subscription root field count ---

TEST(SubscriptionRuleTest, CountsDistinctResponseKeys) {
  const char* two = "subscription {\n  newDog { name }\n  count\n}";
  expect_error(two, "a subscription operation must have exactly one root field, but this one selects 2",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, at(two, "{"));
  expect_error("subscription { __typename count }",
               "a subscription operation must have exactly one root field, but this one selects 2",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, Location{1, 14});
  expect_error("subscription { a: count b: count }",
               "a subscription operation must have exactly one root field, but this one selects 2",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, Location{1, 14});
  expect_error("subscription { ... on Subscription { count } newDog { name } }",
               "a subscription operation must have exactly one root field, but this one selects 2",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, Location{1, 14});
  expect_valid("subscription { count count }");
  expect_valid("subscription { count ...F } fragment F on Subscription { count }");
  expect_valid("subscription { ...F ...F } fragment F on Subscription { ... { count } }");
}

TEST(SubscriptionRuleTest, GivesUpOnSkipIncludeCyclesAndUndefinedFragments) {
  expect_valid("subscription { count newDog @include(if: true) { name } }");
  const char* skipped = "subscription { count @skip(if: false) nope }";
  expect_error(skipped, "field 'nope' does not exist on type 'Subscription'", ErrorCode::UNKNOWN_FIELD,
               at(skipped, "nope"));
  const char* cycle = "subscription { count ...F } fragment F on Subscription { newDog { name } ...F }";
  expect_error(cycle, "Fragment cycle detected involving 'F'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(cycle, "...F", 1));
  const char* undefined = "subscription { count newDog { name } ...Nope }";
  expect_error(undefined, "undefined fragment 'Nope'", ErrorCode::INVALID_FRAGMENT_TARGET, at(undefined, "...Nope"));
}

// --- fields ---

TEST(FieldRulesTest, UnknownFieldsAndTypename) {
  const char* text = "{\n  dog {\n    name\n    nope\n  }\n}";
  expect_error(text, "field 'nope' does not exist on type 'Dog'", ErrorCode::UNKNOWN_FIELD, Location{4, 5});
  expect_error("{ alias: nope }", "field 'nope' does not exist on type 'Query'", ErrorCode::UNKNOWN_FIELD,
               Location{1, 3});
  expect_valid("{ __typename dog { __typename } }");
  expect_valid("{ __typename(x: 1, x: 2) { whatever(y: $undefined) } }");
}

TEST(FieldRulesTest, DirectivesAreCheckedFirst) {
  const char* text = "{ nope @unknown }";
  expect_error(text, "unknown directive '@unknown'", ErrorCode::INVALID_DIRECTIVE_LOCATION, at(text, "@unknown"));
  const char* typename_text = "{ __typename @defer }";
  expect_error(typename_text, "directive '@defer' is not allowed at this location (FIELD)",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(typename_text, "@defer"));
}

TEST(FieldRulesTest, ExposedNames) {
  expect_valid("{ firstName renamed a_b: aB }");
  expect_error("{ first_name }", "field 'first_name' does not exist on type 'Query'", ErrorCode::UNKNOWN_FIELD,
               Location{1, 3});
  expect_error("{ python_name }", "field 'python_name' does not exist on type 'Query'", ErrorCode::UNKNOWN_FIELD,
               Location{1, 3});
  // a_b and aB both expose "aB": the first stored (a_b: String) is the one selected.
  const char* text = "{ aB { name } }";
  expect_error(text, "field 'aB' is of leaf type 'String' and cannot have a selection set", ErrorCode::UNKNOWN_FIELD,
               at(text, "{", 1));

  auto stored = make_schema(false);
  expect_valid("{ first_name python_name: renamed aB { name } }", *stored);
  expect_error("{ firstName }", "field 'firstName' does not exist on type 'Query'", ErrorCode::UNKNOWN_FIELD,
               Location{1, 3}, *stored);
  expect_valid("{ required(a: 1, max_count: 2) }", *stored);
}

TEST(FieldRulesTest, LeafTypesTakeNoSelectionSet) {
  const char* cases[][2] = {
      {"{ name { x } }", "field 'name' is of leaf type 'String' and cannot have a selection set"},
      {"{ color { x } }", "field 'color' is of leaf type 'Color' and cannot have a selection set"},
      {"{ when { x } }", "field 'when' is of leaf type 'DateTime' and cannot have a selection set"},
      {"{ dog { tricks { x } } }", "field 'tricks' is of leaf type 'String' and cannot have a selection set"},
  };
  for (const auto& [text, message] : cases) {
    std::string_view query = text;
    expect_error(query, message, ErrorCode::UNKNOWN_FIELD, at(query, "{ x }"));
  }
  expect_valid("{ name color when dog { tricks } }");
}

TEST(FieldRulesTest, CompositeTypesNeedASelectionSet) {
  const char* cases[][2] = {
      {"{ dog }", "field 'dog' is of composite type 'Dog' and must have a selection set"},
      {"{ pet }", "field 'pet' is of composite type 'Pet' and must have a selection set"},
      {"{ catOrDog }", "field 'catOrDog' is of composite type 'CatOrDog' and must have a selection set"},
      {"{ shadow }", "field 'shadow' is of composite type 'Shadow' and must have a selection set"},
      {"{ filter }", "field 'filter' is of composite type 'Filter' and must have a selection set"},
      {"{ human(id: \"1\") { pets } }", "field 'pets' is of composite type 'Pet' and must have a selection set"},
  };
  for (const auto& [text, message] : cases) {
    std::string_view query = text;
    std::string_view name = std::string_view(message).substr(7);
    expect_error(query, message, ErrorCode::UNKNOWN_FIELD, at(query, name.substr(0, name.find('\''))));
  }
  expect_error("{ d: dog }", "field 'dog' is of composite type 'Dog' and must have a selection set",
               ErrorCode::UNKNOWN_FIELD, Location{1, 3});
}

TEST(FieldRulesTest, UnionsAndUnknownTypes) {
  // Nothing inside a union's selection set is checked unless a type of the same name gives it a parent.
  expect_valid("{ catOrDog { anything nope(x: 1) @whatever } }");
  expect_error("{ shadow { x nope } }", "field 'nope' does not exist on type 'Shadow'", ErrorCode::UNKNOWN_FIELD,
               Location{1, 14});
  expect_valid("{ mystery mystery2: mystery { a b { c } } }");
  expect_valid("{ filter { name min } }");
}

// A name can be a scalar, a union and a type at once: scalar wins over union,
// union over type.
TEST(FieldRulesTest, ScalarThenUnionThenTypeDecideTheKind) {
  auto overlapping = SchemaBuilder()
                         .add(object("Query", {field("both", "Both"), field("choice", "Choice")}))
                         .add_scalar("Both")
                         .add_union("Both", {"Query"})
                         .add(enumeration("Choice", {"A"}))
                         .add_union("Choice", {"Query"})
                         .build();
  expect_valid("{ both }", *overlapping);
  const char* leaf = "{ both { x } }";
  expect_error(leaf, "field 'both' is of leaf type 'Both' and cannot have a selection set", ErrorCode::UNKNOWN_FIELD,
               at(leaf, "{", 1), *overlapping);
  expect_error("{ choice }", "field 'choice' is of composite type 'Choice' and must have a selection set",
               ErrorCode::UNKNOWN_FIELD, Location{1, 3}, *overlapping);
  // The enum of the same name is the parent of the union's selections.
  const char* inside = "{ choice { x } }";
  expect_error(inside, "field 'x' does not exist on type 'Choice'", ErrorCode::UNKNOWN_FIELD, at(inside, "x"),
               *overlapping);
}

TEST(FieldRulesTest, StreamOnlyOnListFields) {
  const char* text = "{ dog { nonNullName @stream } }";
  expect_error(text, "directive '@stream' can only be applied to a list-typed field, but 'nonNullName' is 'String!'",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(text, "@stream"));
  const char* second = "{ dog { barks @auth(role: \"x\") @stream(if: false) @stream } }";
  expect_error(second, "directive '@stream' can only be applied to a list-typed field, but 'barks' is 'Boolean'",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(second, "@stream"));
  expect_valid("{ dog { tricks @stream(initialCount: 2, label: \"t\") nicknames @stream } }");
  // Arguments are checked before the placement.
  expect_error("{ dog { name(x: 1) @stream } }", "unknown argument 'x' on 'name'", ErrorCode::UNKNOWN_ARGUMENT,
               Location{1, 14});
}

// --- fragments ---

TEST(FragmentRulesTest, UndefinedFragments) {
  const char* text = "{ dog { ...Nope } }";
  expect_error(text, "undefined fragment 'Nope'", ErrorCode::INVALID_FRAGMENT_TARGET, at(text, "..."));
  const char* streamed = "{ dog { ...Nope @stream } }";
  expect_error(streamed, "directive '@stream' is not allowed at this location (FRAGMENT_SPREAD)",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(streamed, "@stream"));
}

TEST(FragmentRulesTest, Cycles) {
  const char* self = "{ dog { ...F } }\nfragment F on Dog { name ...F }";
  expect_error(self, "Fragment cycle detected involving 'F'", ErrorCode::INVALID_FRAGMENT_TARGET, at(self, "...F", 1));
  const char* through = "{ dog { ...A } }\nfragment A on Dog { ...B }\nfragment B on Dog { owner { name } ...A }";
  expect_error(through, "Fragment cycle detected involving 'A'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(through, "...A", 1));
  const char* via_inline = "{ dog { ...A } }\nfragment A on Dog { ... on Pet { ...A } }";
  expect_error(via_inline, "Fragment cycle detected involving 'A'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(via_inline, "...A", 1));
  expect_valid("{ dog { ...A ...A ... { ...A } } }\nfragment A on Dog { name ...B }\nfragment B on Dog { barks }");
  // B is walked first and remembered as fine; meeting it again inside A changes nothing.
  expect_valid("{ dog { ...B ...A } }\nfragment A on Dog { ...B }\nfragment B on Dog { name }");
  // A cycle below a fragment already walked elsewhere is still found.
  const char* later = "{ dog { ...B ...A } }\nfragment A on Dog { ...B ...C }\nfragment B on Dog { name }\n"
                      "fragment C on Dog { ...A }";
  expect_error(later, "Fragment cycle detected involving 'A'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(later, "...A", 1));
}

TEST(FragmentRulesTest, UnknownTargetTypes) {
  const char* text = "{ dog { ...F } }\nfragment F on Nope { name }";
  expect_error(text, "fragment 'F' targets unknown type 'Nope'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(text, "on Nope"));
  const char* on_union = "{ pet { ...F } }\nfragment F on CatOrDog { __typename }";
  expect_error(on_union, "fragment 'F' targets unknown type 'CatOrDog'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(on_union, "on CatOrDog"));
  const char* inline_text = "{ dog { ... on Nope { name } } }";
  expect_error(inline_text, "inline fragment targets unknown type 'Nope'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(inline_text, "on Nope"));
  const char* inline_union = "{ pet { ... on CatOrDog { name } } }";
  expect_error(inline_union, "inline fragment targets unknown type 'CatOrDog'", ErrorCode::INVALID_FRAGMENT_TARGET,
               at(inline_union, "on CatOrDog"));
}

TEST(FragmentRulesTest, FragmentsMustBeAbleToApply) {
  const char* inline_text = "{ dog { ... on Cat { meows } } }";
  expect_error(inline_text, "fragment on 'Cat' can never apply to 'Dog' -- they share no possible types",
               ErrorCode::INVALID_FRAGMENT_TARGET, at(inline_text, "on Cat"));
  const char* spread = "{ dog { ...C } }\nfragment C on Cat { meows }";
  expect_error(spread, "fragment on 'Cat' can never apply to 'Dog' -- they share no possible types",
               ErrorCode::INVALID_FRAGMENT_TARGET, at(spread, "...C"));
  const char* human = "{ human(id: \"1\") { ... on Pet { name } } }";
  expect_error(human, "fragment on 'Pet' can never apply to 'Human' -- they share no possible types",
               ErrorCode::INVALID_FRAGMENT_TARGET, at(human, "on Pet"));
  const char* shadow = "{ shadow { ... on Dog { name } } }";
  expect_error(shadow, "fragment on 'Dog' can never apply to 'Shadow' -- they share no possible types",
               ErrorCode::INVALID_FRAGMENT_TARGET, at(shadow, "on Dog"));

  expect_valid("{ pet { ... on Dog { barks } ...C ... on Pet { name } } }\nfragment C on Cat { meows }");
  expect_valid("{ dog { ... on Pet { name } } shadow { ... on Cat { meows } } }");
  // An interface nobody implements takes any existing type, and goes anywhere.
  expect_valid("{ lonely { ... on Dog { name } ... on Human { name } } dog { ... on Lonely { id } } }");
}

TEST(FragmentRulesTest, InlineFragmentsWithoutConditionKeepTheParent) {
  const char* text = "{ dog { ... { barks } ... @include(if: true) { nope } } }";
  expect_error(text, "field 'nope' does not exist on type 'Dog'", ErrorCode::UNKNOWN_FIELD, at(text, "nope"));
}

// --- directives ---

TEST(DirectiveRulesTest, SkipAndIncludeAreLeftToLowering) {
  expect_valid("{ name @skip(unknown: 1) dog @include { name } ... @skip { name } }");
}

TEST(DirectiveRulesTest, DeferAndStreamPlacement) {
  const char* defer_field = "{ name @defer }";
  expect_error(defer_field, "directive '@defer' is not allowed at this location (FIELD)",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(defer_field, "@defer"));
  const char* stream_inline = "{ dog { ... @stream { name } } }";
  expect_error(stream_inline, "directive '@stream' is not allowed at this location (INLINE_FRAGMENT)",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(stream_inline, "@stream"));
  expect_valid("{ dog { ... @defer(if: null, label: \"x\") { name } ...F @defer } }\nfragment F on Dog { barks }");
}

TEST(DirectiveRulesTest, DeferAndStreamArguments) {
  const char* bad_if = "{ dog { ... @defer(if: \"yes\") { name } } }";
  expect_error(bad_if, "argument 'if' on '@defer' expected a boolean, got a string",
               ErrorCode::ARGUMENT_TYPE_MISMATCH, at(bad_if, "\"yes\""));
  const char* unknown = "{ dog { tricks @stream(if: true, depth: 1) } }";
  expect_error(unknown, "unknown argument 'depth' on '@stream'", ErrorCode::UNKNOWN_ARGUMENT, at(unknown, "depth"));
  const char* fraction = "{ dog { tricks @stream(initialCount: 1.5) } }";
  expect_error(fraction, "argument 'initialCount' on '@stream' expected an integer, got a floating-point number",
               ErrorCode::ARGUMENT_TYPE_MISMATCH, at(fraction, "1.5"));
  const char* undefined = "{ dog { ...F @defer(if: $nope) } }\nfragment F on Dog { name }";
  expect_error(undefined, "argument 'if' on '@defer' references undefined variable '$nope'",
               ErrorCode::ARGUMENT_TYPE_MISMATCH, at(undefined, "$nope"));
  // Repeated arguments are not this check's concern; the arguments count as having a default.
  expect_valid("query($b: Boolean, $n: Int) { dog { tricks @stream(if: $b, if: true, initialCount: $n) } }");
  const char* mismatch = "query($s: String) { dog { tricks @stream(label: \"a\", if: $s) } }";
  expect_error(mismatch, "argument 'if' on '@stream' expects 'Boolean', but variable '$s' is declared as 'String'",
               ErrorCode::ARGUMENT_TYPE_MISMATCH, at(mismatch, "$s", 1));
}

TEST(DirectiveRulesTest, SchemaDirectives) {
  const char* unknown = "{ name @auth(role: \"a\") @nope @alsoNope }";
  expect_error(unknown, "unknown directive '@nope'", ErrorCode::INVALID_DIRECTIVE_LOCATION, at(unknown, "@nope"));
  const char* misplaced = "{ dog { ...F @auth(role: \"x\") } }\nfragment F on Dog { name }";
  expect_error(misplaced, "directive '@auth' is not allowed at this location (FRAGMENT_SPREAD)",
               ErrorCode::INVALID_DIRECTIVE_LOCATION, at(misplaced, "@auth"));
  const char* missing = "{ name @auth }";
  expect_error(missing, "missing required argument 'role' on 'auth'", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               at(missing, "@auth"));
  const char* wrong = "{ name @auth(role: 1) }";
  expect_error(wrong, "argument 'role' on 'auth' expected a string, got a number", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               at(wrong, "1"));
  const char* python_name = "{ dog { ... @mark(min_level: 1) { name } } }";
  expect_error(python_name, "unknown argument 'min_level' on 'mark'", ErrorCode::UNKNOWN_ARGUMENT,
               at(python_name, "min_level"));
  const char* twice = "{ dog { ... @mark(minLevel: 1, minLevel: 2) { name } } }";
  expect_error(twice, "argument 'minLevel' is provided more than once on 'mark'", ErrorCode::UNKNOWN_ARGUMENT,
               at(twice, "minLevel", 1));
  expect_valid("{ dog @auth(role: \"r\") { ... @mark(minLevel: 1) { name } ...F @mark } }\nfragment F on Dog { name }");
}

// --- arguments ---

TEST(ArgumentRulesTest, RepeatedArgumentsComeFirst) {
  const char* text = "{ args(i: 1, s: \"a\", i: 2) }";
  expect_error(text, "argument 'i' is provided more than once on 'args'", ErrorCode::UNKNOWN_ARGUMENT,
               at(text, "i:", 1));
  const char* unknown_twice = "{ args(zz: 1, zz: 2) }";
  expect_error(unknown_twice, "argument 'zz' is provided more than once on 'args'", ErrorCode::UNKNOWN_ARGUMENT,
               at(unknown_twice, "zz", 1));
  const char* later = "{ args(zz: 1, i: true, i: 2) }";
  expect_error(later, "argument 'i' is provided more than once on 'args'", ErrorCode::UNKNOWN_ARGUMENT,
               at(later, "i:", 1));
}

TEST(ArgumentRulesTest, UnknownAndMissingArguments) {
  const char* unknown = "{ alias: args(i: 1, zz: 1) }";
  expect_error(unknown, "unknown argument 'zz' on 'args'", ErrorCode::UNKNOWN_ARGUMENT, at(unknown, "zz"));
  const char* missing = "{\n  r: required(a: 1)\n}";
  expect_error(missing, "missing required argument 'maxCount' on 'required'", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               Location{2, 3});
  expect_error("{ required(maxCount: 1) }", "missing required argument 'a' on 'required'",
               ErrorCode::ARGUMENT_TYPE_MISMATCH, Location{1, 3});
  const char* python_name = "{ required(a: 1, max_count: 1) }";
  expect_error(python_name, "unknown argument 'max_count' on 'required'", ErrorCode::UNKNOWN_ARGUMENT,
               at(python_name, "max_count"));
  const char* null_given = "{ required(a: null, maxCount: 1) }";
  expect_error(null_given, "argument 'a' on 'required' must not be null", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               at(null_given, "null"));
  expect_valid("{ required(a: 1, maxCount: 2) required2: required(maxCount: 0, c: null, a: 3, b: 4) }");
}

// --- values ---

struct ValueCase {
  const char* arguments;  // written inside args(...)
  const char* reason;     // empty when the value fits
};

TEST(ValueRulesTest, LiteralsAgainstDeclaredTypes) {
  const ValueCase cases[] = {
      {"id: 1", "expected a string, got a number"},
      {"id: \"1\"", ""},
      {"s: true", "expected a string, got a boolean"},
      {"s: [\"a\"]", "expected a string, got a list"},
      {"s: {a: 1}", "expected a string, got an object"},
      {"i: 4294967296", ""},
      {"i: -3", ""},
      {"i: 1.5", "expected an integer, got a floating-point number"},
      {"i: 1e3", "expected an integer, got a floating-point number"},
      {"i: \"1\"", "expected an integer, got a string"},
      {"i: RED", "expected an integer, got an enum value"},
      {"i: null", ""},
      {"f: 1", ""},
      {"f: -1.5e-3", ""},
      {"f: \"x\"", "expected a number, got a string"},
      {"b: false", ""},
      {"b: 1", "expected a boolean, got a number"},
      {"b: null", ""},
      {"ints: 1", "expected a list, got a number"},
      {"ints: []", ""},
      {"ints: [1, null, 3]", ""},
      {"ints: [1, \"x\", 2.5]", "expected an integer, got a string"},
      {"strictInts: [1, null]", "must not be null"},
      {"nested: [[1], [2, 3.5]]", "expected an integer, got a floating-point number"},
      {"nested: [1]", "expected a list, got a number"},
      {"nested: [null, []]", ""},
      {"color: RED", ""},
      {"color: DARK_BLUE", ""},
      {"color: light_green", ""},
      {"color: \"RED\"", "expected a value of enum 'Color', got a string"},
      {"color: BLUE", "'BLUE' is not a valid value for enum 'Color'"},
      {"color: dark_blue", "'dark_blue' is not a valid value for enum 'Color'"},
      {"color: lightGreen", "'lightGreen' is not a valid value for enum 'Color'"},
      {"filter: {min: 1}", ""},
      {"filter: {}", ""},
      {"filter: {unknown: [true], min: 1}", ""},
      {"filter: 1", "expected an input object for 'Filter', got a number"},
      {"filter: [{min: 1}]", "expected an input object for 'Filter', got a list"},
      {"filter: {min: \"x\"}", "field 'min': expected an integer, got a string"},
      {"filter: {min: null}", "field 'min': must not be null"},
      {"filter: {limit: null}", "field 'limit': must not be null"},
      {"filter: {inner: {inner: {min: true}}}", "field 'inner': field 'inner': field 'min': expected an integer, got a boolean"},
      {"filter: {tags: [\"a\", 1]}", "field 'tags': expected a string, got a number"},
      {"filter: {maxLen: \"x\"}", "field 'maxLen': expected an integer, got a string"},
      {"filter: {max_len: \"x\"}", ""},
      {"when: {any: [1, \"x\"]}", ""},
      {"dog: 1", ""},
      {"mystery: [RED]", ""},
  };
  for (const ValueCase& c : cases) {
    std::string text = std::string("{ args(") + c.arguments + ") }";
    if (*c.reason == '\0') {
      expect_valid(text);
      continue;
    }
    std::string_view arguments = c.arguments;
    std::string name(arguments.substr(0, arguments.find(':')));
    std::string message = "argument '" + name + "' on 'args' " + c.reason;
    expect_error(text, message, ErrorCode::ARGUMENT_TYPE_MISMATCH, after(at(text, ": "), 2));
  }
}

// --- variables ---

TEST(VariableRulesTest, UndefinedVariables) {
  const char* text = "query($i: Int) { args(i: $j) }";
  expect_error(text, "argument 'i' on 'args' references undefined variable '$j'", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               at(text, "$j"));
  // Variables of other operations are not visible.
  const char* other = "query A($x: Int) { name } query B { args(i: $x) }";
  expect_error(other, "argument 'i' on 'args' references undefined variable '$x'", ErrorCode::ARGUMENT_TYPE_MISMATCH,
               at(other, "$x", 1), schema(), "B");
}

TEST(VariableRulesTest, DeclaredTypeMustFitTheLocation) {
  struct Case {
    const char* text;
    const char* message;            // empty when the use fits
    const char* value = nullptr;    // where the argument's value starts, when not at the variable
  };
  const Case cases[] = {
      {"query($v: Int) { required(a: $v, maxCount: 1) }",
       "argument 'a' on 'required' expects 'Int!', but variable '$v' is declared as 'Int'"},
      {"query($v: Int = 1) { required(a: $v, maxCount: 1) }", ""},
      {"query($v: Int) { required(a: 1, b: $v, maxCount: 1) }", ""},
      {"query($v: Int!) { args(i: $v) }", ""},
      {"query($v: String) { args(i: $v) }", "argument 'i' on 'args' expects 'Int', but variable '$v' is declared as 'String'"},
      {"query($v: [Int]) { args(strictInts: $v) }",
       "argument 'strictInts' on 'args' expects '[Int!]', but variable '$v' is declared as '[Int]'"},
      {"query($v: [Int] = [1]) { args(strictInts: $v) }", ""},
      {"query($v: [Int!]!) { args(ints: $v) }", ""},
      {"query($v: Int) { args(ints: $v) }", "argument 'ints' on 'args' expects '[Int]', but variable '$v' is declared as 'Int'"},
      {"query($v: [Int]) { args(i: $v) }", "argument 'i' on 'args' expects 'Int', but variable '$v' is declared as '[Int]'"},
      {"query($v: [[Int!]!]!) { args(nested: $v) }", ""},
      {"query($v: [Int]) { args(nested: [$v, [1]]) }", ""},
      {"query($x: String) { args(ints: [1, $x]) }",
       "argument 'ints' on 'args' expects 'Int', but variable '$x' is declared as 'String'", "[1, $x]"},
      {"query($v: Int) { args(filter: {min: 1, limit: $v}) }", ""},
      {"query($v: Int) { args(filter: {min: $v}) }",
       "argument 'filter' on 'args' field 'min': expects 'Int!', but variable '$v' is declared as 'Int'", "{min"},
      {"query($v: Whatever) { args(when: $v) }",
       "argument 'when' on 'args' expects 'DateTime', but variable '$v' is declared as 'Whatever'"},
      {"query($v: Filter) { args(filter: $v) }", ""},
  };
  for (const Case& c : cases) {
    if (*c.message == '\0') {
      expect_valid(c.text);
      continue;
    }
    std::string_view text = c.text;
    Location value = c.value ? at(text, c.value) : at(text, text.substr(text.find('$'), 2), 1);
    expect_error(text, c.message, ErrorCode::ARGUMENT_TYPE_MISMATCH, value);
  }
}

// --- depth and repeated work ---

std::string exponential_fragments(const char* operation, const char* type, const char* leaf, int levels) {
  std::string text = std::string(operation) + " { ...F0 }\n";
  for (int i = 0; i < levels; ++i) {
    text += "fragment F" + std::to_string(i) + " on " + type + " { ...F" + std::to_string(i + 1) + " ... { ...F" +
            std::to_string(i + 1) + " } }\n";
  }
  text += "fragment F" + std::to_string(levels) + " on " + type + " { " + leaf + " }\n";
  return text;
}

TEST(DepthTest, FragmentsSpreadingEachOtherTwiceAreWalkedOnce) {
  expect_valid(exponential_fragments("query", "Query", "name dog { name }", 30));
  expect_valid(exponential_fragments("subscription", "Subscription", "count", 30));
  std::string failing = exponential_fragments("query", "Query", "nope", 30);
  expect_error(failing, "field 'nope' does not exist on type 'Query'", ErrorCode::UNKNOWN_FIELD, at(failing, "nope"));
  std::string too_many = exponential_fragments("subscription", "Subscription", "count newDog { name }", 30);
  expect_error(too_many, "a subscription operation must have exactly one root field, but this one selects 2",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, Location{1, 14});
}

std::string fragment_chain(const char* operation, const char* type, int length, const char* leaf) {
  std::string text = std::string(operation) + " { ...F0 }\n";
  for (int i = 0; i + 1 < length; ++i) {
    text += "fragment F" + std::to_string(i) + " on " + type + " { ...F" + std::to_string(i + 1) + " }\n";
  }
  text += "fragment F" + std::to_string(length - 1) + " on " + type + " { " + leaf + " }\n";
  return text;
}

TEST(DepthTest, LongFragmentChainFailsCleanly) {
  const std::string message = "query is nested too deeply: more than 512 levels of selections and fragment spreads";
  // The operation's selection set is level 1 and fragment Fi's is level i + 2, so
  // the spread of F511 (inside F510) is the first that would pass level 512.
  for (const char* operation : {"query", "subscription"}) {
    const char* type = *operation == 'q' ? "Query" : "Subscription";
    std::string text = fragment_chain(operation, type, 100000, "__typename");
    expect_error(text, message, ErrorCode::GRAPHQL_VALIDATION_FAILED, after(at(text, "{ ...F511 }"), 2));
  }
  expect_valid(fragment_chain("query", "Query", 511, "name"));
  std::string nested_field = fragment_chain("query", "Query", 511, "dog { name }");
  expect_error(nested_field, message, ErrorCode::GRAPHQL_VALIDATION_FAILED, at(nested_field, "dog"));
}

// A fragment remembered as fine at a shallow level must still fail where it is
// spread deeper than the bound allows, at the same place a fresh walk would.
TEST(DepthTest, RememberedFragmentIsWalkedAgainWhereItWouldBeTooDeep) {
  auto wrapped = [](int levels) {
    std::string text = "{ ...F0 ";
    for (int i = 0; i < levels; ++i) text += "... { ";
    text += "...F0";
    for (int i = 0; i < levels; ++i) text += " }";
    text += " }\n";
    std::string chain = fragment_chain("", "Query", 500, "name");
    return text + chain.substr(chain.find('\n') + 1);
  };
  // F0's selection set is at level 2 + levels; F499's, its deepest, at level 501 + levels.
  // With 12 levels the spread of F499 (inside F498, at level 512) is the one refused.
  expect_valid(wrapped(11));
  std::string text = wrapped(12);
  expect_error(text, "query is nested too deeply: more than 512 levels of selections and fragment spreads",
               ErrorCode::GRAPHQL_VALIDATION_FAILED, after(at(text, "{ ...F499 }"), 2));
}

// One document and one schema, first used by many request threads at once.
TEST(ConcurrencyTest, ParallelValidationsOfOneDocumentAgree) {
  auto fresh = make_schema();
  Result<DocumentPtr> document = parse_document(
      "query($id: ID!) { human(id: $id) { pets { ...P } } dog { ...P nope } }\n"
      "fragment P on Pet { name ... on Dog { barks } }");
  ASSERT_TRUE(document.ok());
  std::vector<std::string> messages(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < messages.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        Status error = validate_query(**document, *fresh, std::nullopt);
        messages[t] = error ? error->message : "";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& message : messages) EXPECT_EQ(message, "field 'nope' does not exist on type 'Dog'");
}

}  // namespace
}  // namespace quenfel
