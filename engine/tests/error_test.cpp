#include "engine/error.h"

#include <gtest/gtest.h>

namespace quenfel {
namespace {

TEST(ErrorTest, NewErrorHasOnlyMessageAndCode) {
  GraphQLError error("boom", ErrorCode::UNKNOWN_FIELD);
  EXPECT_EQ(error.message, "boom");
  EXPECT_EQ(error.code(), ErrorCode::UNKNOWN_FIELD);
  EXPECT_FALSE(error.locations.has_value());
  EXPECT_FALSE(error.path.has_value());
  EXPECT_FALSE(error.extensions.details.has_value());
  EXPECT_TRUE(error.extensions.extra.empty());
}

TEST(ErrorTest, EveryCodeSerialisesToItsName) {
  const char* names[] = {"GRAPHQL_PARSE_FAILED",          "GRAPHQL_VALIDATION_FAILED",
                         "INTERFACE_TYPE_RESOLUTION_FAILED", "UNION_TYPE_RESOLUTION_FAILED",
                         "UNKNOWN_FIELD",                 "UNKNOWN_ARGUMENT",
                         "ARGUMENT_TYPE_MISMATCH",        "INVALID_DIRECTIVE_LOCATION",
                         "INVALID_FRAGMENT_TARGET",       "PERSISTED_QUERY_NOT_FOUND",
                         "PERSISTED_QUERY_MISMATCH",      "FIELD_RESOLUTION_FAILED"};
  for (std::size_t i = 0; i < kErrorCodeCount; ++i) {
    auto code = static_cast<ErrorCode>(i);
    EXPECT_EQ(error_code_name(code), names[i]);
    EXPECT_EQ(Json(code), Json(names[i]));
  }
}

TEST(ErrorTest, ResultCarriesValueOrError) {
  Result<int> good = 7;
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, 7);
  Result<int> bad = make_error("nope", ErrorCode::GRAPHQL_VALIDATION_FAILED);
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message, "nope");
  ErrorPtr taken = bad.take_error();
  EXPECT_EQ(taken->code(), ErrorCode::GRAPHQL_VALIDATION_FAILED);
}

}  // namespace
}  // namespace quenfel
