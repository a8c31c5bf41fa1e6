#include "engine/document.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/parser.h"

namespace quenfel {
namespace {

DocumentPtr parse(std::string_view text) {
  auto result = parse_document(text);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message);
  return result.ok() ? *result : nullptr;
}

void expect_selection_error(const Document& doc, std::optional<std::string_view> name, const std::string& message) {
  auto result = select_operation(doc, name);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, message);
  EXPECT_EQ(result.error().code(), ErrorCode::GRAPHQL_VALIDATION_FAILED);
  EXPECT_FALSE(result.error().locations.has_value());
}

TEST(SelectOperation, SingleOperationIsChosenWithoutAName) {
  DocumentPtr named = parse("query Only { a }");
  ASSERT_TRUE(named);
  auto chosen = select_operation(*named, std::nullopt);
  ASSERT_TRUE(chosen.ok());
  EXPECT_EQ((*chosen)->name, "Only");

  DocumentPtr anonymous = parse("fragment F on T { a } { ...F }");
  ASSERT_TRUE(anonymous);
  auto only = select_operation(*anonymous, std::nullopt);
  ASSERT_TRUE(only.ok());
  EXPECT_TRUE((*only)->is_anonymous());
}

TEST(SelectOperation, ByName) {
  DocumentPtr doc = parse("query A { a } mutation B { b } subscription C { c }");
  ASSERT_TRUE(doc);
  for (std::string_view name : {"A", "B", "C"}) {
    auto chosen = select_operation(*doc, name);
    ASSERT_TRUE(chosen.ok());
    EXPECT_EQ((*chosen)->name, name);
  }
  EXPECT_EQ((*select_operation(*doc, "B"))->type, OperationType::Mutation);
  expect_selection_error(*doc, "a", "no operation named 'a'");
  expect_selection_error(*doc, std::nullopt, "document contains multiple operations; operation_name is required");
}

TEST(SelectOperation, AnAnonymousOperationNeverMatchesAName) {
  DocumentPtr doc = parse("{ a }");
  ASSERT_TRUE(doc);
  expect_selection_error(*doc, "Query", "no operation named 'Query'");
  expect_selection_error(*doc, "", "no operation named ''");
}

TEST(SelectOperation, EmptyNameIsAName) {
  DocumentPtr doc = parse("query A { a }");
  ASSERT_TRUE(doc);
  expect_selection_error(*doc, "", "no operation named ''");
}

TEST(DocumentLookup, FindFragmentByExactName) {
  DocumentPtr doc = parse("{ ...A } fragment A on T { a } fragment B on T { b } fragment a on T { c }");
  ASSERT_TRUE(doc);
  ASSERT_NE(doc->find_fragment("A"), nullptr);
  EXPECT_EQ(doc->find_fragment("A")->selection_set.items[0].name, "a");
  EXPECT_EQ(doc->find_fragment("a")->selection_set.items[0].name, "c");
  EXPECT_EQ(doc->find_fragment("B")->type_condition, "T");
  EXPECT_EQ(doc->find_fragment("C"), nullptr);
  EXPECT_EQ(doc->find_fragment(""), nullptr);

  DocumentPtr none = parse("{ a }");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->find_fragment("A"), nullptr);
}

// An indented query shaped like what clients send: aliased blocks with
// arguments, nested selections and a shared fragment.
std::string indented_query(int blocks) {
  std::string text = "query Dashboard($first: Int = 10) {\n";
  for (int i = 0; i < blocks; ++i) {
    const std::string n = std::to_string(i);
    text += "  r" + n + ": repository(owner: \"owner-" + n + "\", name: \"project-" + n + "\") {\n"
            "    ...RepoFields\n"
            "    issues(first: $first, states: [OPEN], orderBy: {field: CREATED_AT, direction: DESC}) {\n"
            "      totalCount\n"
            "      nodes {\n"
            "        id\n"
            "        title\n"
            "        author { login avatarUrl(size: 40) }\n"
            "        labels(first: 5) { nodes { name color } }\n"
            "      }\n"
            "    }\n"
            "  }\n";
  }
  return text + "}\n\nfragment RepoFields on Repository {\n  id\n  name\n  stargazerCount\n}\n";
}

TEST(DocumentFootprint, IndentedQueriesHoldAtMostEightBytesPerByte) {
  for (int blocks : {40, 400}) {
    const std::string text = indented_query(blocks);
    DocumentPtr doc = parse(text);
    ASSERT_TRUE(doc);
    EXPECT_LE(doc->heap_bytes(), 8 * text.size()) << blocks << " blocks, " << text.size() << " bytes";
  }
}

TEST(DocumentFootprint, DenseQueriesGrowWithLittleUnused) {
  // Minified fields cost far more than their text: many blocks past the first.
  for (int fields : {100, 10'000, 100'000}) {
    std::string text = "{";
    for (int i = 0; i < fields; ++i) text += "a,";
    text += "}";
    DocumentPtr doc = parse(text);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->operations()[0].selection_set.items.size(), static_cast<std::size_t>(fields));
    // The text, the selections and the document object at the very least.
    const std::size_t needed = text.size() + fields * sizeof(Selection) + sizeof(Document);
    EXPECT_GE(doc->heap_bytes(), needed);
    EXPECT_LE(doc->heap_bytes(), needed + needed / 4 + 1024) << fields << " fields";
  }
}

}  // namespace
}  // namespace quenfel
