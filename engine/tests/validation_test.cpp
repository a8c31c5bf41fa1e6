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

// Query { ... } with pets, a union, a union shadowed by a type, an interface
// without implementors, an enum, an input object, a custom scalar and a few
// schema directives.
std::unique_ptr<CompiledSchema> make_schema(bool auto_camel_case = true) {
  return SchemaBuilder()
      .auto_camel_case(auto_camel_case)
      .subscription("Subscription")
      .add(object(
          "Query",
          {field("dog", "Dog"), field("pet", "Pet"), field("lonely", "Lonely"), field("catOrDog", "CatOrDog"),
           field("shadow", "Shadow"), field("mystery", "Mystery"), field("filter", "Filter"), field("color", "Color"),
           field("when", "DateTime"), field("name", "String"), field("human", "Human", {arg("id", "ID!")}),
           field("args", "Int",
                 {arg("i", "Int"), arg("f", "Float"), arg("s", "String"), arg("id", "ID"), arg("b", "Boolean"),
                  arg("ints", "[Int]"), arg("strictInts", "[Int!]"), arg("nested", "[[Int]]"), arg("color", "Color"),
                  arg("filter", "Filter"), arg("when", "DateTime"), arg("dog", "Dog"), arg("mystery", "Mystery")}),
           field("required", "Int",
                 {arg("a", "Int!"), arg("b", "Int!", true), arg("c", "Int"), arg("max_count", "Int!"),
                  arg("maxCount", "String")}),
           field("first_name", "String"), renamed(field("python_name", "String"), "renamed"), field("a_b", "String"),
           field("aB", "Dog")}))
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

// "ok", or the error's message and position, after its code unless that is
// GRAPHQL_VALIDATION_FAILED.
std::string outcome(std::string_view text, const CompiledSchema& against = schema(),
                    std::optional<std::string_view> operation_name = std::nullopt) {
  Result<DocumentPtr> document = parse_document(text);
  if (!document) return "does not parse: " + document.error().message;
  Status error = validate_query(**document, against, operation_name);
  if (!error) return "ok";
  std::string out = error->message;
  if (error->code() != ErrorCode::GRAPHQL_VALIDATION_FAILED)
    out = std::string(error_code_name(error->code())) + ": " + out;
  for (const Location& at : error->locations.value_or(std::vector<Location>{})) {
    out += " @" + std::to_string(at.line) + ":" + std::to_string(at.column);
  }
  return out;
}

struct Case {
  std::string text;
  std::string expected;
  std::optional<std::string_view> operation_name = std::nullopt;
};

void expect_outcomes(std::initializer_list<Case> cases, const CompiledSchema& against = schema()) {
  for (const Case& c : cases) EXPECT_EQ(outcome(c.text, against, c.operation_name), c.expected) << c.text;
}

TEST(ValidationTest, Operation) {
  // Only the selected operation and what it reaches are examined.
  const std::string two =
      "query A { name ...Used }\nquery B { nope }\nfragment Used on Query { dog { name } }\n"
      "fragment Unused on Nowhere { nothing }\n";
  expect_outcomes({
      {"query A { name } query B { name }", "document contains multiple operations; operation_name is required"},
      {"{ name }", "no operation named 'A'", "A"},
      {"query A { name }", "no operation named ''", ""},
      {two, "ok", "A"},
      {two, "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @2:11", "B"},
      // Missing root types fail before anything else.
      {"mutation($a: Int, $a: Int) { nope }", "document contains a mutation, but the schema has no mutation type"},
  });
  expect_outcomes(
      {{"subscription { a b }", "document contains a subscription, but the schema has no subscription type"}},
      *SchemaBuilder().add(object("Query", {field("a", "Int")})).build());
  auto unregistered = SchemaBuilder("Root").mutation("Change").add(object("Query", {field("a", "Int")})).build();
  expect_outcomes({{"{ a }", "schema's root type 'Root' is not registered"},
                   {"mutation { a }", "schema's root type 'Change' is not registered"}},
                  *unregistered);
  const std::string two_roots =
      "a subscription operation must have exactly one root field, but this one selects 2 @1:14";
  std::string many = "query(";
  for (int i = 0; i < 40; ++i) many += "$v" + std::to_string(i) + ": Int ";
  expect_outcomes({
      {"query($a: Int, $b: Int, $a: String) { nope }", "variable '$a' is declared more than once @1:25"},
      {many + "$v39: Int) { name }", "variable '$v39' is declared more than once @1:397"},
      // A subscription selects exactly one root response key, when that can be told.
      {"subscription {\n  newDog { name }\n  count\n}", two_roots},
      {"subscription { __typename count }", two_roots},
      {"subscription { a: count b: count }", two_roots},
      {"subscription { ... on Subscription { count } newDog { name } }", two_roots},
      {"subscription { count count }", "ok"},
      {"subscription { count ...F } fragment F on Subscription { count }", "ok"},
      {"subscription { ...F ...F } fragment F on Subscription { ... { count } }", "ok"},
      {"subscription { count newDog @include(if: true) { name } }", "ok"},
      {"subscription { count @skip(if: false) nope }",
       "UNKNOWN_FIELD: field 'nope' does not exist on type 'Subscription' @1:39"},
      {"subscription { count ...F } fragment F on Subscription { newDog { name } ...F }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F' @1:74"},
      {"subscription { count newDog { name } ...Nope }", "INVALID_FRAGMENT_TARGET: undefined fragment 'Nope' @1:38"},
  });
}

TEST(ValidationTest, Fields) {
  expect_outcomes({
      {"{\n  dog {\n    name\n    nope\n  }\n}", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Dog' @4:5"},
      {"{ alias: nope }", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @1:3"},
      {"{ __typename dog { __typename } }", "ok"},
      {"{ __typename(x: 1, x: 2) { whatever(y: $undefined) } }", "ok"},
      {"{ nope @unknown }", "INVALID_DIRECTIVE_LOCATION: unknown directive '@unknown' @1:8"},  // directives first
      {"{ __typename @defer }",
       "INVALID_DIRECTIVE_LOCATION: directive '@defer' is not allowed at this location (FIELD) @1:14"},
      // Exposed names: two fields expose "aB", and the first stored is selected.
      {"{ firstName renamed a_b: aB }", "ok"},
      {"{ first_name }", "UNKNOWN_FIELD: field 'first_name' does not exist on type 'Query' @1:3"},
      {"{ python_name }", "UNKNOWN_FIELD: field 'python_name' does not exist on type 'Query' @1:3"},
      {"{ aB { name } }", "UNKNOWN_FIELD: field 'aB' is of leaf type 'String' and cannot have a selection set @1:6"},
      {"{ name { x } }", "UNKNOWN_FIELD: field 'name' is of leaf type 'String' and cannot have a selection set @1:8"},
      {"{ color { x } }", "UNKNOWN_FIELD: field 'color' is of leaf type 'Color' and cannot have a selection set @1:9"},
      {"{ when { x } }", "UNKNOWN_FIELD: field 'when' is of leaf type 'DateTime' and cannot have a selection set @1:8"},
      {"{ dog { tricks { x } } }",
       "UNKNOWN_FIELD: field 'tricks' is of leaf type 'String' and cannot have a selection set @1:16"},
      {"{ name color when dog { tricks } }", "ok"},
      {"{ dog }", "UNKNOWN_FIELD: field 'dog' is of composite type 'Dog' and must have a selection set @1:3"},
      {"{ d: dog }", "UNKNOWN_FIELD: field 'dog' is of composite type 'Dog' and must have a selection set @1:3"},
      {"{ pet }", "UNKNOWN_FIELD: field 'pet' is of composite type 'Pet' and must have a selection set @1:3"},
      {"{ catOrDog }",
       "UNKNOWN_FIELD: field 'catOrDog' is of composite type 'CatOrDog' and must have a selection set @1:3"},
      {"{ shadow }", "UNKNOWN_FIELD: field 'shadow' is of composite type 'Shadow' and must have a selection set @1:3"},
      {"{ filter }", "UNKNOWN_FIELD: field 'filter' is of composite type 'Filter' and must have a selection set @1:3"},
      {"{ human(id: \"1\") { pets } }",
       "UNKNOWN_FIELD: field 'pets' is of composite type 'Pet' and must have a selection set @1:20"},
      // A union's selections are checked only where a type of the same name gives them a parent.
      {"{ catOrDog { anything nope(x: 1) @whatever } }", "ok"},
      {"{ shadow { x nope } }", "UNKNOWN_FIELD: field 'nope' does not exist on type 'Shadow' @1:14"},
      {"{ mystery mystery2: mystery { a b { c } } }", "ok"},
      {"{ filter { name min } }", "ok"},
      {"{ dog { nonNullName @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' can only be applied to a list-typed field, but 'nonNullName' "
       "is 'String!' @1:21"},
      {"{ dog { barks @auth(role: \"x\") @stream(if: false) @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' can only be applied to a list-typed field, but 'barks' is "
       "'Boolean' @1:32"},
      {"{ dog { tricks @stream(initialCount: 2, label: \"t\") nicknames @stream } }", "ok"},
      {"{ dog { name(x: 1) @stream } }",
       "UNKNOWN_ARGUMENT: unknown argument 'x' on 'name' @1:14"},  // arguments before the placement
  });
  expect_outcomes(
      {
          {"{ first_name python_name: renamed aB { name } }", "ok"},
          {"{ firstName }", "UNKNOWN_FIELD: field 'firstName' does not exist on type 'Query' @1:3"},
          {"{ required(a: 1, max_count: 2) }", "ok"},
      },
      *make_schema(false));
  // A name can be a scalar, a union and a type at once: scalar wins over union, union over type.
  auto overlapping = SchemaBuilder()
                         .add(object("Query", {field("both", "Both"), field("choice", "Choice")}))
                         .add_scalar("Both")
                         .add_union("Both", {"Query"})
                         .add(enumeration("Choice", {"A"}))
                         .add_union("Choice", {"Query"})
                         .build();
  expect_outcomes(
      {
          {"{ both }", "ok"},
          {"{ both { x } }", "UNKNOWN_FIELD: field 'both' is of leaf type 'Both' and cannot have a selection set @1:8"},
          {"{ choice }",
           "UNKNOWN_FIELD: field 'choice' is of composite type 'Choice' and must have a selection set @1:3"},
          {"{ choice { x } }",
           "UNKNOWN_FIELD: field 'x' does not exist on type 'Choice' @1:12"},  // the enum of the same name is the
                                                                               // parent
      },
      *overlapping);
}

TEST(ValidationTest, Fragments) {
  expect_outcomes({
      {"{ dog { ...Nope } }", "INVALID_FRAGMENT_TARGET: undefined fragment 'Nope' @1:9"},
      {"{ dog { ...Nope @stream } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' is not allowed at this location (FRAGMENT_SPREAD) @1:17"},
      {"{ dog { ...F } }\nfragment F on Dog { name ...F }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'F' @2:26"},
      {"{ dog { ...A } }\nfragment A on Dog { ...B }\nfragment B on Dog { owner { name } ...A }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'A' @3:36"},
      {"{ dog { ...A } }\nfragment A on Dog { ... on Pet { ...A } }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'A' @2:34"},
      {"{ dog { ...A ...A ... { ...A } } }\nfragment A on Dog { name ...B }\nfragment B on Dog { barks }", "ok"},
      // B is walked first and remembered; a cycle below it is still found from A.
      {"{ dog { ...B ...A } }\nfragment A on Dog { ...B }\nfragment B on Dog { name }", "ok"},
      {"{ dog { ...B ...A } }\nfragment A on Dog { ...B ...C }\nfragment B on Dog { name }\nfragment C on Dog { ...A }",
       "INVALID_FRAGMENT_TARGET: Fragment cycle detected involving 'A' @4:21"},
      {"{ dog { ...F } }\nfragment F on Nope { name }",
       "INVALID_FRAGMENT_TARGET: fragment 'F' targets unknown type 'Nope' @2:12"},
      {"{ pet { ...F } }\nfragment F on CatOrDog { __typename }",
       "INVALID_FRAGMENT_TARGET: fragment 'F' targets unknown type 'CatOrDog' @2:12"},
      {"{ dog { ... on Nope { name } } }",
       "INVALID_FRAGMENT_TARGET: inline fragment targets unknown type 'Nope' @1:13"},
      {"{ pet { ... on CatOrDog { name } } }",
       "INVALID_FRAGMENT_TARGET: inline fragment targets unknown type 'CatOrDog' @1:13"},
      {"{ dog { ... on Cat { meows } } }",
       "INVALID_FRAGMENT_TARGET: fragment on 'Cat' can never apply to 'Dog' -- they share no possible types @1:13"},
      {"{ dog { ...C } }\nfragment C on Cat { meows }",
       "INVALID_FRAGMENT_TARGET: fragment on 'Cat' can never apply to 'Dog' -- they share no possible types @1:9"},
      {"{ human(id: \"1\") { ... on Pet { name } } }",
       "INVALID_FRAGMENT_TARGET: fragment on 'Pet' can never apply to 'Human' -- they share no possible types @1:24"},
      {"{ shadow { ... on Dog { name } } }",
       "INVALID_FRAGMENT_TARGET: fragment on 'Dog' can never apply to 'Shadow' -- they share no possible types @1:16"},
      {"{ dog { ... on Filter { name } } }",
       "INVALID_FRAGMENT_TARGET: fragment on 'Filter' can never apply to 'Dog' -- they share no possible types @1:13"},
      {"{ pet { ... on Dog { barks } ...C ... on Pet { name } } }\nfragment C on Cat { meows }", "ok"},
      {"{ dog { ... on Pet { name } } shadow { ... on Cat { meows } } }", "ok"},
      // An interface nobody implements takes any type, and goes anywhere.
      {"{ lonely { ... on Dog { name } ... on Human { name } } dog { ... on Lonely { id } } }", "ok"},
      {"{ dog { ... { barks } ... @include(if: true) { nope } } }",
       "UNKNOWN_FIELD: field 'nope' does not exist on type 'Dog' @1:48"},
  });
}

TEST(ValidationTest, Directives) {
  expect_outcomes({
      {"{ name @skip(unknown: 1) dog @include { name } ... @skip { name } }", "ok"},  // left to lowering
      {"{ name @defer }",
       "INVALID_DIRECTIVE_LOCATION: directive '@defer' is not allowed at this location (FIELD) @1:8"},
      {"{ dog { ... @stream { name } } }",
       "INVALID_DIRECTIVE_LOCATION: directive '@stream' is not allowed at this location (INLINE_FRAGMENT) @1:13"},
      {"{ dog { ... @defer(if: null, label: \"x\") { name } ...F @defer } }\nfragment F on Dog { barks }", "ok"},
      {"{ dog { ... @defer(if: \"yes\") { name } } }",
       "ARGUMENT_TYPE_MISMATCH: argument 'if' on '@defer' expected a boolean, got a string @1:24"},
      {"{ dog { tricks @stream(if: true, depth: 1) } }",
       "UNKNOWN_ARGUMENT: unknown argument 'depth' on '@stream' @1:34"},
      {"{ dog { tricks @stream(initialCount: 1.5) } }",
       "ARGUMENT_TYPE_MISMATCH: argument 'initialCount' on '@stream' expected an integer, got a floating-point "
       "number @1:38"},
      {"{ dog { ...F @defer(if: $nope) } }\nfragment F on Dog { name }",
       "ARGUMENT_TYPE_MISMATCH: argument 'if' on '@defer' references undefined variable '$nope' @1:25"},
      // Repeats are not this check's concern; the arguments count as having a default.
      {"query($b: Boolean, $n: Int) { dog { tricks @stream(if: $b, if: true, initialCount: $n) } }", "ok"},
      {"query($s: String) { dog { tricks @stream(label: \"a\", if: $s) } }",
       "ARGUMENT_TYPE_MISMATCH: argument 'if' on '@stream' expects 'Boolean', but variable '$s' is declared as "
       "'String' @1:58"},
      {"{ name @auth(role: \"a\") @nope @alsoNope }", "INVALID_DIRECTIVE_LOCATION: unknown directive '@nope' @1:25"},
      {"{ dog { ...F @auth(role: \"x\") } }\nfragment F on Dog { name }",
       "INVALID_DIRECTIVE_LOCATION: directive '@auth' is not allowed at this location (FRAGMENT_SPREAD) @1:14"},
      {"{ name @auth }", "ARGUMENT_TYPE_MISMATCH: missing required argument 'role' on 'auth' @1:8"},
      {"{ name @auth(role: 1) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'role' on 'auth' expected a string, got a number @1:20"},
      {"{ dog { ... @mark(min_level: 1) { name } } }",
       "UNKNOWN_ARGUMENT: unknown argument 'min_level' on 'mark' @1:19"},
      {"{ dog { ... @mark(minLevel: 1, minLevel: 2) { name } } }",
       "UNKNOWN_ARGUMENT: argument 'minLevel' is provided more than once on 'mark' @1:32"},
      {"{ dog @auth(role: \"r\") { ... @mark(minLevel: 1) { name } ...F @mark } }\nfragment F on Dog { name }", "ok"},
  });
}

TEST(ValidationTest, Arguments) {
  expect_outcomes({
      {"{ args(i: 1, s: \"a\", i: 2) }",
       "UNKNOWN_ARGUMENT: argument 'i' is provided more than once on 'args' @1:22"},  // repeats come first
      {"{ args(zz: 1, zz: 2) }", "UNKNOWN_ARGUMENT: argument 'zz' is provided more than once on 'args' @1:15"},
      {"{ args(zz: 1, i: true, i: 2) }", "UNKNOWN_ARGUMENT: argument 'i' is provided more than once on 'args' @1:24"},
      {"{ alias: args(i: 1, zz: 1) }", "UNKNOWN_ARGUMENT: unknown argument 'zz' on 'args' @1:21"},
      {"{\n  r: required(a: 1)\n}", "ARGUMENT_TYPE_MISMATCH: missing required argument 'maxCount' on 'required' @2:3"},
      {"{ required(maxCount: 1) }", "ARGUMENT_TYPE_MISMATCH: missing required argument 'a' on 'required' @1:3"},
      {"{ required(a: 1, max_count: 1) }", "UNKNOWN_ARGUMENT: unknown argument 'max_count' on 'required' @1:18"},
      {"{ required(a: null, maxCount: 1) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'a' on 'required' must not be null @1:15"},
      {"{ required(a: 1, maxCount: \"x\") }",
       "ARGUMENT_TYPE_MISMATCH: argument 'maxCount' on 'required' expected an integer, got a string @1:28"},  // the
                                                                                                              // first
                                                                                                              // argument
                                                                                                              // exposing
                                                                                                              // the
                                                                                                              // name
      {"{ required(a: 1, maxCount: 2) required2: required(maxCount: 0, c: null, a: 3, b: 4) }", "ok"},
  });
}

TEST(ValidationTest, LiteralsAgainstDeclaredTypes) {
  const std::pair<const char*, const char*> cases[] = {
      // argument, and why it does not fit
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
      {"ints: 1", "expected a list, got a number"},
      {"ints: [1, null, 3]", ""},
      {"ints: [1, \"x\", 2.5]", "expected an integer, got a string"},
      {"strictInts: [1, null]", "must not be null"},
      {"nested: [[1], [2, 3.5]]", "expected an integer, got a floating-point number"},
      {"nested: [1]", "expected a list, got a number"},
      {"nested: [null, []]", ""},
      {"color: DARK_BLUE", ""},
      {"color: light_green", ""},
      {"color: \"RED\"", "expected a value of enum 'Color', got a string"},
      {"color: BLUE", "'BLUE' is not a valid value for enum 'Color'"},
      {"color: dark_blue", "'dark_blue' is not a valid value for enum 'Color'"},
      {"color: lightGreen", "'lightGreen' is not a valid value for enum 'Color'"},
      {"filter: {}", ""},
      {"filter: {unknown: [true], min: \"x\"}", "field 'min': expected an integer, got a string"},
      {"filter: [{min: 1}]", "expected an input object for 'Filter', got a list"},
      {"filter: {min: null}", "field 'min': must not be null"},
      {"filter: {limit: null}", "field 'limit': must not be null"},
      {"filter: {inner: {inner: {min: true}}}",
       "field 'inner': field 'inner': field 'min': expected an integer, got a boolean"},
      {"filter: {tags: [\"a\", 1]}", "field 'tags': expected a string, got a number"},
      {"filter: {maxLen: \"x\"}", "field 'maxLen': expected an integer, got a string"},
      {"filter: {max_len: \"x\"}", ""},
      {"when: {any: [1, \"x\"]}", ""},
      {"dog: 1", ""},
      {"mystery: [RED]", ""},
  };
  for (const auto& [argument, reason] : cases) {
    std::string_view name(argument, std::string_view(argument).find(':'));
    // The value starts right after "{ args(name: ".
    std::string expected = "ARGUMENT_TYPE_MISMATCH: argument '" + std::string(name) + "' on 'args' " + reason +
                           " @1:" + std::to_string(name.size() + 10);
    EXPECT_EQ(outcome(std::string("{ args(") + argument + ") }"), *reason ? expected : "ok");
  }
}

TEST(ValidationTest, Variables) {
  expect_outcomes({
      {"query($i: Int) { args(i: $j) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'i' on 'args' references undefined variable '$j' @1:26"},
      {"query($v: Int) { required(a: $v, maxCount: 1) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'a' on 'required' expects 'Int!', but variable '$v' is declared as 'Int' "
       "@1:30"},
      {"query($v: Int = 1) { required(a: $v, maxCount: 1) }", "ok"},
      {"query($v: Int) { required(a: 1, b: $v, maxCount: 1) }", "ok"},
      {"query($v: Int!) { args(i: $v) }", "ok"},
      {"query($v: String) { args(i: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'i' on 'args' expects 'Int', but variable '$v' is declared as 'String' @1:29"},
      {"query($v: [Int]) { args(strictInts: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'strictInts' on 'args' expects '[Int!]', but variable '$v' is declared as "
       "'[Int]' @1:37"},
      {"query($v: [Int] = [1]) { args(strictInts: $v) }", "ok"},
      {"query($v: [Int!]!) { args(ints: $v) }", "ok"},
      {"query($v: Int) { args(ints: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'ints' on 'args' expects '[Int]', but variable '$v' is declared as 'Int' "
       "@1:29"},
      {"query($v: [Int]) { args(i: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'i' on 'args' expects 'Int', but variable '$v' is declared as '[Int]' @1:28"},
      {"query($v: [[Int!]!]!) { args(nested: $v) }", "ok"},
      {"query($v: [[Int]!]) { args(nested: $v i: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'i' on 'args' expects 'Int', but variable '$v' is declared as '[[Int]!]' "
       "@1:42"},
      {"query($v: [Int]) { args(nested: [$v, [1]]) }", "ok"},
      {"query($x: String) { args(ints: [1, $x]) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'ints' on 'args' expects 'Int', but variable '$x' is declared as 'String' "
       "@1:32"},
      {"query($v: Int) { args(filter: {min: 1, limit: $v}) }", "ok"},
      {"query($v: Int) { args(filter: {min: $v}) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'filter' on 'args' field 'min': expects 'Int!', but variable '$v' is "
       "declared as 'Int' @1:31"},
      {"query($v: Whatever) { args(when: $v) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'when' on 'args' expects 'DateTime', but variable '$v' is declared as "
       "'Whatever' @1:34"},
      {"query($v: Filter) { args(filter: $v) }", "ok"},
      // Variables of other operations are not visible.
      {"query A($x: Int) { name } query B { args(i: $x) }",
       "ARGUMENT_TYPE_MISMATCH: argument 'i' on 'args' references undefined variable '$x' @1:45", "B"},
  });
}

TEST(ValidationTest, DepthAndRepeatedWork) {
  // Fragments spreading each other twice are walked once.
  EXPECT_EQ(outcome(doubling_fragments(30, "name dog { name }", "query ", "Query")), "ok");
  EXPECT_EQ(outcome(doubling_fragments(30, "count", "subscription ", "Subscription")), "ok");
  EXPECT_EQ(outcome(doubling_fragments(30, "nope", "query ", "Query")),
            "UNKNOWN_FIELD: field 'nope' does not exist on type 'Query' @32:25");
  EXPECT_EQ(outcome(doubling_fragments(30, "count newDog { name }", "subscription ", "Subscription")),
            "a subscription operation must have exactly one root field, but this one selects 2 @1:14");
  // The operation's selection set is level 1 and fragment Fi's is level i + 2, so
  // the spread of F511 (on line 512, inside F510) is the first that would pass level 512.
  const std::string too_deep = "query is nested too deeply: more than 512 levels of selections and fragment spreads";
  EXPECT_EQ(outcome(fragment_chain(100000, "__typename", "query ", "Query")), too_deep + " @512:26");
  EXPECT_EQ(outcome(fragment_chain(100000, "__typename", "subscription ", "Subscription")), too_deep + " @512:33");
  EXPECT_EQ(outcome(fragment_chain(511, "name", "query ", "Query")), "ok");
  EXPECT_EQ(outcome(fragment_chain(511, "dog { name }", "query ", "Query")), too_deep + " @512:26");
  // A fragment remembered as fine at a shallow level is walked again where it
  // would pass the bound, and fails where a fresh walk would: F0's selection set
  // is at level 2 + levels, F499's at 501 + levels, so with 12 levels the spread
  // of F499 (inside F498, at level 512) is refused.
  auto wrapped = [](int levels) {
    std::string text = "{ ...F0 ";
    for (int i = 0; i < levels; ++i) text += "... { ";
    text += "...F0";
    for (int i = 0; i < levels; ++i) text += " }";
    std::string chain = fragment_chain(500, "name", "", "Query");
    return text + " }\n" + chain.substr(chain.find('\n') + 1);
  };
  EXPECT_EQ(outcome(wrapped(11)), "ok");
  EXPECT_EQ(outcome(wrapped(12)), too_deep + " @500:26");
}

// One document and one schema, first used by many request threads at once.
TEST(ValidationTest, ParallelValidationsOfOneDocumentAgree) {
  auto fresh = make_schema();
  DocumentPtr document = *parse_document(
      "query($id: ID!) { human(id: $id) { pets { ...P } } dog { ...P nope } }\n"
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
