#include "engine/sdl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

AppliedDirective applied(std::string name, std::vector<std::pair<std::string, Json>> arguments = {}) {
  return AppliedDirective{.name = std::move(name), .arguments = std::move(arguments)};
}

// One schema that uses every part of the format.
std::unique_ptr<CompiledSchema> feature_schema(bool auto_camel_case) {
  using L = SchemaDirectiveLocation;
  using O = OperationDirectiveLocation;
  auto schema =
      SchemaBuilder().mutation("Mutation").subscription("Subscription").auto_camel_case(auto_camel_case).build();
  CompiledSchema& s = *schema;
  // Arguments print as the declaration prints its fields; "name" is declared by no field.
  s.schema_applied_directives = {
      applied("contact", {{"contact_name", "ops team"}, {"team", "t1"}, {"name", "as stored"}})};
  auto add = [&](TypeDefinition type) { s.types.emplace(type.name, std::move(type)); };

  FieldDefinition user_by_id = field("user_by_id", "User",
                                     {arg("user_id", "ID!"), arg("include_deleted", "Boolean", true),
                                      renamed(arg("max_age", "[Int!]"), "maxAgeSeconds")});
  user_by_id.description = "Find a user.\nReturns null when \"absent\".";
  user_by_id.deprecation_reason = "use \"node\"\tinstead";
  user_by_id.directives = {applied("tag", {{"name", "x"}})};
  user_by_id.arguments[0].description = "The user's id";
  user_by_id.arguments[1].default_value = "false";
  user_by_id.arguments[1].deprecation_reason = "";
  user_by_id.arguments[1].directives = {applied("internal")};
  user_by_id.arguments[2].default_value = "[1, 2]";  // printed even without has_default
  user_by_id.arguments[2].description = "";
  TypeDefinition query = object("Query", {field("id", "ID!"), user_by_id, field("__secret", "String"),
                                          renamed(field("hidden", "String"), "__hidden"),
                                          with_default(field("legacy_total", "Int"), "0"), field("plain", "String")},
                                {"Node"});
  query.description = "The root of all queries";
  query.fields[5].description = "";
  query.directives = {applied("cost", {{"weight", 2.5}})};
  add(std::move(query));
  add(interface("Node", {field("id", "ID!")}));
  add(interface("Named", {field("display_name", "String!")}));
  TypeDefinition user =
      object("User", {field("id", "ID!"), field("display_name", "String!"), field("role", "Role")}, {"Node", "Named"});
  const Json info{{"b", 1}, {"a", {1, true, nullptr, -3, "q\"uote"}}, {"c", Json::object()}};
  user.directives = {applied("meta", {{"info", info}, {"none_at_all", nullptr}, {"empty", Json::array()}})};
  add(std::move(user));
  TypeDefinition user_input =
      input("UserInput", {with_default(field("first_name", "String"), "\"Ann\""),
                          with_default(field("age", "Int"), "0"), renamed(field("nick_name", "String"), "nick")});
  user_input.fields[0].description = "Given name";
  user_input.fields[1].deprecation_reason = "no longer used";
  user_input.directives = {applied("tag", {{"name", "input"}})};
  user_input.one_of = true;
  add(std::move(user_input));
  TypeDefinition role = enumeration("Role", {"ADMIN", "read_only", "guest=GUEST_USER"});
  role.description = "Access level";
  role.enum_values[0].description = "Full access";
  role.enum_values[1].deprecation_reason = "";
  role.enum_values[1].directives = {applied("tag", {{"name", "ro"}})};
  add(std::move(role));
  TypeDefinition mutation = object("Mutation", {field("update_user", "User", {arg("input", "UserInput!")})});
  mutation.one_of = true;  // printed for input types only
  add(std::move(mutation));
  add(object("Subscription", {field("user_changed", "User!")}));
  add(object("__Schema", {field("types", "String")}));

  s.unions.emplace("SearchResult", UnionDefinition{"SearchResult", "not printed", {"User", "Query"}, true});
  s.unions.emplace("__Internal", UnionDefinition{"__Internal", std::nullopt, {"User"}, false});
  s.scalar_names = {"DateTime", "String", "ID", "Boolean", "Int", "Float"};
  s.scalar_descriptions = {{"DateTime", "An ISO-8601 instant"}, {"Unused", "never printed"}};
  s.scalar_specified_by_urls = {{"DateTime", "https://example.com/date-time"}, {"Unused", "https://unused"}};
  s.scalar_directives = {{"DateTime", {applied("tag", {{"name", "time"}})}}, {"Unused", {applied("tag")}}};

  s.directives.emplace("upper", OperationDirectiveDefinition{.name = "upper", .locations = {O::FIELD}});
  OperationDirectiveDefinition cached{
      .name = "cached", .description = "Caches the field", .locations = {O::QUERY, O::FIELD}};
  cached.arguments = {arg("ttl_seconds", "Int", true), renamed(arg("scope", "String"), "cacheScope")};
  cached.arguments[0].default_value = "60";
  s.directives.emplace("cached", std::move(cached));
  auto directive = [&](std::string name, std::optional<std::string> description, std::vector<L> locations,
                       std::vector<DirectiveFieldDefinition> fields, bool repeatable) {
    s.schema_directives.emplace(name, SchemaDirectiveDefinition{name, description, locations, fields, repeatable});
  };
  directive("tag", "Labels a schema element",
            {L::OBJECT, L::FIELD_DEFINITION, L::ARGUMENT_DEFINITION, L::INPUT_OBJECT, L::ENUM_VALUE, L::SCALAR},
            {{"name", std::nullopt, type_ref("String!")}}, true);
  directive("cost", std::nullopt, {L::OBJECT, L::FIELD_DEFINITION}, {{"weight", std::nullopt, type_ref("Float!")}},
            false);
  directive("contact", std::nullopt, {L::SCHEMA},
            {{"contact_name", std::nullopt, type_ref("String")}, {"team_id", "team", type_ref("ID")}}, false);
  directive("internal", std::nullopt, {L::ARGUMENT_DEFINITION}, {}, false);
  return schema;
}

// The golden text of the feature schema, where «camel|stored» picks by auto_camel_case.
std::string golden(bool auto_camel_case) {
  std::ifstream in(QUENFEL_FIXTURES_DIR "/feature-schema.graphql", std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  std::string_view text(file.data(), file.size() - 1);  // the output ends without a line break
  for (std::size_t open; (open = text.find("«")) != std::string_view::npos;) {
    std::size_t bar = text.find('|', open), close = text.find("»", bar);
    out += text.substr(0, open);
    out += auto_camel_case ? text.substr(open + 2, bar - open - 2) : text.substr(bar + 1, close - bar - 1);
    text = text.substr(close + 2);
  }
  return out += text;
}

TEST(RenderSdlTest, FeatureSchema) {
  for (bool camel : {true, false}) EXPECT_EQ(render_sdl(*feature_schema(camel)), golden(camel)) << camel;
}

TEST(RenderSdlTest, OddShapesPrintAsTheyAre) {
  auto schema = SchemaBuilder().subscription("Sub").build();
  CompiledSchema& s = *schema;
  s.schema_applied_directives = {applied("a"), applied("b")};
  auto type = [&](TypeDefinition t) { s.types.emplace(t.name, std::move(t)); };
  for (const char* name : {"b", "A", "Ab", "__Schema", "_x"}) type(object(name, {field("f", "Int")}));
  TypeDefinition e = enumeration("E", {"my_value"});  // members follow the kind
  e.fields = {field("ignored", "Int")};
  type(std::move(e));
  TypeDefinition o = object("O", {field("my_field", "Int")});
  o.enum_values = {{.name = "IGNORED"}};
  type(std::move(o));
  type(object("T", {field("__private", "Int"), renamed(field("x", "Int"), "__private"), field("__", "Int")}));
  type(object("Z", {}));
  s.unions.emplace("U", UnionDefinition{.name = "U"});
  s.directives.emplace("__d", OperationDirectiveDefinition{.name = "__d"});
  s.schema_directives.emplace("s", SchemaDirectiveDefinition{.name = "s", .description = "has \"\"\" inside"});
  s.scalar_names = {"__Scalar", "Url", "a", "Bare"};
  s.scalar_specified_by_urls = {{"Url", ""}};
  s.scalar_descriptions = {{"Url", ""}, {"Bare", "Plain \"text\"\nhere"}};
  EXPECT_EQ(render_sdl(s),
      "schema @a @b {\n  query: Query\n  subscription: Sub\n}\n\n"
      "type A {\n  f: Int\n}\n\ntype Ab {\n  f: Int\n}\n\nenum E {\n  my_value\n}\n\ntype O {\n  myField: Int\n}\n\n"
      "type T {\n  Private: Int\n  : Int\n}\n\ntype Z {\n}\n\ntype _x {\n  f: Int\n}\n\ntype b {\n  f: Int\n}\n\n"
      "union U = \n\n\"\"\"Plain \"text\"\nhere\"\"\"\nscalar Bare\n\nscalar Url @specifiedBy(url: \"\")\n\n"
      "scalar __Scalar\n\nscalar a\n\ndirective @__d on \n\n\"\"\"has \\\"\"\" inside\"\"\"\ndirective @s on ");
  s.auto_camel_case = false;  // every field of T is hidden then
  EXPECT_NE(render_sdl(s).find("type T {\n}\n"), std::string::npos);
}

// Each description prints the same block string for a type, a field and an argument (between the quotes here).
TEST(RenderSdlTest, DescriptionsReadBack) {
  const std::pair<std::string, std::string> cases[] = {
      {R"(Plain "text")" "\n" "here", R"(Plain "text")" "\n" "here"},  // as stored
      {R"(a ""b"" c)", R"(a ""b"" c)"},
      {R"(The locale, such as "en-US")", R"(The locale, such as "en-US")" "\n"},
      {R"(")", R"(")" "\n"},
      {R"(A folder like C:\)", R"(A folder like C:\)" "\n"},
      {R"(has """ inside, twice: """)", R"(has \""" inside, twice: \""")" "\n"},
      {R"("""")", R"(\"""")" "\n"},
      {R"(already \""" escaped)", R"(already \\""" escaped)"},
  };
  for (const auto& [description, inner] : cases) {
    auto schema = SchemaBuilder().build();
    FieldDefinition f = field("f", "Int", {arg("a", "Int")});
    f.description = f.arguments[0].description = description;
    TypeDefinition query = object("Query", {f});
    query.description = description;
    schema->types.emplace("Query", query);
    const std::string block = R"(""")" + inner + R"(""")";
    EXPECT_EQ(render_sdl(*schema), "schema {\n  query: Query\n}\n\n" + block + "\ntype Query {\n  " + block +
                                       "\n  f(" + block + " a: Int): Int\n}")
        << description;
  }
}

// Texts that a block string as stored would not give back print otherwise:
// with the quotes on lines of their own (the lines indented as the member is)
// where that is enough, else quoted. Each case: the description, then how it
// prints for a type, a field and an argument.
TEST(RenderSdlTest, DescriptionsThatReadBackOnlyInAnotherForm) {
  const std::string q = R"(""")";
  struct Case {
    std::string description, type, field, argument;
  };
  const Case cases[] = {
      {"a\n  b\n  c", q + "\na\n  b\n  c\n" + q, q + "\n  a\n    b\n    c\n  " + q, q + "\na\n  b\n  c\n" + q},
      {"x\n\n  \"\"\"y\"\n \n  z\"", q + "\nx\n\n  \\\"\"\"y\"\n \n  z\"\n" + q,
       q + "\n  x\n\n    \\\"\"\"y\"\n   \n    z\"\n  " + q, q + "\nx\n\n  \\\"\"\"y\"\n \n  z\"\n" + q},
      {"\nfirst line blank", R"("\nfirst line blank")", R"("\nfirst line blank")", R"("\nfirst line blank")"},
      {"trailing\n  ", R"("trailing\n  ")", R"("trailing\n  ")", R"("trailing\n  ")"},
      {"a\r\nb", R"("a\r\nb")", R"("a\r\nb")", R"("a\r\nb")"},
      {"a\rb", R"("a\rb")", R"("a\rb")", R"("a\rb")"},
      {" \t ", R"(" \t ")", R"(" \t ")", R"(" \t ")"},
      {"\tx\n\ty", R"("\tx\n\ty")", R"("\tx\n\ty")", R"("\tx\n\ty")"},
      // As stored: the first line keeps its indentation, and a later line starts flush.
      {"  lead\n  next\nflush", q + "  lead\n  next\nflush" + q, q + "  lead\n  next\nflush" + q,
       q + "  lead\n  next\nflush" + q},
  };
  for (const Case& c : cases) {
    auto schema = SchemaBuilder().build();
    FieldDefinition f = field("f", "Int", {arg("a", "Int")});
    f.description = f.arguments[0].description = c.description;
    TypeDefinition query = object("Query", {f});
    query.description = c.description;
    schema->types.emplace("Query", query);
    EXPECT_EQ(render_sdl(*schema), "schema {\n  query: Query\n}\n\n" + c.type + "\ntype Query {\n  " + c.field +
                                       "\n  f(" + c.argument + " a: Int): Int\n}")
        << c.description;
  }
}

// A JSON value as printed in an applied directive's argument.
std::string json_text(Json value) {
  auto schema = SchemaBuilder().build();
  schema->schema_applied_directives.push_back({.name = "d"});
  schema->schema_applied_directives[0].arguments.emplace_back("v", std::move(value));  // a copy would recurse
  std::string sdl = render_sdl(*schema);
  return sdl.substr(13, sdl.size() - 13 - std::string_view(") {\n  query: Query\n}").size());
}

TEST(RenderSdlTest, JsonValues) {
  using namespace std::string_literals;
  const std::pair<Json, std::string> cases[] = {
      {Json::array({nullptr, false, -42, INT64_MIN, UINT64_MAX, 2.5}),
       "[null, false, -42, -9223372036854775808, 18446744073709551615, 2.5]"},
      {Json::object({{"key with space", Json::array({Json::object(), Json::array(), true})}, {"a", 1}}),
       "{a: 1, key with space: [{}, [], true]}"},
      {R"(use "name" back\slash)", R"("use \"name\" back\\slash")"},
      {"\t \r \n nul\0 \x01\x1f\x7f"s, R"("\t \r \n nul\u{0} \u{1}\u{1f}\u{7f}")"},
      // Printable characters are copied; invisible, unassigned, private-use and
      // combining ones (but not spacing marks) are escaped.
      {"caf\u00e9 \u65e5\u672c \U0001F600 'x' e\u0301 \u0903",
       "\"caf\u00e9 \u65e5\u672c \U0001F600 'x' e\\u{301} \u0903\""},
      {"nb\u00a0sp zw\u200b\u200d \u2028\u2029 \ue000\U0010FFFD \u0378\U000E0080",
       R"("nb\u{a0}sp zw\u{200b}\u{200d} \u{2028}\u{2029} \u{e000}\u{10fffd} \u{378}\u{e0080}")"},
      // Ill-formed UTF-8, byte by byte: a lone continuation, a bad lead, a truncation, a surrogate.
      {"a\x80z \xff \xe2\x82 \xed\xa0\x80!", R"("a\u{80}z \u{ff} \u{e2}\u{82} \u{ed}\u{a0}\u{80}!")"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(json_text(value), text);
  for (double value : {0.1 + 0.2, 1e300, 5e-324, -123456.789e10, 1.0 / 3.0}) {
    std::string text = json_text(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(RenderSdlTest, DeeplyNestedJsonValue) {
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
  EXPECT_TRUE(json_text(std::move(root)) == expected + "]");
}

}  // namespace
}  // namespace quenfel
