#include "engine/schema.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/naming.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

using testing::type_ref;

TEST(GraphQLTypeTest, SdlTextAndEquality) {
  for (const char* sdl : {"Int", "ID!", "[[A]]", "[Int!]!", "[[String]!]"})
    EXPECT_EQ(type_ref(sdl).to_sdl_string(), sdl);
  EXPECT_EQ(type_ref("[Int!]").innermost_name(), "Int");
  EXPECT_EQ(type_ref("[A]"), type_ref("[A]"));
  for (const char* other : {"[B]", "A!", "[[A]]", "A", "[A]!"}) EXPECT_NE(type_ref("[A]"), type_ref(other)) << other;
}

// Annotations can nest arbitrarily: copies, comparison, text and destruction
// must not recurse once per level.
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

}  // namespace
}  // namespace quenfel
