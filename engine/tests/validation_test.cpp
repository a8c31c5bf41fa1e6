#include "engine/validation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/parser.h"
#include "engine/tests/fragment_queries.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;
using Loc = OperationDirectiveLocation;

// Query { ... } with pets, a union, a union shadowed by a type, an interface without implementors, an enum,
// an input object, a custom scalar and a few schema directives.
std::unique_ptr<CompiledSchema> make_schema(bool auto_camel_case = true) {
  return SchemaBuilder()
      .auto_camel_case(auto_camel_case)
      .subscription("Subscription")
      .add(object(
          "Query",
          {field("dog", "Dog"), field("pet", "Pet"), field("lonely", "Lonely"), field("catOrDog", "CatOrDog"),
           field("shadow", "Shadow"), field("mystery", "Mystery"), field("color", "Color"), field("when", "DateTime"),
           field("name", "String"), field("human", "Human", {arg("id", "ID!")}),
           field("args", "Int",
                 {arg("i", "Int"), arg("f", "Float"), arg("s", "String"), arg("id", "ID"), arg("b", "Boolean"),
                  arg("ints", "[Int]"), arg("strictInts", "[Int!]"), arg("nested", "[[Int]]"), arg("color", "Color"),
                  arg("filter", "Filter"), arg("when", "DateTime"), arg("dog", "Dog"), arg("mystery", "Mystery")}),
           field("required", "Int",
                 {arg("a", "Int!"), arg("b", "Int!", true), arg("c", "Int"), arg("max_count", "Int!"),
                  arg("maxCount", "String"), arg("d", "[Int!]", true)}),
           field("first_name", "String"), renamed(field("python_name", "String"), "renamed"), field("a_b", "String"),
           field("aB", "Dog")}))
      .add(interface("Pet", {field("name", "String")}))
      .add(interface("Lonely", {field("id", "ID")}))
      .add(object("Dog", {field("name", "String", {arg("surname", "Boolean")}), field("nonNullName", "String!"),
                          field("barks", "Boolean"), field("nicknames", "[String]"), field("tricks", "[String!]!")},
                  {"Pet"}))
      .add(object("Cat", {field("name", "String"), field("meows", "Boolean")}, {"Pet"}))
      .add(object("Human", {field("name", "String")}))
      .add(object("Shadow", {field("x", "Int")}))
      .add_union("Shadow", {"Cat"})
      .add_union("CatOrDog", {"Cat", "Dog"})
      .add(enumeration("Color", {"RED", "dark_blue=DARK_BLUE", "light_green"}))
      .add(input("Filter", {field("min", "Int!"), with_default(field("limit", "Int!"), "10"), field("inner", "Filter"),
                            field("max_len", "Int")}))
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

// "ok", or the error in brief (its code shows only when it is not GRAPHQL_VALIDATION_FAILED).
std::string outcome(std::string_view text, const CompiledSchema& against = schema(),
                    std::optional<std::string_view> operation_name = std::nullopt) {
  Result<DocumentPtr> document = parse_document(text);
  if (!document) return "does not parse: " + document.error().message;
  Status error = validate_query(**document, against, operation_name);
  return error ? describe(*error, ErrorCode::GRAPHQL_VALIDATION_FAILED) : "ok";
}

struct Case {
  std::string text, expected;
  std::optional<std::string_view> operation_name = std::nullopt;
};

void expect_outcomes(std::initializer_list<Case> cases, const CompiledSchema& against = schema()) {
  for (const Case& c : cases) EXPECT_EQ(outcome(c.text, against, c.operation_name), c.expected) << c.text;
}

TEST(ValidationTest, Operation) {
  // Only the selected operation and what it reaches are examined.
  const std::string two = "query A { name ...Used }\nquery B { nope }\nfragment Used on Query { dog { name } }\n"
                          "fragment Unused on Nowhere { nothing }\n";
  std::string many = "query(";
  for (int i = 0; i < 40; ++i) many += "$v" + std::to_string(i) + ": Int ";
  expect_outcomes({
      {two, "ok", "A"},
      {two, "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @2:11", "B"},
      // Missing root types fail before anything else.
      {"mutation($a: Int, $a: Int) { nope }", "document contains a mutation, but the schema has no mutation type"},
      {"query($a: Int, $b: Int, $a: String) { nope }", "variable '$a' is declared more than once @1:25"},
      {many + "$v39: Int) { name }", "variable '$v39' is declared more than once @1:397"},
      // A subscription selects exactly one root response key, when that can be told.
      {"subscription { __typename ... on Subscription { a: count b: count } }",
       "a subscription operation must have exactly one root field, but this one selects 3 @1:14"},
      {"subscription { count count ...F } fragment F on Subscription { count }", "ok"},
      {"subscription { count newDog @include(if: true) { name } }", "ok"},
      {"subscription { count @skip(if: false) nope }",
       "UNKNOWN_FIELD: field 'nope' does not exist on type 'Subscription' @1:39"},
      {"subscription { count ...F } fragment F on Subscription { newDog { name } ...F }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F' @1:74"},
      {"subscription { count newDog { name } ...Nope }", "INVALID_FRAGMENT_TARGET: undefined fragment 'Nope' @1:38"},
  });
  expect_outcomes(
      {{"subscription { a b }", "document contains a subscription, but the schema has no subscription type"}},
      *SchemaBuilder().add(object("Query", {field("a", "Int")})).build());
  auto unregistered = SchemaBuilder("Root").mutation("Change").add(object("Query", {field("a", "Int")})).build();
  expect_outcomes({{"{ a }", "schema's root type 'Root' is not registered"},
                   {"mutation { a }", "schema's root type 'Change' is not registered"}}, *unregistered);
}

TEST(ValidationTest, FieldsAndFragments) {
  auto never = [](std::string on, std::string to) {
    return "INVALID_FRAGMENT_TARGET: fragment on '" + on + "' can never apply to '" + to +
           "' -- they share no possible types ";
  };
  expect_outcomes({
      {"{\n  dog {\n    name\n    nope\n  }\n}", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Dog' @4:5"},
      {"{ alias: nope }", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @1:3"},
      {"{ nope @unknown }", "INVALID_DIRECTIVE_LOCATION: unknown directive '@unknown' @1:8"},  // directives first
      {"{ __typename @defer }",
       "INVALID_DIRECTIVE_LOCATION: directive '@defer' is not allowed at this location (FIELD) @1:14"},
      // Exposed names: two fields expose "aB", and the first stored is selected.
      {"{ firstName renamed a_b: aB name color when dog { tricks __typename } __typename(x: 1, x: 2) { y(z: $u) } "
       "catOrDog { __typename } mystery mystery2: mystery { a b { c } } }", "ok"},
      {"{ first_name }", "UNKNOWN_FIELD: field 'first_name' does not exist on type 'Query' @1:3"},
      {"{ python_name }", "UNKNOWN_FIELD: field 'python_name' does not exist on type 'Query' @1:3"},
      {"{ aB { name } }", "UNKNOWN_FIELD: field 'aB' is of leaf type 'String' and cannot have a selection set @1:6"},
      {"{ when { x } }", "UNKNOWN_FIELD: field 'when' is of leaf type 'DateTime' and cannot have a selection set @1:8"},
      {"{ d: dog }", "UNKNOWN_FIELD: field 'dog' is of composite type 'Dog' and must have a selection set @1:3"},
      {"{ catOrDog }",
       "UNKNOWN_FIELD: field 'catOrDog' is of composite type 'CatOrDog' and must have a selection set @1:3"},
      {"{ shadow { x nope } }", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Shadow' @1:14"},
      {"{ dog { tricks @stream(initialCount: 2, label: \"t\") nicknames @stream nonNullName @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' can only be applied to a list-typed field, but 'nonNullName' "
       "is 'String!' @1:83"},
      {"{ dog { barks @auth(role: \"x\") @stream(if: false) @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' can only be applied to a list-typed field, but 'barks' is "
       "'Boolean' @1:32"},
      {"{ dog { name(x: 1) @stream } }",
       "UNKNOWN_ARGUMENT: unknown argument 'x' on 'name' @1:14"},  // arguments before the placement
      // Interfaces and unions meet their members; an interface nobody implements takes any type.
      {"{ pet { ... on Dog { barks } ...C ... on Pet { name } } shadow { ... on Cat { meows } } dog { ...A ...A ... { "
       "...A } ... on Lonely { id } } lonely { ... on Human { name } } }\n"
       "fragment A on Dog { name ...B }\nfragment B on Pet { name }\nfragment C on Cat { meows }", "ok"},
      {"{ dog { ...Nope } }", "INVALID_FRAGMENT_TARGET: undefined fragment 'Nope' @1:9"},
      {"{ dog { ...Nope @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' is not allowed at this location (FRAGMENT_SPREAD) @1:17"},
      {"{ dog { ...F } }\nfragment F on Dog { name ...F }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F' @2:26"},
      {"{ dog { ...A } }\nfragment A on Dog { ...B }\nfragment B on Dog { ... on Pet { ...A } }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'A' @3:34"},
      // B is walked first and remembered; a cycle below it is still found from A.
      {"{ dog { ...B ...A } }\nfragment A on Dog { ...B ...C }\nfragment B on Dog { name }\nfragment C on Dog { ...A }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'A' @4:21"},
      {"{ dog { ...F } }\nfragment F on Nope { name }",
       "INVALID_FRAGMENT_TARGET: fragment 'F' targets unknown type 'Nope' @2:12"},
      {"{ pet { ...F } }\nfragment F on CatOrDog { __typename }",
       "INVALID_FRAGMENT_TARGET: fragment 'F' targets unknown type 'CatOrDog' @2:12"},
      {"{ dog { ... on Nope { name } } }",
       "INVALID_FRAGMENT_TARGET: inline fragment targets unknown type 'Nope' @1:13"},
      {"{ dog { ... on Cat { meows } } }", never("Cat", "Dog") + "@1:13"},
      {"{ dog { ...C } }\nfragment C on Cat { meows }", never("Cat", "Dog") + "@1:9"},
      {"{ human(id: \"1\") { ... on Pet { name } } }", never("Pet", "Human") + "@1:24"},
      {"{ shadow { ... on Dog { name } } }", never("Dog", "Shadow") + "@1:16"},
      {"{ dog { ... { barks } ... @include(if: true) { nope } } }",
       "UNKNOWN_FIELD: field 'nope' does not exist on type 'Dog' @1:48"},
      // A union's selection set has the union as parent: only __typename is its own, and fragments on
      // its members (or on interfaces they share with it) select the rest.
      {"{ catOrDog { __typename ... on Dog { name(surname: true) barks } ...C ... { ... { __typename ... on Pet { name } "
       "} } ... on Lonely { id } } shadow { __typename } }\nfragment C on Cat { meows ... on Pet { name } }", "ok"},
      {"{ catOrDog { ... on Dog { nameTypo } } }",
       "UNKNOWN_FIELD: field 'nameTypo' does not exist on type 'Dog' @1:27"},
      {"{ catOrDog { ... on Dog { name(surnameTypo: true) } } }",
       "UNKNOWN_ARGUMENT: unknown argument 'surnameTypo' on 'name' @1:32"},
      {"{ catOrDog { __typename name } }",
       "UNKNOWN_FIELD: field 'name' does not exist on type 'CatOrDog' @1:25"},
      {"{ catOrDog { nope @unknown } }", "INVALID_DIRECTIVE_LOCATION: unknown directive '@unknown' @1:19"},
      {"{ catOrDog { ... { ... @include(if: true) { id } } } }",
       "UNKNOWN_FIELD: field 'id' does not exist on type 'CatOrDog' @1:45"},
      {"{ catOrDog { ...Nope @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' is not allowed at this location (FRAGMENT_SPREAD) @1:22"},
      {"{ catOrDog { ...Nope } }", "INVALID_FRAGMENT_TARGET: undefined fragment 'Nope' @1:14"},
      // The cycle is found before the fragment's type condition is tested against the union.
      {"{ ...F }\nfragment F on Query { catOrDog { ...F } }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F' @2:34"},
      {"{ catOrDog { ...F } }\nfragment F on CatOrDog { __typename }",
       "INVALID_FRAGMENT_TARGET: fragment 'F' targets unknown type 'CatOrDog' @2:12"},
      {"{ catOrDog { ... on CatOrDog { __typename } } }",
       "INVALID_FRAGMENT_TARGET: inline fragment targets unknown type 'CatOrDog' @1:18"},
      {"{ catOrDog { ...H } }\nfragment H on Human { name }", never("Human", "CatOrDog") + "@1:14"},
      {"{ catOrDog { ... on Human { name } } }", never("Human", "CatOrDog") + "@1:18"},
      {"{ catOrDog { ... on Dog { barks ... on Cat { meows } } } }", never("Cat", "Dog") + "@1:37"},
  });
  expect_outcomes({{"{ first_name python_name: renamed aB { name } required(a: 1, max_count: 2) }", "ok"},
                   {"{ firstName }", "UNKNOWN_FIELD: field 'firstName' does not exist on type 'Query' @1:3"}},
                  *make_schema(false));
  // A name can be a scalar, a union and a type at once: scalar wins over union, union over type.
  auto overlapping = SchemaBuilder()
                         .add(object("Query", {field("both", "Both"), field("choice", "Choice")}))
                         .add_scalar("Both").add_union("Both", {"Query"})
                         .add(enumeration("Choice", {"A"})).add_union("Choice", {"Query"})
                         .build();
  expect_outcomes(
      {{"{ both }", "ok"},
       {"{ both { x } }", "UNKNOWN_FIELD: field 'both' is of leaf type 'Both' and cannot have a selection set @1:8"},
       {"{ choice }", "UNKNOWN_FIELD: field 'choice' is of composite type 'Choice' and must have a selection set @1:3"},
       // The enum of the same name is the parent.
       {"{ choice { x } }", "UNKNOWN_FIELD: field 'x' does not exist on type 'Choice' @1:12"}},
      *overlapping);
}

TEST(ValidationTest, DirectivesArgumentsAndVariables) {
  const std::string mismatch = "ARGUMENT_TYPE_MISMATCH: argument '";
  expect_outcomes({
      {"{ name @skip(unknown: 1) dog @include { ... @skip { name } ... @defer(if: null, label: \"x\") { name } "
       "...F @defer ... @mark(minLevel: 1) { name } ...F @mark } name @auth(role: \"r\") }\n"
       "fragment F on Dog { barks }", "ok"},
      {"{ dog { ... @stream { name } } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' is not allowed at this location (INLINE_FRAGMENT) @1:13"},
      {"{ dog { ... @defer(if: \"yes\") { name } } }",
       "ARGUMENT_TYPE_MISMATCH: argument 'if' on '@defer' expected a boolean, got a string @1:24"},
      {"{ dog { tricks @stream(if: true, depth: 1) } }",
       "UNKNOWN_ARGUMENT: unknown argument 'depth' on '@stream' @1:34"},
      // Repeats are not this check's concern.
      {"query($b: Boolean, $n: Int) { dog { tricks @stream(if: $b, if: true, initialCount: $n) } }", "ok"},
      {"query($s: String) { dog { tricks @stream(label: \"a\", if: $s) } }",
       mismatch + "if' on '@stream' expects 'Boolean', but variable '$s' is declared as 'String' @1:58"},
      {"{ name @auth(role: \"a\") @nope @alsoNope }", "INVALID_DIRECTIVE_LOCATION: unknown directive '@nope' @1:25"},
      {"{ dog { ...F @auth(role: \"x\") } }\nfragment F on Dog { name }",
       "INVALID_DIRECTIVE_LOCATION: directive '@auth' is not allowed at this location (FRAGMENT_SPREAD) @1:14"},
      {"{ name @auth }", "ARGUMENT_TYPE_MISMATCH: missing required argument 'role' on 'auth' @1:8"},
      {"{ dog { ... @mark(min_level: 1) { name } } }",
       "UNKNOWN_ARGUMENT: unknown argument 'min_level' on 'mark' @1:19"},
      // Field arguments: repeats come first, and an argument both repeated and unknown is a repeat.
      {"{ args(zz: 1, zz: 2) }", "UNKNOWN_ARGUMENT: argument 'zz' is provided more than once on 'args' @1:15"},
      {"{ args(zz: 1, i: true, i: 2) }", "UNKNOWN_ARGUMENT: argument 'i' is provided more than once on 'args' @1:24"},
      {"{ alias: args(i: 1, zz: 1) }", "UNKNOWN_ARGUMENT: unknown argument 'zz' on 'args' @1:21"},
      {"{\n  r: required(a: 1)\n}", "ARGUMENT_TYPE_MISMATCH: missing required argument 'maxCount' on 'required' @2:3"},
      {"{ required(a: 1, max_count: 1) }", "UNKNOWN_ARGUMENT: unknown argument 'max_count' on 'required' @1:18"},
      {"{ required(a: null, maxCount: 1) }", mismatch + "a' on 'required' must not be null @1:15"},
      // The first declared argument exposing the name is the one checked.
      {"{ required(a: 1, maxCount: \"x\") }",
       "ARGUMENT_TYPE_MISMATCH: argument 'maxCount' on 'required' expected an integer, got a string @1:28"},
      {"{ required(a: 1, maxCount: 2) required2: required(maxCount: 0, c: null, a: 3, b: 4) }", "ok"},
      // A default on either side relaxes a non-null place, at any depth.
      {"query($a: Int = 1, $b: Int, $c: Int!, $d: [Int] = [1], $e: [Int!]!, $f: [[Int!]!]!, $g: [Int]) { "
       "required(a: $a, b: $b, maxCount: $c) args(i: $c, strictInts: $d, ints: $e, nested: $f) "
       "b: args(nested: [$g, [1]], filter: {min: 1, limit: $b}) }", "ok"},
      {"query($i: Int) { args(i: $j) }", mismatch + "i' on 'args' references undefined variable '$j' @1:26"},
      {"query($v: Int) { required(a: $v, maxCount: 1) }",
       mismatch + "a' on 'required' expects 'Int!', but variable '$v' is declared as 'Int' @1:30"},
      {"query($v: String) { args(i: $v) }",
       mismatch + "i' on 'args' expects 'Int', but variable '$v' is declared as 'String' @1:29"},
      {"query($v: [Int]) { args(strictInts: $v) }",
       mismatch + "strictInts' on 'args' expects '[Int!]', but variable '$v' is declared as '[Int]' @1:37"},
      {"query($v: Int) { args(ints: $v) }",
       mismatch + "ints' on 'args' expects '[Int]', but variable '$v' is declared as 'Int' @1:29"},
      {"query($v: [Int]) { args(i: $v) }",
       mismatch + "i' on 'args' expects 'Int', but variable '$v' is declared as '[Int]' @1:28"},
      {"query($x: String) { args(ints: [1, $x]) }",
       mismatch + "ints' on 'args' expects 'Int', but variable '$x' is declared as 'String' @1:32"},
      {"query($v: Int) { required(a: 1, maxCount: 1, d: [$v]) }",  // the default is not the items'
       mismatch + "d' on 'required' expects 'Int!', but variable '$v' is declared as 'Int' @1:49"},
      {"query($v: Int) { args(filter: {min: $v}) }",
       mismatch + "filter' on 'args' field 'min': expects 'Int!', but variable '$v' is declared as 'Int' @1:31"},
      // Variables of other operations are not visible.
      {"query A($x: Int) { name } query B { args(i: $x) }",
       mismatch + "i' on 'args' references undefined variable '$x' @1:45", "B"},
  });
}

TEST(ValidationTest, LiteralsAgainstDeclaredTypes) {
  // Integers of any size, integers for floats, null where nullable, missing and unknown input fields, enum values by
  // exposed name, any value for custom scalars, object types and unknown types.
  EXPECT_EQ(outcome("{ args(id: \"1\", i: 4294967296, f: 1, ints: [1, null, 3], color: DARK_BLUE, "
                    "filter: {max_len: \"x\"}, when: {any: [1, \"x\"]}, dog: 1, mystery: [RED]) "
                    "b: args(i: null, color: light_green, filter: {}) }"), "ok");
  const std::pair<const char*, const char*> cases[] = {
      // argument, and why it does not fit
      {"id: 1", "expected a string, got a number"},
      {"s: {a: 1}", "expected a string, got an object"},
      {"i: \"1\"", "expected an integer, got a string"},
      {"i: RED", "expected an integer, got an enum value"},
      {"i: 1.5", "expected an integer, got a floating-point number"},
      {"f: \"x\"", "expected a number, got a string"},
      {"b: 1", "expected a boolean, got a number"},
      {"ints: 1", "expected a list, got a number"},
      {"ints: [1, \"x\", 2.5]", "expected an integer, got a string"},
      {"strictInts: [1, null]", "must not be null"},
      {"nested: [[1], [2, 3.5]]", "expected an integer, got a floating-point number"},
      {"color: \"RED\"", "expected a value of enum 'Color', got a string"},
      {"color: BLUE", "'BLUE' is not a valid value for enum 'Color'"},
      {"color: dark_blue", "'dark_blue' is not a valid value for enum 'Color'"},
      {"filter: {unknown: [true], min: \"x\"}", "field 'min': expected an integer, got a string"},
      {"filter: [{min: 1}]", "expected an input object for 'Filter', got a list"},
      {"filter: {limit: null}", "field 'limit': must not be null"},
      {"filter: {inner: {inner: {min: true}}}",
       "field 'inner': field 'inner': field 'min': expected an integer, got a boolean"},
      {"filter: {maxLen: \"x\"}", "field 'maxLen': expected an integer, got a string"},
  };
  for (const auto& [argument, reason] : cases) {
    const std::string name(argument, std::string_view(argument).find(':'));
    const std::string at = " @1:" + std::to_string(name.size() + 10);  // the value, after "{ args(name: "
    EXPECT_EQ(outcome(std::string("{ args(") + argument + ") }"),
              "ARGUMENT_TYPE_MISMATCH: argument '" + name + "' on 'args' " + reason + at);
  }
}

TEST(ValidationTest, DepthAndRepeatedWork) {
  // Fragments spreading each other twice are walked once.
  EXPECT_EQ(outcome(doubling_fragments(30, "name dog { name }", "query ", "Query")), "ok");
  EXPECT_EQ(outcome(doubling_fragments(30, "nope", "query ", "Query")),
            "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @32:25");
  EXPECT_EQ(outcome(doubling_fragments(30, "catOrDog { ... on Dog { name } }", "query ", "Query")), "ok");
  EXPECT_EQ(outcome(doubling_fragments(30, "catOrDog { __typename nope }", "query ", "Query")),
            "UNKNOWN_FIELD: field 'nope' does not exist on type 'CatOrDog' @32:47");
  EXPECT_EQ(outcome(doubling_fragments(30, "count newDog { name }", "subscription ", "Subscription")),
            "a subscription operation must have exactly one root field, but this one selects 2 @1:14");
  // The operation's selection set is level 1 and fragment Fi's is level i + 2, so
  // the spread of F511 (on line 512, inside F510) is the first that would pass level 512.
  const std::string too_deep = "query is nested too deeply: more than 512 levels of selections and fragment spreads";
  EXPECT_EQ(outcome(fragment_chain(100000, "__typename", "query ", "Query")), too_deep + " @512:26");
  EXPECT_EQ(outcome(fragment_chain(100000, "__typename", "subscription ", "Subscription")), too_deep + " @512:33");
  EXPECT_EQ(outcome(fragment_chain(511, "name", "query ", "Query")), "ok");
  EXPECT_EQ(outcome(fragment_chain(511, "dog { name }", "query ", "Query")), too_deep + " @512:26");
  // Unions count too: a union's selection set is a level, and fragments spread inside one add theirs. Below
  // catOrDog (level 2) fragment Fi's selection set is at level i + 3, so the spread of F510 (on line 511) fails.
  EXPECT_EQ(outcome(fragment_chain(511, "catOrDog { __typename }", "query ", "Query")), too_deep + " @512:26");
  auto under_union = [](int length) {
    const std::string chain = fragment_chain(length, "name", "", "Dog");
    return "{ catOrDog { ...F0 } }\n" + chain.substr(chain.find('\n') + 1);
  };
  EXPECT_EQ(outcome(under_union(510)), "ok");
  EXPECT_EQ(outcome(under_union(511)), too_deep + " @511:24");
  // A fragment remembered as fine at a shallow level is walked again where it would pass the bound, and fails where a
  // fresh walk would: F0's selection set is at level 2 + levels, F499's at 501 + levels, so with 12 levels the spread
  // of F499 (inside F498, at level 512) is refused.
  auto wrapped = [](int levels) {
    const std::string chain = fragment_chain(500, "name", "", "Query");
    return "{ ...F0 " + nested("... { ", levels, "...F0", " }") + " }\n" + chain.substr(chain.find('\n') + 1);
  };
  EXPECT_EQ(outcome(wrapped(11)), "ok");
  EXPECT_EQ(outcome(wrapped(12)), too_deep + " @500:26");
}

// One document and one schema, first used by many request threads at once.
TEST(ValidationTest, ParallelValidationsOfOneDocumentAgree) {
  auto fresh = make_schema();
  DocumentPtr document = *parse_document(
      "query($id: ID!) { human(id: $id) { name } pet { ...P } dog { ...P nope } }\n"
      "fragment P on Pet { name ... on Dog { barks } }");
  std::vector<std::string> messages(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < messages.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        Status error = validate_query(*document, *fresh, std::nullopt);
        messages[t] = error ? error->message : "";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& message : messages) EXPECT_EQ(message, "field 'nope' does not exist on type 'Dog'");
}

}  // namespace
}  // namespace quenfel
