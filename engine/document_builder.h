// How the parser hands a finished tree to the document: the builder owns the
// new document's arena while the parser fills it, then checks the rules that
// span definitions (unique names, an anonymous operation standing alone) and
// indexes the fragments.
#pragma once

#include <memory>
#include <string_view>

#include "engine/document.h"

namespace quenfel {

class DocumentBuilder {
 public:
  // Copies the text into the new document's arena.
  explicit DocumentBuilder(std::string_view text);
  DocumentBuilder(const DocumentBuilder&) = delete;
  DocumentBuilder& operator=(const DocumentBuilder&) = delete;

  Arena& arena() { return document_->arena_; }
  // The document's own copy of the text: views into it stay valid for the document's life.
  std::string_view text() const { return document_->text_; }

  // Takes the definitions (already in the arena) and yields the document, or the
  // first duplicate-definition error in source order. The builder is spent afterwards.
  Result<DocumentPtr> finish(Span<OperationDefinition> operations,
                             Span<FragmentDefinition> fragments);

 private:
  std::shared_ptr<Document> document_;
};

}  // namespace quenfel
