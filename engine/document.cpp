#include "engine/document.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/document_builder.h"

namespace quenfel {

namespace {

std::uint64_t hash_name(std::string_view name) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h ^ (h >> 29);
}

std::uint32_t table_size_for(std::size_t n) {
  std::uint32_t size = 4;
  while (size < n * 2) size <<= 1;
  return size;
}

// Open addressing over slots holding index + 1 (0 = empty). Returns the index
// already stored under the name of `index`, or -1 after inserting it.
template <class GetName>
long insert_or_find(std::uint32_t* slots, std::uint32_t mask, std::uint32_t index, GetName&& name_of) {
  std::string_view name = name_of(index);
  for (std::uint32_t i = static_cast<std::uint32_t>(hash_name(name)) & mask;; i = (i + 1) & mask) {
    if (slots[i] == 0) {
      slots[i] = index + 1;
      return -1;
    }
    if (name_of(slots[i] - 1) == name) return static_cast<long>(slots[i] - 1);
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
  for (std::uint32_t i = static_cast<std::uint32_t>(hash_name(name)) & fragment_slot_mask_;;
       i = (i + 1) & fragment_slot_mask_) {
    std::uint32_t slot = fragment_slots_[i];
    if (slot == 0) return nullptr;
    if (fragments_[slot - 1].name == name) return &fragments_[slot - 1];
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

// Indented query text takes about five bytes of nodes per byte of text and
// minified text about ten. With the copy of the text that the arena holds too,
// a first block of six times the text holds most documents whole without much
// left unused; denser ones grow from there.
std::size_t first_block_bytes(std::string_view text) { return text.size() * 6 + 256; }

}  // namespace

DocumentBuilder::DocumentBuilder(std::string_view text) {
  std::size_t shell_bytes = 0;
  document_ = std::allocate_shared<Document>(CountingAllocator<Document>(&shell_bytes), Document::Key(),
                                             first_block_bytes(text));
  document_->shell_bytes_ = shell_bytes;
  document_->text_ = std::string_view(document_->arena_.copy_chars(text.data(), text.size()), text.size());
}

Result<DocumentPtr> DocumentBuilder::finish(Span<OperationDefinition> operations,
                                            Span<FragmentDefinition> fragments) {
  // The first conflict in source order wins, as if definitions were registered one by one.
  ErrorPtr error;
  Pos error_at;

  if (operations.size() > 1) {
    std::vector<std::uint32_t> slots(table_size_for(operations.size()), 0);
    const std::uint32_t mask = static_cast<std::uint32_t>(slots.size() - 1);
    long first_anonymous = operations[0].is_anonymous() ? 0 : -1;
    if (first_anonymous < 0) {
      insert_or_find(slots.data(), mask, 0, [&](std::uint32_t i) { return operations[i].name; });
    }
    for (std::uint32_t k = 1; k < operations.size(); ++k) {
      const OperationDefinition& op = operations[k];
      if (op.is_anonymous() || first_anonymous >= 0) {
        const OperationDefinition& anonymous = first_anonymous >= 0 ? operations[first_anonymous] : op;
        const OperationDefinition& other = &anonymous == &op ? operations[0] : op;
        error = parse_error_at("document contains multiple operations", anonymous.pos, other.pos);
        error_at = op.pos;
        break;
      }
      long earlier = insert_or_find(slots.data(), mask, k, [&](std::uint32_t i) { return operations[i].name; });
      if (earlier >= 0) {
        error = parse_error_at("operation " + std::string(op.name) + " is defined twice",
                               operations[earlier].pos, op.pos);
        error_at = op.pos;
        break;
      }
    }
  }

  if (!fragments.empty()) {
    const std::uint32_t size = table_size_for(fragments.size());
    auto* slots = static_cast<std::uint32_t*>(arena().allocate(size * sizeof(std::uint32_t), alignof(std::uint32_t)));
    std::fill(slots, slots + size, 0u);
    for (std::uint32_t k = 0; k < fragments.size(); ++k) {
      long earlier = insert_or_find(slots, size - 1, k, [&](std::uint32_t i) { return fragments[i].name; });
      if (earlier >= 0) {
        if (!error || before(fragments[k].pos, error_at)) {
          error = parse_error_at("fragment " + std::string(fragments[k].name) + " is defined twice",
                                 fragments[earlier].pos, fragments[k].pos);
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
  if (operations.size() == 1) return &operations[0];
  return make_error("document contains multiple operations; operation_name is required",
                    ErrorCode::GRAPHQL_VALIDATION_FAILED);
}

}  // namespace quenfel
