#include "engine/sdl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace quenfel {
namespace {

GraphQLType named(std::string name) { return GraphQLType::named(std::move(name)); }
GraphQLType non_null(GraphQLType inner) { return GraphQLType::non_null(std::move(inner)); }
GraphQLType list_of(GraphQLType item) { return GraphQLType::list(std::move(item)); }

AppliedDirective applied(std::string name, std::vector<std::pair<std::string, Json>> arguments = {}) {
  return AppliedDirective{.name = std::move(name), .arguments = std::move(arguments)};
}

std::unique_ptr<CompiledSchema> schema_with_query() {
  auto schema = std::make_unique<CompiledSchema>();
  schema->query_type_name = "Query";
  return schema;
}

// The text of the schema less its leading schema block.
std::string blocks_after_schema(const CompiledSchema& schema) {
  std::string sdl = render_sdl(schema);
  std::size_t end = sdl.find("}\n\n");
  return end == std::string::npos ? "" : sdl.substr(end + 3);
}

template <class Piece, class... Args>
std::string piece(Piece render, const Args&... args) {
  std::string out;
  render(out, args...);
  return out;
}

std::string json_text(const Json& value) { return piece(render_json_value, value); }

// One schema that uses every part of the format.
std::unique_ptr<CompiledSchema> feature_schema(bool auto_camel_case) {
  auto schema = schema_with_query();
  CompiledSchema& s = *schema;
  s.auto_camel_case = auto_camel_case;
  s.mutation_type_name = "Mutation";
  s.subscription_type_name = "Subscription";
  s.schema_applied_directives = {applied("contact", {{"name", "ops team"}})};

  auto add = [&](TypeDefinition type) { s.types.emplace(type.name, std::move(type)); };
  add({.name = "Query",
       .description = "The root of all queries",
       .fields =
           {
               {.name = "id", .graphql_type = non_null(named("ID"))},
               {.name = "user_by_id",
                .graphql_type = named("User"),
                .description = "Find a user.\nReturns null when \"absent\".",
                .deprecation_reason = "use \"node\"\tinstead",
                .arguments =
                    {
                        {.name = "user_id", .graphql_type = non_null(named("ID")), .description = "The user's id"},
                        {.name = "include_deleted",
                         .graphql_type = named("Boolean"),
                         .default_value = "false",
                         .deprecation_reason = "",
                         .directives = {applied("internal")},
                         .has_default = true},
                        {.name = "max_age",
                         .graphql_name = "maxAgeSeconds",
                         .graphql_type = list_of(non_null(named("Int"))),
                         .default_value = "[1, 2]",
                         .description = ""},
                    },
                .directives = {applied("tag", {{"name", "x"}})}},
               {.name = "__secret", .graphql_type = named("String")},
               {.name = "hidden", .graphql_name = "__hidden", .graphql_type = named("String")},
               {.name = "legacy_total", .graphql_type = named("Int"), .default_value = "0"},
               {.name = "plain", .graphql_type = named("String"), .description = ""},
           },
       .directives = {applied("cost", {{"weight", 2.5}})},
       .interfaces = {"Node"}});
  add({.name = "Node", .fields = {{.name = "id", .graphql_type = non_null(named("ID"))}}, .kind = TypeKind::Interface});
  add({.name = "Named",
       .fields = {{.name = "display_name", .graphql_type = non_null(named("String"))}},
       .kind = TypeKind::Interface});
  add({.name = "User",
       .fields =
           {
               {.name = "id", .graphql_type = non_null(named("ID"))},
               {.name = "display_name", .graphql_type = non_null(named("String"))},
               {.name = "role", .graphql_type = named("Role")},
           },
       .directives = {applied("meta", {{"info", Json::object({{"b", 1},
                                                               {"a", Json::array({1, true, nullptr, -3, "q\"uote"})},
                                                               {"c", Json::object()}})},
                                       {"none", nullptr},
                                       {"empty", Json::array()}})},
       .interfaces = {"Node", "Named"}});
  add({.name = "UserInput",
       .fields =
           {
               {.name = "first_name",
                .graphql_type = named("String"),
                .description = "Given name",
                .default_value = "\"Ann\""},
               {.name = "age", .graphql_type = named("Int"), .deprecation_reason = "no longer used", .default_value = "0"},
               {.name = "nick_name", .graphql_name = "nick", .graphql_type = named("String")},
           },
       .directives = {applied("tag", {{"name", "input"}})},
       .kind = TypeKind::InputObject,
       .one_of = true});
  add({.name = "Role",
       .description = "Access level",
       .enum_values =
           {
               {.name = "ADMIN", .description = "Full access"},
               {.name = "read_only", .deprecation_reason = "", .directives = {applied("tag", {{"name", "ro"}})}},
               {.name = "guest", .graphql_name = "GUEST_USER"},
           },
       .kind = TypeKind::Enum});
  add({.name = "Mutation",
       .fields = {{.name = "update_user",
                   .graphql_type = named("User"),
                   .arguments = {{.name = "input", .graphql_type = non_null(named("UserInput"))}}}},
       .one_of = true});
  add({.name = "Subscription", .fields = {{.name = "user_changed", .graphql_type = non_null(named("User"))}}});
  add({.name = "__Schema", .fields = {{.name = "types", .graphql_type = named("String")}}});

  s.unions.emplace("SearchResult", UnionDefinition{.name = "SearchResult",
                                                   .description = "not printed",
                                                   .members = {"User", "Query"},
                                                   .has_custom_resolve_type = true});
  s.unions.emplace("__Internal", UnionDefinition{.name = "__Internal", .members = {"User"}});

  s.scalar_names = {"DateTime", "String", "ID", "Boolean", "Int", "Float"};
  s.scalar_descriptions = {{"DateTime", "An ISO-8601 instant"}, {"Unused", "never printed"}};
  s.scalar_specified_by_urls = {{"DateTime", "https://example.com/date-time"}, {"Unused", "https://unused"}};
  s.scalar_directives = {{"DateTime", {applied("tag", {{"name", "time"}})}}, {"Unused", {applied("tag")}}};

  s.directives.emplace("upper", OperationDirectiveDefinition{.name = "upper",
                                                             .locations = {OperationDirectiveLocation::FIELD}});
  s.directives.emplace(
      "cached",
      OperationDirectiveDefinition{
          .name = "cached",
          .description = "Caches the field",
          .locations = {OperationDirectiveLocation::QUERY, OperationDirectiveLocation::FIELD},
          .arguments = {{.name = "ttl_seconds", .graphql_type = named("Int"), .default_value = "60", .has_default = true},
                        {.name = "scope", .graphql_name = "cacheScope", .graphql_type = named("String")}}});

  using L = SchemaDirectiveLocation;
  s.schema_directives.emplace(
      "tag", SchemaDirectiveDefinition{.name = "tag",
                                       .description = "Labels a schema element",
                                       .locations = {L::OBJECT, L::FIELD_DEFINITION, L::ARGUMENT_DEFINITION,
                                                     L::INPUT_OBJECT, L::ENUM_VALUE, L::SCALAR},
                                       .fields = {{.name = "name", .graphql_type = non_null(named("String"))}},
                                       .repeatable = true});
  s.schema_directives.emplace(
      "cost", SchemaDirectiveDefinition{.name = "cost",
                                        .locations = {L::OBJECT, L::FIELD_DEFINITION},
                                        .fields = {{.name = "weight", .graphql_type = non_null(named("Float"))}}});
  s.schema_directives.emplace(
      "contact", SchemaDirectiveDefinition{.name = "contact",
                                           .locations = {L::SCHEMA},
                                           .fields = {{.name = "contact_name", .graphql_type = named("String")},
                                                      {.name = "team_id", .graphql_name = "team",
                                                       .graphql_type = named("ID")}}});
  s.schema_directives.emplace("internal", SchemaDirectiveDefinition{.name = "internal",
                                                                    .locations = {L::ARGUMENT_DEFINITION}});
  return schema;
}

TEST(RenderSdlTest, FeatureSchemaWithCamelCase) {
  const char* expected = R"(schema @contact(name: "ops team") {
  query: Query
  mutation: Mutation
  subscription: Subscription
}

type Mutation {
  updateUser(input: UserInput!): User
}

interface Named {
  displayName: String!
}

interface Node {
  id: ID!
}

"""The root of all queries"""
type Query implements Node @cost(weight: 2.5) {
  id: ID!
  """Find a user.
Returns null when "absent"."""
  userById("""The user's id""" userId: ID!, includeDeleted: Boolean = false @deprecated(reason: "") @internal, maxAgeSeconds: [Int!] = [1, 2]): User @deprecated(reason: "use \"node\"\tinstead") @tag(name: "x")
  Secret: String
  legacyTotal: Int
  plain: String
}

"""Access level"""
enum Role {
  """Full access"""
  ADMIN
  read_only @deprecated(reason: "") @tag(name: "ro")
  GUEST_USER
}

type Subscription {
  userChanged: User!
}

type User implements Node & Named @meta(info: {a: [1, true, null, -3, "q\"uote"], b: 1, c: {}}, none: null, empty: []) {
  id: ID!
  displayName: String!
  role: Role
}

input UserInput @tag(name: "input") @oneOf {
  """Given name"""
  firstName: String = "Ann"
  age: Int = 0 @deprecated(reason: "no longer used")
  nick: String
}

union SearchResult = User | Query

union __Internal = User

scalar Boolean

"""An ISO-8601 instant"""
scalar DateTime @specifiedBy(url: "https://example.com/date-time") @tag(name: "time")

scalar Float

scalar ID

scalar Int

scalar String

"""Caches the field"""
directive @cached(ttlSeconds: Int = 60, cacheScope: String) on QUERY | FIELD

directive @upper on FIELD

directive @contact(contactName: String, team: ID) on SCHEMA

directive @cost(weight: Float!) on OBJECT | FIELD_DEFINITION

directive @internal on ARGUMENT_DEFINITION

"""Labels a schema element"""
directive @tag(name: String!) repeatable on OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | INPUT_OBJECT | ENUM_VALUE | SCALAR)";
  EXPECT_EQ(render_sdl(*feature_schema(true)), expected);
}

TEST(RenderSdlTest, FeatureSchemaWithoutCamelCase) {
  const char* expected = R"(schema @contact(name: "ops team") {
  query: Query
  mutation: Mutation
  subscription: Subscription
}

type Mutation {
  update_user(input: UserInput!): User
}

interface Named {
  display_name: String!
}

interface Node {
  id: ID!
}

"""The root of all queries"""
type Query implements Node @cost(weight: 2.5) {
  id: ID!
  """Find a user.
Returns null when "absent"."""
  user_by_id("""The user's id""" user_id: ID!, include_deleted: Boolean = false @deprecated(reason: "") @internal, maxAgeSeconds: [Int!] = [1, 2]): User @deprecated(reason: "use \"node\"\tinstead") @tag(name: "x")
  legacy_total: Int
  plain: String
}

"""Access level"""
enum Role {
  """Full access"""
  ADMIN
  read_only @deprecated(reason: "") @tag(name: "ro")
  GUEST_USER
}

type Subscription {
  user_changed: User!
}

type User implements Node & Named @meta(info: {a: [1, true, null, -3, "q\"uote"], b: 1, c: {}}, none: null, empty: []) {
  id: ID!
  display_name: String!
  role: Role
}

input UserInput @tag(name: "input") @oneOf {
  """Given name"""
  first_name: String = "Ann"
  age: Int = 0 @deprecated(reason: "no longer used")
  nick: String
}

union SearchResult = User | Query

union __Internal = User

scalar Boolean

"""An ISO-8601 instant"""
scalar DateTime @specifiedBy(url: "https://example.com/date-time") @tag(name: "time")

scalar Float

scalar ID

scalar Int

scalar String

"""Caches the field"""
directive @cached(ttl_seconds: Int = 60, cacheScope: String) on QUERY | FIELD

directive @upper on FIELD

directive @contact(contact_name: String, team: ID) on SCHEMA

directive @cost(weight: Float!) on OBJECT | FIELD_DEFINITION

directive @internal on ARGUMENT_DEFINITION

"""Labels a schema element"""
directive @tag(name: String!) repeatable on OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | INPUT_OBJECT | ENUM_VALUE | SCALAR)";
  EXPECT_EQ(render_sdl(*feature_schema(false)), expected);
}

TEST(RenderSdlTest, SchemaBlock) {
  auto schema = schema_with_query();
  EXPECT_EQ(render_sdl(*schema), "schema {\n  query: Query\n}");
  schema->mutation_type_name = "Mutation";
  EXPECT_EQ(render_sdl(*schema), "schema {\n  query: Query\n  mutation: Mutation\n}");
  schema->mutation_type_name.reset();
  schema->subscription_type_name = "Sub";
  schema->schema_applied_directives = {applied("a"), applied("b")};
  EXPECT_EQ(render_sdl(*schema), "schema @a @b {\n  query: Query\n  subscription: Sub\n}");
}

TEST(RenderSdlTest, NamesSortByBytesAndOnlyTypesAreFiltered) {
  auto schema = schema_with_query();
  for (const char* name : {"b", "A", "Ab", "__Schema", "_x"}) {
    schema->types.emplace(name, TypeDefinition{.name = name, .fields = {{.name = "f", .graphql_type = named("Int")}}});
  }
  schema->scalar_names = {"__Scalar", "Z", "a"};
  schema->directives.emplace("__d", OperationDirectiveDefinition{.name = "__d"});
  EXPECT_EQ(blocks_after_schema(*schema),
            "type A {\n  f: Int\n}\n\ntype Ab {\n  f: Int\n}\n\ntype _x {\n  f: Int\n}\n\ntype b {\n  f: Int\n}\n\n"
            "scalar Z\n\nscalar __Scalar\n\nscalar a\n\ndirective @__d on ");
}

TEST(RenderSdlTest, MembersFollowTheKind) {
  auto schema = schema_with_query();
  schema->types.emplace("E", TypeDefinition{.name = "E",
                                            .fields = {{.name = "ignored", .graphql_type = named("Int")}},
                                            .enum_values = {{.name = "my_value"}},
                                            .kind = TypeKind::Enum});
  schema->types.emplace("O", TypeDefinition{.name = "O",
                                            .fields = {{.name = "my_field", .graphql_type = named("Int")}},
                                            .enum_values = {{.name = "IGNORED"}},
                                            .one_of = true});
  EXPECT_EQ(blocks_after_schema(*schema), "enum E {\n  my_value\n}\n\ntype O {\n  myField: Int\n}");
}

TEST(RenderSdlTest, FieldsHiddenByTheirExposedName) {
  auto schema = schema_with_query();
  schema->types.emplace("T", TypeDefinition{.name = "T",
                                            .fields = {
                                                {.name = "__private", .graphql_type = named("Int")},
                                                {.name = "x", .graphql_name = "__private", .graphql_type = named("Int")},
                                                {.name = "__", .graphql_type = named("Int")},
                                            }});
  EXPECT_EQ(blocks_after_schema(*schema), "type T {\n  Private: Int\n  : Int\n}");
  schema->auto_camel_case = false;
  EXPECT_EQ(blocks_after_schema(*schema), "type T {\n}");
}

TEST(RenderSdlTest, ShapesThatAreNotValidGraphQLArePrintedAsTheyAre) {
  auto schema = schema_with_query();
  schema->types.emplace("T", TypeDefinition{.name = "T"});
  schema->unions.emplace("U", UnionDefinition{.name = "U"});
  schema->directives.emplace("d", OperationDirectiveDefinition{.name = "d"});
  schema->schema_directives.emplace("s", SchemaDirectiveDefinition{.name = "s", .description = "has \"\"\" inside"});
  EXPECT_EQ(blocks_after_schema(*schema),
            "type T {\n}\n\nunion U = \n\ndirective @d on \n\n\"\"\"has \"\"\" inside\"\"\"\ndirective @s on ");
}

TEST(RenderSdlTest, ScalarExtras) {
  auto schema = schema_with_query();
  schema->scalar_names = {"Url", "Bare"};
  schema->scalar_specified_by_urls = {{"Url", ""}};
  schema->scalar_descriptions = {{"Url", ""}, {"Bare", "Plain \"text\"\nhere"}};
  EXPECT_EQ(blocks_after_schema(*schema),
            "\"\"\"Plain \"text\"\nhere\"\"\"\nscalar Bare\n\nscalar Url @specifiedBy(url: \"\")");
}

TEST(RenderSdlTest, SchemaDirectiveBlock) {
  SchemaDirectiveDefinition directive{.name = "name",
                                      .locations = {SchemaDirectiveLocation::OBJECT, SchemaDirectiveLocation::UNION},
                                      .repeatable = true};
  EXPECT_EQ(piece(render_schema_directive, directive, true), "directive @name repeatable on OBJECT | UNION");
  directive.repeatable = false;
  directive.fields = {{.name = "max_len", .graphql_type = named("Int")},
                      {.name = "a_b", .graphql_name = "a_b", .graphql_type = non_null(list_of(named("ID")))}};
  EXPECT_EQ(piece(render_schema_directive, directive, true), "directive @name(maxLen: Int, a_b: [ID]!) on OBJECT | UNION");
}

TEST(RenderSdlTest, Arguments) {
  EXPECT_EQ(piece(render_arguments, std::vector<ArgumentDefinition>{}, true), "");
  ArgumentDefinition argument{.name = "first_name",
                              .graphql_type = non_null(list_of(non_null(list_of(named("Int"))))),
                              .default_value = "\"x\"",
                              .description = "Line one\nline two",
                              .directives = {applied("a"), applied("b", {{"n", 1}})},
                              .has_default = false};
  EXPECT_EQ(piece(render_argument, argument, true),
            "\"\"\"Line one\nline two\"\"\" firstName: [[Int]!]! = \"x\" @a @b(n: 1)");
  EXPECT_EQ(piece(render_arguments, std::vector{argument, ArgumentDefinition{.name = "b", .graphql_type = named("B")}},
                  false),
            "(\"\"\"Line one\nline two\"\"\" first_name: [[Int]!]! = \"x\" @a @b(n: 1), b: B)");
}

TEST(RenderSdlTest, AppliedDirectiveArgumentNamesAreKeptAsStored) {
  EXPECT_EQ(piece(render_applied_directive, applied("d", {{"max_len", 3}, {"__x", "y"}})), "@d(max_len: 3, __x: \"y\")");
  EXPECT_EQ(piece(render_applied_directives, std::vector<AppliedDirective>{}), "");
}

TEST(RenderJsonValueTest, ScalarsAndContainers) {
  EXPECT_EQ(json_text(nullptr), "null");
  EXPECT_EQ(json_text(true), "true");
  EXPECT_EQ(json_text(false), "false");
  EXPECT_EQ(json_text(0), "0");
  EXPECT_EQ(json_text(-42), "-42");
  EXPECT_EQ(json_text(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(json_text(UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(json_text(Json::array({1, true, nullptr})), "[1, true, null]");
  EXPECT_EQ(json_text(Json::object({{"b", 1}, {"a", 1}})), "{a: 1, b: 1}");
  EXPECT_EQ(json_text(Json::object({{"key with space", Json::array({Json::object(), Json::array()})}})),
            "{key with space: [{}, []]}");
  EXPECT_EQ(json_text("it's"), "\"it's\"");
}

TEST(RenderJsonValueTest, FloatsReadBackAsTheSameDouble) {
  EXPECT_EQ(json_text(2.5), "2.5");
  EXPECT_EQ(json_text(-0.1), "-0.1");
  for (double value : {0.1 + 0.2, 1.0, 1e300, 5e-324, -123456.789e10, 1.0 / 3.0}) {
    std::string text = json_text(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(RenderJsonValueTest, DeepNestingDoesNotExhaustTheStack) {
  constexpr int kDepth = 200000;
  Json root = Json::array();
  Json* innermost = &root;
  for (int i = 0; i < kDepth; ++i) {
    innermost->push_back(Json::object({{"k", Json::array()}}));
    innermost = &(*innermost)[0]["k"];
  }
  std::string expected = "[";
  for (int i = 0; i < kDepth; ++i) expected += "{k: [";
  for (int i = 0; i < kDepth; ++i) expected += "]}";
  expected += "]";
  EXPECT_TRUE(json_text(root) == expected);
}

TEST(RenderJsonValueTest, QuotedForm) {
  struct Case {
    std::string text;
    std::string quoted;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"", R"("")"},
      {R"(use "name")", R"("use \"name\"")"},
      {"a\nb", R"("a\nb")"},
      {"back\\slash \t tab \r cr", R"("back\\slash \t tab \r cr")"},
      {"nul\0!"s, R"("nul\0!")"},
      {"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
      {"caf\u00e9 \u65e5\u672c \U0001F600 'x'", "\"caf\u00e9 \u65e5\u672c \U0001F600 'x'\""},  // printable: copied
      {"nb\u00a0sp", R"("nb\u{a0}sp")"},                                                   // Zs
      {"zw\u200bsp\u200d", R"("zw\u{200b}sp\u{200d}")"},                                   // Cf
      {"\u2028\u2029", R"("\u{2028}\u{2029}")"},                                           // Zl, Zp
      {"\ue000\U0010FFFD", R"("\u{e000}\u{10fffd}")"},                                     // Co
      {"\u0378\U000E0080", R"("\u{378}\u{e0080}")"},                                       // Cn
      {"e\u0301 \u0903", "\"e\\u{301} \u0903\""},  // Grapheme_Extend, but not a spacing mark
      {"\u3000", R"("\u{3000}")"},
  };
  for (const Case& c : cases) EXPECT_EQ(json_text(c.text), c.quoted) << c.text;
}

TEST(RenderJsonValueTest, IllFormedUtf8IsEscapedByteByByte) {
  // Lone continuation byte, invalid lead byte, truncated sequence, encoded surrogate.
  EXPECT_EQ(json_text("a\x80z"), R"("a\u{80}z")");
  EXPECT_EQ(json_text("\xff"), R"("\u{ff}")");
  EXPECT_EQ(json_text("\xe2\x82"), R"("\u{e2}\u{82}")");
  EXPECT_EQ(json_text("\xed\xa0\x80!"), R"("\u{ed}\u{a0}\u{80}!")");
}

TEST(RenderSdlTest, DeeplyNestedTypeReference) {
  constexpr int kDepth = 10000;
  GraphQLType type = named("A");
  for (int i = 0; i < kDepth; ++i) type = i % 2 ? list_of(std::move(type)) : non_null(std::move(type));
  std::string text = piece(render_directive_field, DirectiveFieldDefinition{.name = "f", .graphql_type = type}, true);
  EXPECT_EQ(text, "f: " + type.to_sdl_string());
}

}  // namespace
}  // namespace quenfel
