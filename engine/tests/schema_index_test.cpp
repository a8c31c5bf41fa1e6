#include "engine/schema_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "engine/tests/schema_builder.h"
#include "engine/validation.h"

namespace quenfel {
namespace {

using namespace quenfel::testing;

std::unique_ptr<CompiledSchema> make_schema() {
  return SchemaBuilder()
      .add(object("Query", {field("first_name", "String", {arg("max_count", "Int"), arg("maxCount", "Float")}),
                            field("a_b", "String"), field("aB", "Int"),
                            renamed(field("python_name", "Int"), "explicit")}))
      .add(interface("Named", {field("name", "String")}))
      .add(interface("Lonely", {field("id", "ID")}))
      .add(object("Dog", {field("name", "String")}, {"Named"}))
      .add(object("Cat", {field("name", "String")}, {"Named", "Named"}))
      .add(input("Form", {field("name", "String")}))
      .add(object("Shadow", {field("x", "Int")}))
      .add_union("Shadow", {"Cat"})
      .add_union("Pet", {"Dog", "Cat", "Dog"})
      .add_directive("tag", {OperationDirectiveLocation::FIELD}, {arg("tag_name", "String")})
      .build();
}

std::vector<std::string> sorted(std::vector<std::string_view> names) {
  std::vector<std::string> out(names.begin(), names.end());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(SchemaIndexTest, ExposedNamesAreComputedOncePerSchema) {
  auto schema = make_schema();
  const SchemaIndex& index = schema_index(*schema);
  EXPECT_EQ(&index, &schema_index(*schema));

  const SchemaIndex::Type* query = index.type("Query");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query->fields[0].exposed_name, "firstName");
  EXPECT_EQ(query->fields[3].exposed_name, "explicit");
  EXPECT_EQ(query->find_field("first_name"), nullptr);
  EXPECT_EQ(query->find_field("python_name"), nullptr);
  ASSERT_NE(query->find_field("explicit"), nullptr);
  // Two fields expose "aB": the first in stored order wins.
  EXPECT_EQ(query->find_field("aB")->definition, &schema->types.at("Query").fields[1]);

  const SchemaIndex::Arguments& arguments = query->fields[0].arguments;
  EXPECT_EQ(arguments.exposed_names, (std::vector<std::string>{"maxCount", "maxCount"}));
  EXPECT_EQ(arguments.find("maxCount"), 0);
  EXPECT_EQ(arguments.find("max_count"), -1);

  const SchemaIndex::Directive* tag = index.directive("tag");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->arguments.exposed_names, std::vector<std::string>{"tagName"});
  EXPECT_EQ(index.directive("skip"), nullptr);
}

TEST(SchemaIndexTest, FindFieldWorksForTypesOutsideTheSchema) {
  auto schema = make_schema();
  const TypeDefinition& query = schema->types.at("Query");
  EXPECT_EQ(find_field(query, "firstName", *schema), &query.fields[0]);
  TypeDefinition copy = query;
  EXPECT_EQ(find_field(copy, "firstName", *schema), &copy.fields[0]);
  EXPECT_EQ(find_field(copy, "aB", *schema), &copy.fields[1]);
  EXPECT_EQ(find_field(copy, "nope", *schema), nullptr);
}

TEST(PossibleTypesTest, UnionsInterfacesAndTypes) {
  auto schema = make_schema();
  std::vector<std::string_view> pet = possible_types("Pet", *schema);
  EXPECT_EQ(std::vector<std::string>(pet.begin(), pet.end()), (std::vector<std::string>{"Dog", "Cat", "Dog"}));
  EXPECT_EQ(sorted(possible_types("Named", *schema)), (std::vector<std::string>{"Cat", "Dog"}));
  EXPECT_TRUE(possible_types("Lonely", *schema).empty());
  EXPECT_EQ(sorted(possible_types("Dog", *schema)), std::vector<std::string>{"Dog"});
  EXPECT_EQ(sorted(possible_types("Form", *schema)), std::vector<std::string>{"Form"});
  EXPECT_EQ(sorted(possible_types("Shadow", *schema)), std::vector<std::string>{"Cat"});  // the union wins
  EXPECT_TRUE(possible_types("Nope", *schema).empty());
}

TEST(PossibleTypesTest, FragmentApplicability) {
  auto schema = make_schema();
  const auto& types = schema->types;
  const Pos pos{3, 7};
  EXPECT_EQ(check_fragment_is_possible("Dog", types.at("Named"), pos, *schema), nullptr);
  EXPECT_EQ(check_fragment_is_possible("Named", types.at("Cat"), pos, *schema), nullptr);
  EXPECT_EQ(check_fragment_is_possible("Dog", types.at("Lonely"), pos, *schema), nullptr);
  EXPECT_EQ(check_fragment_is_possible("Lonely", types.at("Dog"), pos, *schema), nullptr);
  EXPECT_EQ(check_fragment_is_possible("Cat", types.at("Shadow"), pos, *schema), nullptr);

  Status error = check_fragment_is_possible("Dog", types.at("Shadow"), pos, *schema);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->message, "fragment on 'Dog' can never apply to 'Shadow' -- they share no possible types");
  EXPECT_EQ(error->code(), ErrorCode::INVALID_FRAGMENT_TARGET);
  EXPECT_EQ(error->locations, (std::vector<Location>{{3, 7}}));
  EXPECT_NE(check_fragment_is_possible("Form", types.at("Named"), pos, *schema), nullptr);
}

// Request threads may all meet a new schema at once.
TEST(SchemaIndexTest, ConcurrentFirstUseBuildsOneIndex) {
  auto schema = make_schema();
  std::vector<const SchemaIndex*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      seen[t] = &schema_index(*schema);
      EXPECT_NE(find_field(schema->types.at("Query"), "firstName", *schema), nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const SchemaIndex* index : seen) EXPECT_EQ(index, seen[0]);
}

TEST(ValidationHelpersTest, ConvertParserType) {
  TypeRef int_type{TypeRef::Kind::Named, false, "Int", nullptr};
  TypeRef list{TypeRef::Kind::List, true, {}, &int_type};
  TypeRef outer{TypeRef::Kind::List, false, {}, &list};
  EXPECT_EQ(convert_parser_type(int_type).to_sdl_string(), "Int!");
  EXPECT_EQ(convert_parser_type(list).to_sdl_string(), "[Int!]");
  EXPECT_EQ(convert_parser_type(outer).to_sdl_string(), "[[Int!]]!");
  TypeRef nullable{TypeRef::Kind::Named, true, "String", nullptr};
  EXPECT_EQ(convert_parser_type(nullable), GraphQLType::named("String"));
}

}  // namespace
}  // namespace quenfel
