#include "engine/document.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quenfel
