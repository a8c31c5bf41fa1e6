#include "engine/document.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/parser.h"

namespace quenfel {
namespace {

TEST(DocumentTest, FindFragmentByExactName) {
  DocumentPtr document = *parse_document("{ ...A } fragment A on T { a } fragment B on U { b } fragment a on T { c }");
  for (const char* name : {"A", "B", "a"}) EXPECT_EQ(document->find_fragment(name)->name, name);
  EXPECT_EQ(document->find_fragment("B")->type_condition, "U");
  for (const char* name : {"C", ""}) EXPECT_EQ(document->find_fragment(name), nullptr);
  EXPECT_EQ((*parse_document("{ a }"))->find_fragment("A"), nullptr);
}

// The arena holds an indented query in little more than the text's size a few
// times over, and a dense one with little left unused.
TEST(DocumentTest, FootprintStaysNearWhatTheNodesNeed) {
  std::string indented = "query Dashboard($first: Int = 10) {\n";
  for (int i = 0; i < 400; ++i) {
    indented += "  r" + std::to_string(i) +
                ": repository(owner: \"o\", name: \"p\") {\n    ...RepoFields\n"
                "    issues(first: $first, states: [OPEN], orderBy: {field: CREATED_AT, direction: DESC}) {\n"
                "      nodes {\n        id\n        author { login avatarUrl(size: 40) }\n      }\n    }\n  }\n";
  }
  indented += "}\nfragment RepoFields on Repository {\n  id\n}\n";
  EXPECT_LE((*parse_document(indented))->heap_bytes(), 8 * indented.size());
  for (int fields : {100, 100'000}) {
    std::string dense = "{";
    for (int i = 0; i < fields; ++i) dense += "a,";
    const std::size_t needed = dense.size() + 1 + fields * sizeof(Selection) + sizeof(Document);
    const std::size_t held = (*parse_document(dense + "}"))->heap_bytes();
    EXPECT_TRUE(held >= needed && held <= needed + needed / 4 + 1024) << fields << " fields: " << held;
  }
}

}  // namespace
}  // namespace quenfel
