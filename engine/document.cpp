#include "engine/document.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/document_builder.h"
#include "engine/keyed_hash.h"

namespace quenfel {

namespace {

std::uint32_t table_size_for(std::size_t n) {
  std::uint32_t size = 4;
  while (size < n * 2) size <<= 1;
  return size;
}

// Open addressing over slots of definitions (nullptr = empty). Returns the
// definition already stored under the name of `definition`, or nullptr after
// inserting it.
template <class Definition>
const Definition* insert_or_find(const Definition** slots, std::uint32_t mask, const Definition* definition) {
  for (std::uint32_t i = static_cast<std::uint32_t>(keyed_hash(definition->name)) & mask;; i = (i + 1) & mask) {
    if (slots[i] == nullptr) {
      slots[i] = definition;
      return nullptr;
    }
    if (slots[i]->name == definition->name) return slots[i];
  }
}

bool before(const Pos& a, const Pos& b) {
  return a.line < b.line || (a.line == b.line && a.column < b.column);
}

ErrorPtr parse_error_at(std::string message, Pos first, Pos second) {
  auto error = make_error(std::move(message), ErrorCode::GRAPHQL_PARSE_FAILED);
  error->locations = std::vector<Location>{{first.line, first.column}, {second.line, second.column}};
  return error;
}

}  // namespace

std::string_view operation_type_name(OperationType type) {
  switch (type) {
    case OperationType::Query:
      return "query";
    case OperationType::Mutation:
      return "mutation";
    case OperationType::Subscription:
      return "subscription";
  }
  return "query";
}

const FragmentDefinition* Document::find_fragment(std::string_view name) const {
  if (fragment_slots_ == nullptr) return nullptr;
  for (std::uint32_t i = static_cast<std::uint32_t>(keyed_hash(name)) & fragment_slot_mask_;;
       i = (i + 1) & fragment_slot_mask_) {
    const FragmentDefinition* fragment = fragment_slots_[i];
    if (fragment == nullptr || fragment->name == name) return fragment;
  }
}

namespace {

// Allocates through the global operator new and adds up what it took, so that
// a document can count the block that holds it and its control block. The
// total is only written while allocate_shared runs.
template <class T>
struct CountingAllocator {
  using value_type = T;

  explicit CountingAllocator(std::size_t* total) : total(total) {}
  template <class U>
  CountingAllocator(const CountingAllocator<U>& other) : total(other.total) {}

  T* allocate(std::size_t n) {
    *total += n * sizeof(T);
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) { ::operator delete(p); }
  template <class U>
  bool operator==(const CountingAllocator<U>&) const {
    return true;
  }

  std::size_t* total;
};

}  // namespace

DocumentBuilder::DocumentBuilder(std::string_view text, std::size_t node_bytes) {
  std::size_t shell_bytes = 0;
  document_ = std::allocate_shared<Document>(CountingAllocator<Document>(&shell_bytes), Document::Key(),
                                             text.size() + node_bytes + 256);
  document_->shell_bytes_ = shell_bytes;
  document_->text_ = std::string_view(document_->arena_.copy_chars(text.data(), text.size()), text.size());
}

Result<DocumentPtr> DocumentBuilder::finish(List<OperationDefinition> operations,
                                            List<FragmentDefinition> fragments) {
  // The first conflict in source order wins, as if definitions were registered one by one.
  ErrorPtr error;
  Pos error_at;

  if (operations.size() > 1) {
    std::vector<const OperationDefinition*> slots(table_size_for(operations.size()), nullptr);
    const std::uint32_t mask = static_cast<std::uint32_t>(slots.size() - 1);
    const OperationDefinition& first = operations.front();
    if (!first.is_anonymous()) insert_or_find(slots.data(), mask, &first);
    for (const OperationDefinition* next = first.next; next != nullptr; next = next->next) {
      const OperationDefinition& op = *next;
      if (op.is_anonymous() || first.is_anonymous()) {
        const OperationDefinition& anonymous = first.is_anonymous() ? first : op;
        const OperationDefinition& other = &anonymous == &op ? first : op;
        error = parse_error_at("document contains multiple operations", anonymous.pos, other.pos);
        error_at = op.pos;
        break;
      }
      if (const OperationDefinition* earlier = insert_or_find(slots.data(), mask, &op)) {
        error = parse_error_at("operation " + std::string(op.name) + " is defined twice", earlier->pos, op.pos);
        error_at = op.pos;
        break;
      }
    }
  }

  if (!fragments.empty()) {
    const std::uint32_t size = table_size_for(fragments.size());
    auto** slots = static_cast<const FragmentDefinition**>(
        arena().allocate(size * sizeof(const FragmentDefinition*), alignof(const FragmentDefinition*)));
    std::fill(slots, slots + size, nullptr);
    for (const FragmentDefinition& fragment : fragments) {
      if (const FragmentDefinition* earlier = insert_or_find(slots, size - 1, &fragment)) {
        if (!error || before(fragment.pos, error_at)) {
          error = parse_error_at("fragment " + std::string(fragment.name) + " is defined twice", earlier->pos,
                                 fragment.pos);
        }
        break;
      }
    }
    document_->fragment_slots_ = slots;
    document_->fragment_slot_mask_ = size - 1;
  }

  if (error) return error;
  if (operations.empty()) {
    return make_error("document does not contain an operation", ErrorCode::GRAPHQL_PARSE_FAILED);
  }
  document_->operations_ = operations;
  document_->fragments_ = fragments;
  return DocumentPtr(std::move(document_));
}

Result<const OperationDefinition*> select_operation(const Document& document,
                                                    std::optional<std::string_view> operation_name) {
  auto operations = document.operations();
  if (operation_name) {
    for (const OperationDefinition& op : operations) {
      if (!op.is_anonymous() && op.name == *operation_name) return &op;
    }
    return make_error("no operation named '" + std::string(*operation_name) + "'",
                      ErrorCode::GRAPHQL_VALIDATION_FAILED);
  }
  if (operations.size() == 1) return &operations.front();
  return make_error("document contains multiple operations; operation_name is required",
                    ErrorCode::GRAPHQL_VALIDATION_FAILED);
}

}  // namespace quenfel
