// The parsed executable document. It is built once by the parser, never
// changed afterwards and shared read-only (by the binding's handles and the
// persisted-query cache), so every node lives in the document's arena and
// names point into the document's own copy of the query text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

template <class T>
struct Span {
  const T* ptr = nullptr;
  std::uint32_t len = 0;

  const T* begin() const { return ptr; }
  const T* end() const { return ptr + len; }
  std::size_t size() const { return len; }
  bool empty() const { return len == 0; }
  const T& operator[](std::size_t i) const { return ptr[i]; }
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

struct NamedValue;

// An input value as written in the query; variables stay unresolved.
struct Value {
  ValueKind kind = ValueKind::Null;
  NumberKind number_kind = NumberKind::Unsigned;
  bool boolean = false;
  Pos pos;
  std::uint32_t size = 0;  // length of chars, items or fields
  union {
    const char* chars;          // Variable (name), String, Enum (name), Binary
    const Value* items;         // List
    const NamedValue* fields;   // Object, in the order written
    std::uint64_t unsigned_number;
    std::int64_t signed_number;
    double double_number;
  };

  Value() : chars(nullptr) {}

  std::string_view text() const { return {chars, size}; }
  Span<Value> list() const { return {items, size}; }
  Span<NamedValue> object() const { return {fields, size}; }
  bool is_integer() const { return kind == ValueKind::Number && number_kind != NumberKind::Double; }
};

// An argument of a field or directive, or an entry of an object value.
struct NamedValue {
  std::string_view name;
  Pos name_pos;
  Value value;  // value.pos is the position of the value
};
using Argument = NamedValue;
using ObjectField = NamedValue;

struct Directive {
  std::string_view name;  // without "@"
  Pos pos;                // of the "@"
  Span<Argument> arguments;
};

// A declared variable type: a named type or a list, each nullable or not.
struct TypeRef {
  enum class Kind : std::uint8_t { Named, List };
  Kind kind = Kind::Named;
  bool nullable = true;
  std::string_view name;        // Named
  const TypeRef* item = nullptr;  // List
};

struct VariableDefinition {
  std::string_view name;  // without "$"
  Pos pos;                // of the "$"
  const TypeRef* type = nullptr;
  const Value* default_value = nullptr;  // null when there is none
  Span<Directive> directives;
};

struct Selection;

struct SelectionSet {
  Pos pos;  // of the "{"; 0/0 when there is no selection set
  Span<Selection> items;

  bool empty() const { return items.empty(); }
};

enum class SelectionKind : std::uint8_t { Field, FragmentSpread, InlineFragment };

// One flat node for the three kinds of selection; only the members of its kind are set.
struct Selection {
  SelectionKind kind = SelectionKind::Field;
  // Field: start of the alias, else of the name. Spread and inline fragment: the "...".
  Pos pos;
  std::string_view alias;  // Field; data() == nullptr when there is none
  // Field: the field name. FragmentSpread: the fragment name.
  // InlineFragment: the type condition's name; data() == nullptr when there is none.
  std::string_view name;
  Pos type_condition_pos;  // InlineFragment with a type condition: the "on"
  Span<Argument> arguments;    // Field
  Span<Directive> directives;
  SelectionSet selection_set;  // Field, InlineFragment

  bool has_alias() const { return alias.data() != nullptr; }
  std::string_view response_key() const { return has_alias() ? alias : name; }
  bool has_type_condition() const { return name.data() != nullptr; }
};

struct OperationDefinition {
  OperationType type = OperationType::Query;
  Pos pos;                // of the keyword, or of the "{" of the shorthand form
  std::string_view name;  // data() == nullptr for an anonymous operation
  Span<VariableDefinition> variables;
  Span<Directive> directives;
  SelectionSet selection_set;

  bool is_anonymous() const { return name.data() == nullptr; }
};

struct FragmentDefinition {
  std::string_view name;
  Pos pos;                 // of the "fragment" keyword
  std::string_view type_condition;
  Pos type_condition_pos;  // of the "on"
  Span<Directive> directives;
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
  Span<OperationDefinition> operations() const { return operations_; }
  Span<FragmentDefinition> fragments() const { return fragments_; }
  const FragmentDefinition* find_fragment(std::string_view name) const;
  // Heap bytes held by this document: its arena blocks, and the allocation that
  // holds the object itself together with its shared_ptr control block.
  std::size_t heap_bytes() const { return arena_.bytes_reserved() + shell_bytes_; }

 private:
  friend class DocumentBuilder;

  Arena arena_;
  std::size_t shell_bytes_ = 0;
  std::string_view text_;
  Span<OperationDefinition> operations_;
  Span<FragmentDefinition> fragments_;
  // Open-addressing index of fragments by name: slots hold index + 1, 0 is empty.
  const std::uint32_t* fragment_slots_ = nullptr;
  std::uint32_t fragment_slot_mask_ = 0;
};

using DocumentPtr = std::shared_ptr<const Document>;

// Picks the operation a request means: by name when one is given, else the only one.
Result<const OperationDefinition*> select_operation(const Document& document,
                                                    std::optional<std::string_view> operation_name);

}  // namespace quenfel
