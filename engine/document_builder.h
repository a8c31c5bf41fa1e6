// How the parser builds a document: the builder owns the new document's arena
// while the parser fills it, makes the packed nodes, then checks the rules that
// span definitions (unique names, an anonymous operation standing alone) and
// indexes the fragments.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>

#include "engine/document.h"

namespace quenfel {

// A list being built: nodes are appended as they are completed.
template <class Node>
struct ListBuilder {
  Node* first = nullptr;
  Node* last = nullptr;
  std::uint32_t size = 0;

  void append(Node* node) {
    if (last != nullptr) {
      last->next = node;
    } else {
      first = node;
    }
    last = node;
    ++size;
  }
  List<Node> list() const { return {first, size}; }
};

class DocumentBuilder {
 public:
  // Copies the text into the new document's arena, whose first block leaves
  // room for about `node_bytes` of nodes beside it.
  DocumentBuilder(std::string_view text, std::size_t node_bytes);
  DocumentBuilder(const DocumentBuilder&) = delete;
  DocumentBuilder& operator=(const DocumentBuilder&) = delete;

  Arena& arena() { return document_->arena_; }
  // The document's own copy of the text: views into it stay valid for the document's life.
  std::string_view text() const { return document_->text_; }

  Directive* directive(std::string_view name, Pos pos, List<Argument> arguments) {
    return arena().make<Directive>(Directive(name, pos, arguments));
  }
  TypeRef* named_type(std::string_view name, bool nullable) { return arena().make<TypeRef>(TypeRef(name, nullable)); }
  TypeRef* list_type(const TypeRef* item, bool nullable) { return arena().make<TypeRef>(TypeRef(item, nullable)); }

  // What a selection has beyond its kind, position and name; empty parts take no room.
  struct SelectionParts {
    std::string_view alias;  // data() == nullptr when there is none
    List<Argument> arguments;
    List<Directive> directives;
    SelectionSet selection_set;
    Pos type_condition_pos;  // InlineFragment with a type condition
  };
  Selection* selection(SelectionKind kind, Pos pos, std::string_view name, const SelectionParts& parts) {
    std::uint8_t present = 0;
    if (parts.alias.data() != nullptr) present |= Selection::kAlias;
    if (!parts.arguments.empty()) present |= Selection::kArguments;
    if (!parts.directives.empty()) present |= Selection::kDirectives;
    if (!parts.selection_set.empty()) present |= Selection::kSelectionSet;
    if (kind == SelectionKind::InlineFragment && name.data() != nullptr) present |= Selection::kTypeConditionPos;
    char* memory = static_cast<char*>(
        arena().allocate(Selection::offset_of(present, Selection::kEnd), alignof(Selection)));
    auto* selection = new (memory) Selection(kind, pos, name, present);
    auto put = [&](Selection::Part part, const auto& value) {
      if (present & part) new (memory + Selection::offset_of(present, part)) std::decay_t<decltype(value)>(value);
    };
    put(Selection::kAlias, parts.alias);
    put(Selection::kArguments, parts.arguments);
    put(Selection::kDirectives, parts.directives);
    put(Selection::kSelectionSet, parts.selection_set);
    put(Selection::kTypeConditionPos, parts.type_condition_pos);
    return selection;
  }

  // Takes the definitions (already in the arena) and yields the document, or the
  // first duplicate-definition error in source order. The builder is spent afterwards.
  Result<DocumentPtr> finish(List<OperationDefinition> operations, List<FragmentDefinition> fragments);

 private:
  std::shared_ptr<Document> document_;
};

}  // namespace quenfel
