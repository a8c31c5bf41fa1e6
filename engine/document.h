// The parsed executable document. It is built once by the parser, never
// changed afterwards and shared read-only (by the binding's handles and the
// persisted-query cache), so every node lives in the document's arena and
// names point into the document's own copy of the query text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "engine/arena.h"
#include "engine/error.h"

namespace quenfel {

// 1-based line and column (columns count Unicode code points); 0/0 means none.
struct Pos {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  friend bool operator==(const Pos&, const Pos&) = default;
};

// A list of sibling nodes, linked through each node's `next` (nullptr after
// the last). The parser links a node in as soon as it is complete, so no list
// is gathered elsewhere and copied, however long it grows.
template <class Node>
class List {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Node;
    using difference_type = std::ptrdiff_t;
    using pointer = const Node*;
    using reference = const Node&;

    iterator() = default;
    explicit iterator(const Node* node) : node_(node) {}
    reference operator*() const { return *node_; }
    pointer operator->() const { return node_; }
    iterator& operator++() {
      node_ = node_->next;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      node_ = node_->next;
      return old;
    }
    friend bool operator==(const iterator&, const iterator&) = default;

   private:
    const Node* node_ = nullptr;
  };

  constexpr List() = default;
  List(const Node* first, std::uint32_t size) : first_(first), size_(size) {}

  iterator begin() const { return iterator(first_); }
  iterator end() const { return iterator(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Node& front() const { return *first_; }
  const Node* first() const { return first_; }  // nullptr when empty

 private:
  const Node* first_ = nullptr;
  std::uint32_t size_ = 0;
};

enum class OperationType : std::uint8_t { Query, Mutation, Subscription };

// "query", "mutation" or "subscription".
std::string_view operation_type_name(OperationType type);

enum class ValueKind : std::uint8_t {
  Variable,
  Null,
  Number,
  String,
  Boolean,
  Binary,  // part of the value model; query text has no literal for it
  Enum,
  List,
  Object,
};

// A number keeps the form it was written in: a non-negative integer that fits
// 64 bits is Unsigned, a negative one that fits is Signed, anything else
// (fraction, exponent, or too large) is Double.
enum class NumberKind : std::uint8_t { Unsigned, Signed, Double };

struct ListItem;
struct NamedValue;

// An input value as written in the query; variables stay unresolved.
struct Value {
  ValueKind kind = ValueKind::Null;
  NumberKind number_kind = NumberKind::Unsigned;
  bool boolean = false;
  Pos pos;
  std::uint32_t size = 0;  // length of chars, items or fields
  union {
    const char* chars;         // Variable (name), String, Enum (name), Binary
    const ListItem* items;     // List: the first item
    const NamedValue* fields;  // Object: the first field, in the order written
    std::uint64_t unsigned_number;
    std::int64_t signed_number;
    double double_number;
  };

  Value() : chars(nullptr) {}

  std::string_view text() const { return {chars, size}; }
  List<ListItem> list() const;
  List<NamedValue> object() const;
  bool is_integer() const { return kind == ValueKind::Number && number_kind != NumberKind::Double; }
};

// An item of a list value.
struct ListItem : Value {
  const ListItem* next = nullptr;
};

// An argument of a field or directive, or an entry of an object value.
struct NamedValue {
  const NamedValue* next = nullptr;
  std::string_view name;
  Pos name_pos;
  Value value;  // value.pos is the position of the value
};
using Argument = NamedValue;
using ObjectField = NamedValue;

inline List<ListItem> Value::list() const { return {items, size}; }
inline List<NamedValue> Value::object() const { return {fields, size}; }

// The nodes that dense text can repeat every two bytes (directives, selections)
// keep their members packed behind accessors: a name is a pointer and a 32-bit
// length, and the parts a selection does not have take no room at all.

class Directive {
 public:
  const Directive* next = nullptr;

  std::string_view name() const { return {name_, name_size_}; }  // without "@"
  Pos pos() const { return pos_; }                                 // of the "@"
  List<Argument> arguments() const { return {arguments_, argument_count_}; }

 private:
  friend class DocumentBuilder;
  Directive(std::string_view name, Pos pos, List<Argument> arguments)
      : name_(name.data()),
        pos_(pos),
        name_size_(static_cast<std::uint32_t>(name.size())),
        argument_count_(static_cast<std::uint32_t>(arguments.size())),
        arguments_(arguments.first()) {}

  const char* name_;
  Pos pos_;
  std::uint32_t name_size_;
  std::uint32_t argument_count_;
  const Argument* arguments_;
};

// A declared variable type: a named type or a list, each nullable or not.
class TypeRef {
 public:
  enum class Kind : std::uint8_t { Named, List };

  Kind kind() const { return kind_; }
  bool nullable() const { return nullable_; }
  std::string_view name() const { return {name_, name_size_}; }  // Named
  const TypeRef& item() const { return *item_; }                  // List

 private:
  friend class DocumentBuilder;
  TypeRef(std::string_view name, bool nullable)
      : kind_(Kind::Named), nullable_(nullable), name_size_(static_cast<std::uint32_t>(name.size())), name_(name.data()) {}
  TypeRef(const TypeRef* item, bool nullable) : kind_(Kind::List), nullable_(nullable), item_(item) {}

  Kind kind_;
  bool nullable_;
  std::uint32_t name_size_ = 0;
  union {
    const char* name_;
    const TypeRef* item_;
  };
};

struct VariableDefinition {
  const VariableDefinition* next = nullptr;
  std::string_view name;  // without "$"
  Pos pos;                // of the "$"
  const TypeRef* type = nullptr;
  const Value* default_value = nullptr;  // null when there is none
  List<Directive> directives;
};

class Selection;

struct SelectionSet {
  Pos pos;  // of the "{"; 0/0 when there is no selection set
  List<Selection> items;

  bool empty() const { return items.empty(); }
};

enum class SelectionKind : std::uint8_t { Field, FragmentSpread, InlineFragment };

// One node for the three kinds of selection. A 32-byte head holds what every
// selection has; the parts that only some have (alias, arguments, directives,
// selection set, type condition position) follow it, each only when present.
class Selection {
 public:
  const Selection* next = nullptr;

  // The parts live behind the head: a copy of the head alone would read past its end.
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

  SelectionKind kind() const { return kind_; }
  // Field: start of the alias, else of the name. Spread and inline fragment: the "...".
  Pos pos() const { return pos_; }
  // Field: the field name. FragmentSpread: the fragment name.
  // InlineFragment: the type condition's name; data() == nullptr when there is none.
  std::string_view name() const { return {name_, name_size_}; }
  bool has_alias() const { return (parts_ & kAlias) != 0; }
  // Field; data() == nullptr when there is none.
  std::string_view alias() const { return has_alias() ? part<std::string_view>(kAlias) : std::string_view(); }
  std::string_view response_key() const { return has_alias() ? alias() : name(); }
  bool has_type_condition() const { return name_ != nullptr; }
  // InlineFragment with a type condition: the "on".
  Pos type_condition_pos() const { return (parts_ & kTypeConditionPos) ? part<Pos>(kTypeConditionPos) : Pos(); }
  List<Argument> arguments() const {  // Field
    return (parts_ & kArguments) ? part<List<Argument>>(kArguments) : List<Argument>();
  }
  List<Directive> directives() const {
    return (parts_ & kDirectives) ? part<List<Directive>>(kDirectives) : List<Directive>();
  }
  const SelectionSet& selection_set() const {  // Field, InlineFragment
    return (parts_ & kSelectionSet) ? part<SelectionSet>(kSelectionSet) : kNoSelectionSet;
  }

 private:
  friend class DocumentBuilder;
  enum Part : std::uint8_t {
    kAlias = 1,
    kArguments = 2,
    kDirectives = 4,
    kSelectionSet = 8,
    kTypeConditionPos = 16,
    kEnd = 32,  // after the last part: offset_of(parts, kEnd) is the node's whole size
  };
  // Parts are laid out in the order of their bits; every size is a multiple of
  // 8, so each part stays aligned.
  static constexpr std::size_t part_size(Part part) {
    switch (part) {
      case kAlias:
        return sizeof(std::string_view);
      case kArguments:
        return sizeof(List<Argument>);
      case kDirectives:
        return sizeof(List<Directive>);
      case kSelectionSet:
        return sizeof(SelectionSet);
      case kTypeConditionPos:
        return sizeof(Pos);
      case kEnd:
        break;
    }
    return 0;
  }
  static constexpr std::size_t offset_of(std::uint8_t parts, Part part) {
    std::size_t offset = sizeof(Selection);
    for (std::uint8_t p = 1; p < part; p <<= 1) {
      if (parts & p) offset += part_size(static_cast<Part>(p));
    }
    return offset;
  }
  template <class T>
  const T& part(Part part) const {
    return *std::launder(reinterpret_cast<const T*>(reinterpret_cast<const char*>(this) + offset_of(parts_, part)));
  }

  Selection(SelectionKind kind, Pos pos, std::string_view name, std::uint8_t parts)
      : name_(name.data()), pos_(pos), name_size_(static_cast<std::uint32_t>(name.size())), kind_(kind), parts_(parts) {}

  static const SelectionSet kNoSelectionSet;

  const char* name_;
  Pos pos_;
  std::uint32_t name_size_;
  SelectionKind kind_;
  std::uint8_t parts_;
};

inline const SelectionSet Selection::kNoSelectionSet{};
static_assert(sizeof(Selection) == 32 && sizeof(Directive) == 40 && sizeof(TypeRef) == 16);

struct OperationDefinition {
  const OperationDefinition* next = nullptr;
  std::uint32_t index = 0;  // position among the document's operations, from 0
  OperationType type = OperationType::Query;
  Pos pos;                // of the keyword, or of the "{" of the shorthand form
  std::string_view name;  // data() == nullptr for an anonymous operation
  List<VariableDefinition> variables;
  List<Directive> directives;
  SelectionSet selection_set;

  bool is_anonymous() const { return name.data() == nullptr; }
};

struct FragmentDefinition {
  const FragmentDefinition* next = nullptr;
  std::uint32_t index = 0;  // position among the document's fragments, from 0
  std::string_view name;
  Pos pos;                 // of the "fragment" keyword
  std::string_view type_condition;
  Pos type_condition_pos;  // of the "on"
  List<Directive> directives;
  SelectionSet selection_set;
};

class Document {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Only the parser makes documents; the key keeps this constructor its own.
  Document(Key, std::size_t arena_bytes) : arena_(arena_bytes) {}
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // The document's own copy of the query text; every name views into it or into the arena.
  std::string_view text() const { return text_; }
  // Operations and fragments in source order. Names are unique and an anonymous
  // operation is the only operation (the parser refuses anything else).
  List<OperationDefinition> operations() const { return operations_; }
  List<FragmentDefinition> fragments() const { return fragments_; }
  const FragmentDefinition* find_fragment(std::string_view name) const;
  // Heap bytes held by this document: its arena blocks, and the allocation that
  // holds the object itself together with its shared_ptr control block.
  std::size_t heap_bytes() const { return arena_.bytes_reserved() + shell_bytes_; }

 private:
  friend class DocumentBuilder;

  Arena arena_;
  std::size_t shell_bytes_ = 0;
  std::string_view text_;
  List<OperationDefinition> operations_;
  List<FragmentDefinition> fragments_;
  // Open-addressing index of fragments by name; nullptr marks an empty slot.
  const FragmentDefinition* const* fragment_slots_ = nullptr;
  std::uint32_t fragment_slot_mask_ = 0;
};

using DocumentPtr = std::shared_ptr<const Document>;

// Picks the operation a request means: by name when one is given, else the only one.
Result<const OperationDefinition*> select_operation(const Document& document,
                                                    std::optional<std::string_view> operation_name);

}  // namespace quenfel
