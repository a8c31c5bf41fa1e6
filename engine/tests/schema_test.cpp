#include "engine/schema.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/naming.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

// Type text is checked wherever messages and SDL print types.
TEST(GraphQLTypeTest, Equality) {
  EXPECT_EQ(type_ref("[A]"), type_ref("[A]"));
  for (const char* other : {"[B]", "A!", "[[A]]", "A", "[A]!"}) EXPECT_NE(type_ref("[A]"), type_ref(other)) << other;
}

// Annotations can nest arbitrarily: copies, comparison, text and destruction must not recurse once per level.
TEST(GraphQLTypeTest, VeryDeepTypesCopyCompareRenderAndFree) {
  constexpr int kDepth = 200000;
  GraphQLType deep = GraphQLType::named("Int");
  for (int i = 0; i < kDepth; ++i)
    deep = i % 2 ? GraphQLType::non_null(std::move(deep)) : GraphQLType::list(std::move(deep));
  GraphQLType copy = GraphQLType::named("X");
  copy = deep;
  EXPECT_EQ(copy, deep);
  deep = GraphQLType::named("Int");  // the copy shares nothing
  EXPECT_EQ(copy.innermost_name(), "Int");
  std::string sdl = copy.to_sdl_string();
  EXPECT_EQ(sdl.size(), 3u + kDepth / 2 * 3);
  EXPECT_EQ(sdl.substr(0, 3) + sdl.substr(sdl.size() - 4), "[[[]!]!");
}

TEST(CamelCaseTest, UnderscoresGoAndTheNextCharacterIsUpperCased) {
  const std::pair<const char*, const char*> cases[] = {
      {"my_field", "myField"}, {"first_name_x", "firstNameX"}, {"__typename", "Typename"}, {"a__b", "aB"},
      {"field_1", "field1"}, {"x_", "x"}, {"_", ""}, {"", ""},
      {"ID_value", "IDValue"}, {"é_é", "éÉ"},  // nothing is lower-cased, nothing changes without an underscore
      {"a_ß", "aSS"},                          // the full mapping: one letter becomes two
      {"a_ǆ", "aǄ"},                           // upper case, not title case
      {"_𐐨", "𐐀"},                            // four bytes
      {"a_\xff" "b", "a\xff" "b"},             // invalid UTF-8 is copied and ends the run
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(to_camel_case(in), out) << in;
}

// Interface Node { id: ID! } (or another id) and an object User implementing it with the given fields.
SchemaBuilder node_and_user(std::vector<FieldDefinition> user_fields, FieldDefinition node_id = field("id", "ID!")) {
  SchemaBuilder shape;
  shape.add(interface("Node", {std::move(node_id)})).add(object("User", std::move(user_fields), {"Node"}));
  return shape;
}

TEST(ReferencedTypeNamesTest, InnermostTypesOfFieldsArgumentsAndDirectiveArguments) {
  const FieldDefinition users = field("users", "[User!]!", {arg("since", "DateTime"), arg("limit", "Int!")});
  auto schema = SchemaBuilder().add(object("Query", {users}, {"Node"})).add(enumeration("Color", {"RED"}))
                    .add(input("Filter", {field("text", "String")})).add_union("Result", {"Member"})
                    .add_directive("round", {OperationDirectiveLocation::FIELD}, {arg("step", "[Decimal!]")})
                    .add_directive("bare", {OperationDirectiveLocation::FIELD}).build();
  schema->schema_directives.emplace(
      "since", SchemaDirectiveDefinition{.name = "since", .fields = {{"at", "atTime", type_ref("Time!")}}});
  EXPECT_EQ(referenced_type_names(schema->types, schema->directives, schema->schema_directives),
            (NameSet{"User", "DateTime", "Int", "String", "Decimal", "Time"}));
}

TEST(SchemaShapeTest, FirstViolation) {
  const std::string no_fields = "' defines no fields, but the GraphQL specification requires one or more";
  const std::string not_non_null = "'User.id' is nullable, but interface 'Node' declares it as non-null";
  TypeDefinition empty_enum = enumeration("T", {});
  empty_enum.fields = {field("x", "Int")};  // an enum counts its values
  const std::pair<std::unique_ptr<CompiledSchema>, std::string> cases[] = {
      {node_and_user({field("id", "ID!")}).add_union("Search", {"User", "String"}).build(), "sound"},
      // Members are checked first, and the first empty type by byte order is reported.
      {SchemaBuilder().add(object("User", {field("id", "ID")}, {"Missing"})).add_union("U", {"X"})
           .add(object("b", {})).add(object("Ab", {})).add(object("A", {})).build(), "object type 'A" + no_fields},
      {SchemaBuilder().add(interface("T", {})).build(), "interface 'T" + no_fields},
      {SchemaBuilder().add(input("T", {})).build(), "input object type 'T" + no_fields},
      {SchemaBuilder().add(empty_enum).build(),
       "enum 'T' defines no values, but the GraphQL specification requires one or more"},
      {SchemaBuilder().add(object("User", {field("id", "ID")}, {"Node"})).build(),
       "'User' implements interface 'Node', which is not a registered type"},
      // Any kind serves as an interface; an enum has no fields to require.
      {SchemaBuilder().add(input("Node", {field("id", "ID"), field("name", "String")}))
           .add(object("User", {field("id", "ID")}, {"Node"})).build(),
       "'User' does not implement field 'name' declared by interface 'Node'"},
      {SchemaBuilder().add(enumeration("Color", {"RED"})).add(object("User", {field("id", "ID")}, {"Color"})).build(),
       "sound"},
      // Only the outermost nullability is compared, of the first field of the name.
      {node_and_user({field("id", "ID")}).build(), not_non_null},
      {node_and_user({field("id", "ID"), field("id", "ID!")}).build(), not_non_null},
      {node_and_user({field("id", "ID!")}, field("id", "ID")).build(), "sound"},
      // Added arguments must be optional; those the interface declares are not compared.
      {node_and_user({field("id", "ID!", {arg("limit", "Int!")})}).build(),
       "'User.id' adds required argument 'limit' not declared by interface 'Node'"},
      {node_and_user({field("id", "ID!", {arg("limit", "Int!", true), arg("after", "Int")})}).build(), "sound"},
      {node_and_user({field("id", "ID", {arg("limit", "Int!")})}, field("id", "ID", {arg("limit", "String")})).build(),
       "sound"},
      // Fields are matched by Python name.
      {node_and_user({renamed(field("id", "ID!"), "identifier")}).build(), "sound"},
      {SchemaBuilder().add(object("User", {field("id", "ID")})).add_union("Search", {"User", "ID"})
           .add_union("Nested", {"Search"}).build(),
       "union 'Nested' has member 'Search', which is not a registered type"},
  };
  for (const auto& [schema, message] : cases) {
    EXPECT_EQ(validate_schema_shape(schema->types, schema->unions, {"String", "ID", "Int"}).value_or("sound"), message);
  }
}

}  // namespace
}  // namespace quenfel
