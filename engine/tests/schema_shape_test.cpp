#include <gtest/gtest.h>

#include "engine/schema.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

// Interface Node { id: ID! } (or another id) and an object User implementing it with the given fields.
SchemaBuilder node_and_user(std::vector<FieldDefinition> user_fields, FieldDefinition node_id = field("id", "ID!")) {
  SchemaBuilder shape;
  shape.add(interface("Node", {std::move(node_id)})).add(object("User", std::move(user_fields), {"Node"}));
  return shape;
}

TEST(ReferencedTypeNamesTest, InnermostTypesOfFieldsAndTheirArguments) {
  auto schema = SchemaBuilder()
                    .add(object("Query", {field("users", "[User!]!", {arg("since", "DateTime"), arg("limit", "Int!")})},
                                {"Node"}))
                    .add(enumeration("Color", {"RED"}))
                    .add(input("Filter", {field("text", "String")}))
                    .add_union("Result", {"Member"})
                    .build();
  EXPECT_EQ(referenced_type_names(schema->types), (NameSet{"User", "DateTime", "Int", "String"}));
}

TEST(SchemaShapeTest, FirstViolation) {
  const std::string no_fields = "' defines no fields, but the GraphQL specification requires one or more";
  const std::string not_non_null = "'User.id' is nullable, but interface 'Node' declares it as non-null";
  TypeDefinition empty_enum = enumeration("T", {});
  empty_enum.fields = {field("x", "Int")};  // an enum counts its values
  const std::pair<std::unique_ptr<CompiledSchema>, std::string> cases[] = {
      {node_and_user({field("id", "ID!")}).add_union("Search", {"User", "String"}).build(), "sound"},
      // Members are checked first, and the first empty type by byte order is reported.
      {SchemaBuilder()
           .add(object("User", {field("id", "ID")}, {"Missing"}))
           .add_union("U", {"X"})
           .add(object("b", {}))
           .add(object("Ab", {}))
           .add(object("A", {}))
           .build(),
       "object type 'A" + no_fields},
      {SchemaBuilder().add(interface("T", {})).build(), "interface 'T" + no_fields},
      {SchemaBuilder().add(input("T", {})).build(), "input object type 'T" + no_fields},
      {SchemaBuilder().add(empty_enum).build(),
       "enum 'T' defines no values, but the GraphQL specification requires one or more"},
      {SchemaBuilder().add(object("User", {field("id", "ID")}, {"Node"})).build(),
       "'User' implements interface 'Node', which is not a registered type"},
      // Any kind serves as an interface; an enum has no fields to require.
      {SchemaBuilder()
           .add(input("Node", {field("id", "ID"), field("name", "String")}))
           .add(object("User", {field("id", "ID")}, {"Node"}))
           .build(),
       "'User' does not implement field 'name' declared by interface 'Node'"},
      {SchemaBuilder().add(enumeration("Color", {"RED"})).add(object("User", {field("id", "ID")}, {"Color"})).build(),
       "sound"},
      // Only the outermost nullability is compared, of the first field of the name.
      {node_and_user({field("id", "ID")}).build(), not_non_null},
      {node_and_user({field("id", "Int!")}).build(), "sound"},
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
      {node_and_user({renamed(field("ident", "ID!"), "id")}).build(),
       "'User' does not implement field 'id' declared by interface 'Node'"},
      {SchemaBuilder()
           .add(object("User", {field("id", "ID")}))
           .add_union("Search", {"User", "ID"})
           .add_union("Nested", {"Search"})
           .build(),
       "union 'Nested' has member 'Search', which is not a registered type"},
  };
  for (const auto& [schema, message] : cases) {
    EXPECT_EQ(validate_schema_shape(schema->types, schema->unions, {"String", "ID", "Int"}).value_or("sound"), message);
  }
}

}  // namespace
}  // namespace quenfel
