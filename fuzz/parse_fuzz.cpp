// Any byte string must give a document or an error: never a crash, a hang or
// a document that breaks the invariants its readers rely on. The walk reads
// every node and every byte of every name and string, so that a view into
// freed or foreign memory shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/parser.h"

namespace {

using namespace quenfel;

void check(bool condition) {
  if (!condition) std::abort();
}

// A list's linked nodes agree with the size it reports.
template <class Node>
List<Node> sized(List<Node> list) {
  std::size_t n = 0;
  for (auto it = list.begin(); it != list.end(); ++it) ++n;
  check(n == list.size() && (list.first() == nullptr) == list.empty());
  return list;
}

class Walker {
 public:
  explicit Walker(const Document& document) : text_(document.text()) {}

  // Names are views into the document's text.
  void name(std::string_view name) {
    check(!name.empty());
    check(name.data() >= text_.data() && name.data() + name.size() <= text_.data() + text_.size());
    touch(name);
  }

  void pos(Pos pos) { check(pos.line >= 1 && pos.column >= 1); }

  void value(const Value& value, unsigned depth) {
    check(depth <= kMaxNestingDepth);
    pos(value.pos);
    switch (value.kind) {
      case ValueKind::Variable:
      case ValueKind::Enum:
        name(value.text());
        break;
      case ValueKind::String:
        touch(value.text());
        break;
      case ValueKind::List:
        for (const Value& item : sized(value.list())) this->value(item, depth + 1);
        break;
      case ValueKind::Object:
        arguments(sized(value.object()), depth + 1);
        break;
      case ValueKind::Number:
      case ValueKind::Boolean:
      case ValueKind::Null:
        break;
      case ValueKind::Binary:
        check(false);  // query text has no literal for it
    }
  }

  void arguments(List<NamedValue> arguments, unsigned depth) {
    for (const NamedValue& argument : sized(arguments)) {
      name(argument.name);
      pos(argument.name_pos);
      value(argument.value, depth);
    }
  }

  void directives(List<Directive> directives) {
    for (const Directive& directive : sized(directives)) {
      name(directive.name());
      pos(directive.pos());
      arguments(directive.arguments(), 1);
    }
  }

  void type(const TypeRef* ref, unsigned depth) {
    check(ref != nullptr && depth <= kMaxNestingDepth + 1);
    if (ref->kind() == TypeRef::Kind::List) {
      type(&ref->item(), depth + 1);
    } else {
      name(ref->name());
    }
  }

  void selections(const SelectionSet& set, unsigned depth) {
    check(depth <= kMaxNestingDepth);
    for (const Selection& selection : sized(set.items)) {
      pos(selection.pos());
      directives(selection.directives());
      switch (selection.kind()) {
        case SelectionKind::Field:
          name(selection.name());
          if (selection.has_alias()) name(selection.alias());
          check(selection.has_alias() || selection.alias().data() == nullptr);
          arguments(selection.arguments(), 1);
          break;
        case SelectionKind::FragmentSpread:
          name(selection.name());
          check(selection.selection_set().empty());
          break;
        case SelectionKind::InlineFragment:
          if (selection.has_type_condition()) {
            name(selection.name());
            pos(selection.type_condition_pos());
          } else {
            check(selection.type_condition_pos() == Pos());
          }
          check(!selection.selection_set().empty());
          break;
      }
      if (!selection.selection_set().empty()) {
        pos(selection.selection_set().pos);
        selections(selection.selection_set(), depth + 1);
      }
    }
  }

  std::uint64_t sum() const { return sum_; }

 private:
  void touch(std::string_view bytes) {
    for (char c : bytes) sum_ += static_cast<unsigned char>(c);
  }

  std::string_view text_;
  std::uint64_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = parse_document(text);
  if (!result.ok()) {
    const GraphQLError& error = result.error();
    check(error.code() == ErrorCode::GRAPHQL_PARSE_FAILED);
    check(!error.message.empty());
    if (error.locations) {
      check(!error.locations->empty() && error.locations->size() <= 2);
      for (const auto& location : *error.locations) check(location.line >= 1 && location.column >= 1);
    }
    return 0;
  }
  const Document& document = **result;
  check(document.text() == text);
  check(!document.operations().empty());
  Walker walker(document);
  std::uint32_t index = 0;
  for (const OperationDefinition& operation : sized(document.operations())) {
    check(operation.index == index++);
    walker.pos(operation.pos);
    check(operation.is_anonymous() ? document.operations().size() == 1 : !operation.name.empty());
    if (!operation.is_anonymous()) walker.name(operation.name);
    for (const VariableDefinition& variable : sized(operation.variables)) {
      walker.name(variable.name);
      walker.pos(variable.pos);
      walker.type(variable.type, 1);
      if (variable.default_value != nullptr) walker.value(*variable.default_value, 1);
      walker.directives(variable.directives);
    }
    walker.directives(operation.directives);
    check(!operation.selection_set.empty());
    walker.selections(operation.selection_set, 1);
  }
  index = 0;
  for (const FragmentDefinition& fragment : sized(document.fragments())) {
    check(fragment.index == index++);
    check(document.find_fragment(fragment.name) == &fragment);
    walker.name(fragment.name);
    walker.name(fragment.type_condition);
    walker.pos(fragment.pos);
    walker.pos(fragment.type_condition_pos);
    walker.directives(fragment.directives);
    check(!fragment.selection_set.empty());
    walker.selections(fragment.selection_set, 1);
  }
  volatile std::uint64_t sink = walker.sum();
  (void)sink;
  return 0;
}
