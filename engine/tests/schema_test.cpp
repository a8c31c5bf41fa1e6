#include "engine/schema.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/naming.h"

namespace quenfel {
namespace {

GraphQLType named(const char* name) { return GraphQLType::named(name); }
GraphQLType list(GraphQLType t) { return GraphQLType::list(std::move(t)); }
GraphQLType non_null(GraphQLType t) { return GraphQLType::non_null(std::move(t)); }

TEST(GraphQLTypeTest, SdlText) {
  EXPECT_EQ(named("Int").to_sdl_string(), "Int");
  EXPECT_EQ(non_null(named("ID")).to_sdl_string(), "ID!");
  EXPECT_EQ(list(list(named("A"))).to_sdl_string(), "[[A]]");
  EXPECT_EQ(non_null(list(non_null(named("Int")))).to_sdl_string(), "[Int!]!");
  EXPECT_EQ(list(non_null(list(named("String")))).to_sdl_string(), "[[String]!]");
  EXPECT_EQ(non_null(non_null(named("X"))).to_sdl_string(), "X!!");
}

TEST(GraphQLTypeTest, InnermostNameAndKinds) {
  GraphQLType t = non_null(list(non_null(named("User"))));
  EXPECT_EQ(t.innermost_name(), "User");
  EXPECT_TRUE(t.is_non_null());
  EXPECT_TRUE(t.inner().is_list());
  EXPECT_TRUE(t.inner().inner().inner().is_named());
  EXPECT_EQ(t.inner().inner().inner().name(), "User");
}

TEST(GraphQLTypeTest, EqualityComparesTheWholeChain) {
  EXPECT_EQ(list(named("A")), list(named("A")));
  EXPECT_NE(list(named("A")), list(named("B")));
  EXPECT_NE(list(named("A")), non_null(named("A")));
  EXPECT_NE(list(named("A")), list(list(named("A"))));
  EXPECT_NE(named("A"), list(named("A")));
}

TEST(GraphQLTypeTest, CopyIsDeepAndIndependent) {
  GraphQLType source = list(non_null(named("Int")));
  GraphQLType copy = source;
  EXPECT_EQ(copy, source);
  source = named("String");
  EXPECT_EQ(copy.to_sdl_string(), "[Int!]");
  GraphQLType assigned = named("X");
  assigned = copy;
  copy = named("Y");
  EXPECT_EQ(assigned.to_sdl_string(), "[Int!]");
}

// Annotations can nest arbitrarily; nothing may recurse once per level.
TEST(GraphQLTypeTest, VeryDeepTypesCopyCompareRenderAndFree) {
  constexpr int kDepth = 200000;
  GraphQLType deep = named("Int");
  for (int i = 0; i < kDepth; ++i) deep = i % 2 == 0 ? list(std::move(deep)) : non_null(std::move(deep));
  GraphQLType copy = deep;
  EXPECT_EQ(copy, deep);
  EXPECT_EQ(copy.innermost_name(), "Int");
  std::string sdl = deep.to_sdl_string();
  EXPECT_EQ(sdl.size(), 3u + kDepth / 2 * 3);
  EXPECT_EQ(sdl.substr(0, 3), "[[[");
  EXPECT_EQ(sdl.substr(sdl.size() - 4), "]!]!");
}

AppliedDirective directive_with_object_argument() {
  AppliedDirective d;
  d.name = "tag";
  d.arguments.emplace_back("meta", Json{{"a", 1}, {"list", Json::array({1, "two", nullptr})}});
  d.arguments.emplace_back("name", Json("x"));
  return d;
}

FieldDefinition field_with_nested_records() {
  ArgumentDefinition arg;
  arg.name = "first_arg";
  arg.graphql_name = "firstArg";
  arg.graphql_type = non_null(list(named("Int")));
  arg.default_value = "[1, 2]";
  arg.description = "";
  arg.directives.push_back(directive_with_object_argument());
  arg.has_default = true;

  FieldDefinition field;
  field.name = "items";
  field.graphql_type = list(named("Item"));
  field.description = "Items.";
  field.deprecation_reason = "";
  field.parent_parameter = "root";
  field.arguments.push_back(arg);
  field.directives.push_back(directive_with_object_argument());
  field.has_resolver = true;
  return field;
}

TEST(RecordCopyTest, FieldCopyIsEqualAndSharesNothing) {
  FieldDefinition source = field_with_nested_records();
  FieldDefinition copy = source;
  ASSERT_EQ(copy, source);

  source.arguments[0].directives[0].arguments[0].second["a"] = 2;
  source.arguments[0].directives[0].arguments[0].second["list"].push_back(4);
  source.arguments[0].graphql_type = named("String");
  source.directives[0].name = "other";
  source.name += "_changed";

  EXPECT_NE(copy, source);
  EXPECT_EQ(copy, field_with_nested_records());
  EXPECT_EQ(copy.arguments[0].directives[0].arguments[0].second,
            (Json{{"a", 1}, {"list", Json::array({1, "two", nullptr})}}));
}

TEST(RecordCopyTest, TypeAndDirectiveRecordsCopyDeeply) {
  TypeDefinition type;
  type.name = "Color";
  type.kind = TypeKind::Enum;
  type.description = "";
  type.enum_values.push_back({"RED", std::nullopt, "Red.", std::nullopt, {directive_with_object_argument()}});
  type.enum_values.push_back({"dark_blue", "DARK_BLUE", std::nullopt, "old", {}});
  TypeDefinition copy = type;
  ASSERT_EQ(copy, type);
  type.enum_values[0].directives[0].arguments[0].second["a"] = "changed";
  type.enum_values.pop_back();
  EXPECT_NE(copy, type);
  EXPECT_EQ(copy.enum_values.size(), 2u);
  EXPECT_EQ(copy.enum_values[0].directives[0].arguments[0].second["a"], 1);
  EXPECT_TRUE(copy.fields.empty());

  SchemaDirectiveDefinition sd{"key", "", {SchemaDirectiveLocation::OBJECT}, {{"fields", "f", named("String")}}, true};
  SchemaDirectiveDefinition sd_copy = sd;
  sd.fields[0].graphql_type = non_null(named("String"));
  EXPECT_EQ(sd_copy.fields[0].graphql_type.to_sdl_string(), "String");

  std::vector<AppliedDirective> applied = {directive_with_object_argument()};
  std::vector<AppliedDirective> applied_copy = applied;
  applied[0].arguments[0].second.clear();
  EXPECT_EQ(applied_copy[0], directive_with_object_argument());
}

TEST(RecordCopyTest, EmptyTextStaysPresent) {
  FieldDefinition source = field_with_nested_records();
  FieldDefinition copy = source;
  ASSERT_TRUE(copy.deprecation_reason.has_value());
  EXPECT_EQ(*copy.deprecation_reason, "");
  ASSERT_TRUE(copy.arguments[0].description.has_value());
  EXPECT_EQ(*copy.arguments[0].description, "");

  FieldDefinition absent = source;
  absent.deprecation_reason.reset();
  EXPECT_NE(absent, source);
}

TEST(SchemaNamesTest, KindKeywordsAndLocationNames) {
  EXPECT_EQ(type_kind_keyword(TypeKind::Object), "type");
  EXPECT_EQ(type_kind_keyword(TypeKind::Interface), "interface");
  EXPECT_EQ(type_kind_keyword(TypeKind::InputObject), "input");
  EXPECT_EQ(type_kind_keyword(TypeKind::Enum), "enum");

  const char* schema_names[] = {"SCHEMA",    "SCALAR", "OBJECT",     "FIELD_DEFINITION", "ARGUMENT_DEFINITION",
                                "INTERFACE", "UNION",  "ENUM",       "ENUM_VALUE",       "INPUT_OBJECT",
                                "INPUT_FIELD_DEFINITION"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(schema_directive_location_name(static_cast<SchemaDirectiveLocation>(i)), schema_names[i]);
  }
  const char* operation_names[] = {"QUERY",           "MUTATION",        "SUBSCRIPTION", "FIELD",
                                   "FRAGMENT_DEFINITION", "FRAGMENT_SPREAD", "INLINE_FRAGMENT"};
  for (int i = 0; i < 7; ++i) {
    auto location = static_cast<OperationDirectiveLocation>(i);
    EXPECT_EQ(operation_directive_location_name(location), operation_names[i]);
    EXPECT_EQ(Json(location), Json(operation_names[i]));
  }
}

TEST(CamelCaseTest, AsciiExamples) {
  const std::pair<const char*, const char*> cases[] = {
      {"my_field", "myField"}, {"first_name_x", "firstNameX"}, {"__typename", "Typename"},
      {"a__b", "aB"},          {"field_1", "field1"},          {"x_", "x"},
      {"_", ""},               {"", ""},                       {"__x", "X"},
      {"ID_value", "IDValue"}, {"already", "already"},         {"Already_Up", "AlreadyUp"},
      {"a_1b", "a1b"},         {"___", ""},                    {"a_b_c_d", "aBCD"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(to_camel_case(in), out) << in;
}

TEST(CamelCaseTest, FullUnicodeUpperCaseAfterUnderscore) {
  const std::pair<const char*, const char*> cases[] = {
      {"a_ß", "aSS"},            // one letter becomes two
      {"a_é", "aÉ"},             // two-byte letter
      {"x_ﬃ", "xFFI"},           // ligature expands to three letters
      {"a_ŉ", "aʼN"},            // expands to a modifier letter and N
      {"_\u0390", "\u0399\u0308\u0301"},  // one Greek letter to three code points
      {"a_ǆ", "aǄ"},             // upper case, not title case
      {"_𐐨", "𐐀"},              // four-byte letter
      {"a_中", "a中"},           // no case: copied
      {"a_ı", "aI"},             // dotless i
      {"é_é", "éÉ"},             // nothing is lower- or upper-cased without an underscore
      {"ß", "ß"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(to_camel_case(in), out) << in;
}

TEST(CamelCaseTest, InvalidUtf8IsCopiedAndClearsTheFlag) {
  EXPECT_EQ(to_camel_case("a_\xff" "b"), "a\xff" "b");
  EXPECT_EQ(to_camel_case("a_\xc3"), "a\xc3");
  EXPECT_EQ(to_camel_case("\xe2\x82_x"), "\xe2\x82X");
}

}  // namespace
}  // namespace quenfel
