#include <gtest/gtest.h>

#include <functional>

#include "engine/schema.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

// A little schema under construction, checked as a whole.
struct Shape {
  NameMap<TypeDefinition> types;
  NameMap<UnionDefinition> unions;

  Shape& add(TypeDefinition type) {
    std::string name = type.name;
    types.insert_or_assign(std::move(name), std::move(type));
    return *this;
  }
  Shape& add_union(std::string name, std::vector<std::string> members) {
    unions[name] = UnionDefinition{.name = name, .members = std::move(members)};
    return *this;
  }
  std::string check() const { return validate_schema_shape(types, unions, {"String", "ID", "Int"}).value_or("sound"); }
};

// Interface Node { id: ID! } and an object User implementing it with the given fields.
Shape node_and_user(std::vector<FieldDefinition> user_fields) {
  return std::move(Shape().add(interface("Node", {field("id", "ID!")})).add(object("User", user_fields, {"Node"})));
}

TEST(ReferencedTypeNamesTest, InnermostTypesOfFieldsAndTheirArguments) {
  Shape shape;
  shape.add(object("Query", {field("users", "[User!]!", {arg("since", "DateTime"), arg("limit", "Int!")})}, {"Node"}))
      .add(enumeration("Color", {"RED"}))
      .add(input("Filter", {field("text", "String")}))
      .add_union("Result", {"Member"});
  EXPECT_EQ(referenced_type_names(shape.types), (NameSet{"User", "DateTime", "Int", "String"}));
}

TEST(SchemaShapeTest, FirstViolation) {
  const std::string no_fields = "' defines no fields, but the GraphQL specification requires one or more";
  const std::string not_non_null = "'User.id' is nullable, but interface 'Node' declares it as non-null";
  FieldDefinition renamed_id = renamed(field("id", "ID!"), "identifier");
  FieldDefinition exposed_as_id = renamed(field("ident", "ID!"), "id");
  TypeDefinition empty_enum = enumeration("T", {});
  empty_enum.fields = {field("x", "Int")};  // an enum counts its values
  const std::pair<Shape, std::string> cases[] = {
      {node_and_user({field("id", "ID!")}).add_union("Search", {"User", "String"}), "sound"},
      // Members are checked first, and the first empty type by byte order is reported.
      {Shape()
           .add(object("User", {field("id", "ID")}, {"Missing"}))
           .add_union("U", {"X"})
           .add(object("b", {}))
           .add(object("B", {})),
       "object type 'B" + no_fields},
      {Shape().add(object("Ab", {})).add(object("A", {})), "object type 'A" + no_fields},
      {Shape().add(interface("T", {})), "interface 'T" + no_fields},
      {Shape().add(input("T", {})), "input object type 'T" + no_fields},
      {Shape().add(empty_enum), "enum 'T' defines no values, but the GraphQL specification requires one or more"},
      {Shape().add(object("User", {field("id", "ID")}, {"Node"})),
       "'User' implements interface 'Node', which is not a registered type"},
      // Any kind serves as an interface; an enum has no fields to require.
      {Shape()
           .add(input("Node", {field("id", "ID"), field("name", "String")}))
           .add(object("User", {field("id", "ID")}, {"Node"})),
       "'User' does not implement field 'name' declared by interface 'Node'"},
      {Shape().add(enumeration("Color", {"RED"})).add(object("User", {field("id", "ID")}, {"Color"})), "sound"},
      // Only the outermost nullability is compared, of the first field of the name.
      {node_and_user({field("id", "ID")}), not_non_null},
      {node_and_user({field("id", "[ID]")}), not_non_null},
      {node_and_user({field("id", "Int!")}), "sound"},
      {node_and_user({field("id", "ID"), field("id", "ID!")}), not_non_null},
      {Shape().add(interface("Node", {field("id", "ID")})).add(object("User", {field("id", "ID!")}, {"Node"})),
       "sound"},
      // Added arguments must be optional; those the interface declares are not compared.
      {node_and_user({field("id", "ID!", {arg("limit", "Int!")})}),
       "'User.id' adds required argument 'limit' not declared by interface 'Node'"},
      {node_and_user({field("id", "ID!", {arg("limit", "Int!", true), arg("after", "Int")})}), "sound"},
      {Shape()
           .add(interface("Node", {field("id", "ID", {arg("limit", "String")})}))
           .add(object("User", {field("id", "ID", {arg("limit", "Int!")})}, {"Node"})),
       "sound"},
      // Fields are matched by Python name.
      {node_and_user({renamed_id}), "sound"},
      {node_and_user({exposed_as_id}), "'User' does not implement field 'id' declared by interface 'Node'"},
      {Shape()
           .add(object("User", {field("id", "ID")}))
           .add_union("Search", {"User", "ID"})
           .add_union("Nested", {"Search"}),
       "union 'Nested' has member 'Search', which is not a registered type"},
  };
  for (const auto& [shape, message] : cases) EXPECT_EQ(shape.check(), message);
}

}  // namespace
}  // namespace quenfel
