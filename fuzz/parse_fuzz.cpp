// Any byte string must give a document or an error: never a crash, a hang or
// a document that breaks the invariants its readers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/parser.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void walk(const quenfel::SelectionSet& set, std::string_view text, unsigned depth) {
  check(depth <= quenfel::kMaxNestingDepth);
  for (const quenfel::Selection& selection : set.items) {
    check(selection.pos.line >= 1 && selection.pos.column >= 1);
    check(selection.name.empty() || selection.kind != quenfel::SelectionKind::Field ||
          (selection.name.data() >= text.data() && selection.name.data() + selection.name.size() <= text.data() + text.size()));
    walk(selection.selection_set, text, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = quenfel::parse_document(text);
  if (!result.ok()) {
    const quenfel::GraphQLError& error = result.error();
    check(error.code() == quenfel::ErrorCode::GRAPHQL_PARSE_FAILED);
    check(!error.message.empty());
    if (error.locations) {
      check(!error.locations->empty() && error.locations->size() <= 2);
      for (const auto& location : *error.locations) check(location.line >= 1 && location.column >= 1);
    }
    return 0;
  }
  const quenfel::Document& document = **result;
  check(!document.operations().empty());
  for (const auto& operation : document.operations()) walk(operation.selection_set, document.text(), 1);
  for (const auto& fragment : document.fragments()) {
    check(document.find_fragment(fragment.name) == &fragment);
    walk(fragment.selection_set, document.text(), 1);
  }
  return 0;
}
