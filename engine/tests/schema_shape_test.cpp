#include <gtest/gtest.h>

#include "engine/schema.h"

namespace quenfel {
namespace {

GraphQLType named(std::string name) { return GraphQLType::named(std::move(name)); }
GraphQLType non_null(GraphQLType inner) { return GraphQLType::non_null(std::move(inner)); }

FieldDefinition field(std::string name, GraphQLType type, std::vector<ArgumentDefinition> arguments = {}) {
  return FieldDefinition{.name = std::move(name), .graphql_type = std::move(type), .arguments = std::move(arguments)};
}

ArgumentDefinition argument(std::string name, GraphQLType type, bool has_default = false) {
  return ArgumentDefinition{.name = std::move(name), .graphql_type = std::move(type), .has_default = has_default};
}

// A little schema under construction, checked as a whole.
struct Shape {
  NameMap<TypeDefinition> types;
  NameMap<UnionDefinition> unions;
  NameSet scalars{"String", "ID", "Int", "Boolean"};

  TypeDefinition& add(std::string name, TypeKind kind, std::vector<FieldDefinition> fields = {},
                      std::vector<std::string> interfaces = {}) {
    TypeDefinition& type = types[name];
    type = TypeDefinition{.name = name, .fields = std::move(fields), .interfaces = std::move(interfaces), .kind = kind};
    return type;
  }
  void add_union(std::string name, std::vector<std::string> members) {
    unions[name] = UnionDefinition{.name = name, .members = std::move(members)};
  }
  std::optional<std::string> check() const { return validate_schema_shape(types, unions, scalars); }
};

// A registered interface Node { id: ID! } and an object User implementing it
// with the given field.
Shape node_and_user(FieldDefinition user_field) {
  Shape shape;
  shape.add("Node", TypeKind::Interface, {field("id", non_null(named("ID")))});
  shape.add("User", TypeKind::Object, {std::move(user_field)}, {"Node"});
  return shape;
}

TEST(ReferencedTypeNamesTest, CollectsInnermostTypesOfFieldsAndTheirArguments) {
  Shape shape;
  shape.add("Query", TypeKind::Object,
            {field("users", non_null(GraphQLType::list(non_null(named("User")))),
                   {argument("since", named("DateTime")), argument("limit", non_null(named("Int")))})},
            {"Node"});
  shape.add("Color", TypeKind::Enum).enum_values.push_back({.name = "RED"});
  shape.add("Filter", TypeKind::InputObject, {field("text", named("String"))});
  shape.add_union("Result", {"Member"});

  NameSet names = referenced_type_names(shape.types);
  EXPECT_EQ(names, (NameSet{"User", "DateTime", "Int", "String"}));
}

TEST(SchemaShapeTest, SoundSchemaPasses) {
  Shape shape = node_and_user(field("id", non_null(named("ID"))));
  shape.add_union("Search", {"User", "String"});
  EXPECT_EQ(shape.check(), std::nullopt);
}

TEST(SchemaShapeTest, TypeWithoutMembersIsReportedBeforeAnyOtherViolation) {
  Shape shape;
  shape.add("User", TypeKind::Object, {field("id", named("ID"))}, {"Missing"});
  shape.add_union("Broken", {"Nowhere"});
  shape.add("Empty", TypeKind::Object);
  EXPECT_EQ(shape.check(), "object type 'Empty' defines no fields, but the GraphQL specification requires one or more");
}

TEST(SchemaShapeTest, FirstEmptyTypeByByteOrderIsReported) {
  for (auto [first, second, expected] : {std::tuple{"B", "A", "A"}, {"Ab", "A", "A"}, {"a", "B", "B"}}) {
    Shape shape;
    shape.add(first, TypeKind::Object);
    shape.add(second, TypeKind::Object);
    EXPECT_EQ(shape.check(), "object type '" + std::string(expected) +
                                 "' defines no fields, but the GraphQL specification requires one or more");
  }
}

TEST(SchemaShapeTest, EmptyMessageNamesKindAndMembers) {
  struct Case {
    TypeKind kind;
    const char* message;
  };
  for (auto [kind, message] : {
           Case{TypeKind::Interface, "interface 'T' defines no fields, but the GraphQL specification requires one or more"},
           Case{TypeKind::InputObject,
                "input object type 'T' defines no fields, but the GraphQL specification requires one or more"},
           Case{TypeKind::Enum, "enum 'T' defines no values, but the GraphQL specification requires one or more"},
       }) {
    Shape shape;
    shape.add("T", kind);
    EXPECT_EQ(shape.check(), message);
  }
  // An enum counts its values, not its fields.
  Shape shape;
  shape.add("T", TypeKind::Enum, {field("x", named("Int"))});
  EXPECT_EQ(shape.check(), "enum 'T' defines no values, but the GraphQL specification requires one or more");
}

TEST(SchemaShapeTest, InterfaceMustBeRegisteredButMayBeOfAnyKind) {
  Shape shape;
  shape.add("User", TypeKind::Object, {field("id", named("ID"))}, {"Node"});
  EXPECT_EQ(shape.check(), "'User' implements interface 'Node', which is not a registered type");

  // An object or input type serves as an interface, and its fields are then required.
  for (TypeKind kind : {TypeKind::Object, TypeKind::InputObject}) {
    Shape as_kind;
    as_kind.add("Node", kind, {field("id", named("ID")), field("name", named("String"))});
    as_kind.add("User", TypeKind::Object, {field("id", named("ID"))}, {"Node"});
    EXPECT_EQ(as_kind.check(), "'User' does not implement field 'name' declared by interface 'Node'");
  }

  // An enum has no fields to require.
  Shape as_enum;
  as_enum.add("Color", TypeKind::Enum).enum_values.push_back({.name = "RED"});
  as_enum.add("User", TypeKind::Object, {field("id", named("ID"))}, {"Color"});
  EXPECT_EQ(as_enum.check(), std::nullopt);
}

TEST(SchemaShapeTest, OnlyOutermostNullabilityIsCompared) {
  EXPECT_EQ(node_and_user(field("id", named("ID"))).check(),
            "'User.id' is nullable, but interface 'Node' declares it as non-null");
  EXPECT_EQ(node_and_user(field("id", non_null(named("ID")))).check(), std::nullopt);
  EXPECT_EQ(node_and_user(field("id", non_null(named("Int")))).check(), std::nullopt);
  EXPECT_EQ(node_and_user(field("id", GraphQLType::list(named("ID")))).check(),
            "'User.id' is nullable, but interface 'Node' declares it as non-null");

  Shape nullable_interface;
  nullable_interface.add("Node", TypeKind::Interface, {field("id", named("ID"))});
  nullable_interface.add("User", TypeKind::Object, {field("id", non_null(named("ID")))}, {"Node"});
  EXPECT_EQ(nullable_interface.check(), std::nullopt);
}

TEST(SchemaShapeTest, AddedArgumentsMustBeOptional) {
  auto with_argument = [](ArgumentDefinition added) {
    return node_and_user(field("id", non_null(named("ID")), {std::move(added)}));
  };
  EXPECT_EQ(with_argument(argument("limit", non_null(named("Int")))).check(),
            "'User.id' adds required argument 'limit' not declared by interface 'Node'");
  EXPECT_EQ(with_argument(argument("limit", non_null(named("Int")), /*has_default=*/true)).check(), std::nullopt);
  EXPECT_EQ(with_argument(argument("limit", named("Int"))).check(), std::nullopt);

  // An argument the interface field declares too is not compared.
  Shape declared;
  declared.add("Node", TypeKind::Interface, {field("id", named("ID"), {argument("limit", named("String"))})});
  declared.add("User", TypeKind::Object, {field("id", named("ID"), {argument("limit", non_null(named("Int")))})},
               {"Node"});
  EXPECT_EQ(declared.check(), std::nullopt);
}

TEST(SchemaShapeTest, FieldsAreMatchedByPythonName) {
  FieldDefinition renamed = field("id", non_null(named("ID")));
  renamed.graphql_name = "identifier";
  EXPECT_EQ(node_and_user(std::move(renamed)).check(), std::nullopt);

  FieldDefinition same_graphql_name = field("ident", non_null(named("ID")));
  same_graphql_name.graphql_name = "id";
  EXPECT_EQ(node_and_user(std::move(same_graphql_name)).check(),
            "'User' does not implement field 'id' declared by interface 'Node'");
}

TEST(SchemaShapeTest, FirstFieldOfTheNameIsTheOneChecked) {
  Shape shape = node_and_user(field("id", named("ID")));
  shape.types["User"].fields.push_back(field("id", non_null(named("ID"))));
  EXPECT_EQ(shape.check(), "'User.id' is nullable, but interface 'Node' declares it as non-null");
}

TEST(SchemaShapeTest, UnionMembersMustBeTypesOrScalars) {
  Shape shape;
  shape.add("User", TypeKind::Object, {field("id", named("ID"))});
  shape.add_union("Search", {"User", "ID"});
  EXPECT_EQ(shape.check(), std::nullopt);

  shape.add_union("Nested", {"User", "Search"});
  EXPECT_EQ(shape.check(), "union 'Nested' has member 'Search', which is not a registered type");
}

}  // namespace
}  // namespace quenfel
