// Shared by the lowering test suites: parse a query, lower it, and print a plan
// compactly so that whole trees can be compared in one assertion.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/lowering.h"
#include "engine/parser.h"

namespace quenfel::testing {

inline DocumentPtr parse(std::string_view text) {
  Result<DocumentPtr> document = parse_document(text);
  if (!document) {
    ADD_FAILURE() << "parse failed: " << document.error().message << "\n" << text;
    return nullptr;
  }
  return *document;
}

// Plan notation: [T] type condition, key:name for an alias, ^ deferred
// (^(label) with a label), ~(count) or ~(count,label) streamed, {...} selections.
inline std::string dump(const std::vector<LoweredField>& fields) {
  std::string out;
  for (const LoweredField& field : fields) {
    if (!out.empty()) out += ' ';
    if (field.type_condition) out.append("[").append(*field.type_condition).append("]");
    out += field.response_key;
    if (field.field_name != field.response_key) out.append(":").append(field.field_name);
    if (field.defer) {
      out += '^';
      if (field.defer->label) out.append("(").append(*field.defer->label).append(")");
    }
    if (field.stream) {
      out.append("~(").append(std::to_string(field.stream->initial_count));
      if (field.stream->label) out.append(",").append(*field.stream->label);
      out += ')';
    }
    if (!field.selections.empty()) out.append("{").append(dump(field.selections)).append("}");
  }
  return out;
}

// A parsed document and the outcome of lowering it; the plan borrows from the document.
struct Lowering {
  DocumentPtr document;
  std::optional<Result<LoweredOperation>> result;

  bool ok() const { return result && result->ok(); }
  const LoweredOperation& operation() const { return result->value(); }
  const std::vector<LoweredField>& fields() const { return result->value().fields; }
  const GraphQLError& error() const { return result->error(); }
  std::string plan() const {
    if (!result) return "parse failed";
    return ok() ? dump(fields()) : "error: " + error().message;
  }
};

inline Lowering lower(std::string_view text, const Json& variables = Json::object(),
                      std::optional<std::string_view> operation_name = std::nullopt) {
  Lowering lowering;
  lowering.document = parse(text);
  if (lowering.document) {
    lowering.result.emplace(lower_document(*lowering.document, JsonVariables(variables), operation_name));
  }
  return lowering;
}

// The plan of a query that must lower, or the error text of one that must not.
inline std::string plan_of(std::string_view text, const Json& variables = Json::object()) {
  return lower(text, variables).plan();
}

}  // namespace quenfel::testing
