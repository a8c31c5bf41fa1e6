// Lookup tables derived once from a compiled schema, so that a request never
// camel-cases a name or scans every type again: the exposed name of each field,
// argument and input field, a by-name field table per type, what each field's
// type names, and each type's possible concrete types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/name_map.h"
#include "engine/schema.h"

namespace quenfel {

// The name under which queries use a field, argument or input field.
std::string exposed_name(const std::optional<std::string>& graphql_name, const std::string& name,
                         bool auto_camel_case);

class SchemaIndex {
 public:
  struct Arguments {
    const std::vector<ArgumentDefinition>* definitions = nullptr;
    std::vector<std::string> exposed_names;  // parallel to *definitions

    // The first argument in stored order with that exposed name, or -1.
    std::ptrdiff_t find(std::string_view name) const;
  };

  struct Type;

  // What the innermost named type of a field's type is, tested in this order:
  // a built-in or declared scalar, a union, a type of the schema (an enum is a
  // leaf), or nothing the schema knows. Unions and non-enum types are composite.
  enum class ResultKind : std::uint8_t { Leaf, Composite, Unknown };

  struct Field {
    const FieldDefinition* definition = nullptr;
    std::string exposed_name;
    Arguments arguments;
    ResultKind result_kind = ResultKind::Unknown;
    // The indexed type of the innermost name, when it has one. For a union that is
    // a type of the same name if there is one, else the union's own entry.
    const Type* result_type = nullptr;
  };

  struct Type {
    std::string_view name;
    // Null for a union's own entry, which has no fields.
    const TypeDefinition* definition = nullptr;
    std::vector<Field> fields;  // parallel to definition->fields
    // Exposed name to the first field (in stored order) that has it.
    NameViewMap<std::uint32_t> field_by_name;
    // The concrete types a value of this type can be: a union's members (when a union
    // has the same name), an interface's implementors, or the type itself. Sorted, unique.
    std::vector<std::string_view> possible_types;

    const Field* find_field(std::string_view name) const;
  };

  struct Directive {
    const OperationDirectiveDefinition* definition = nullptr;
    Arguments arguments;
  };

  explicit SchemaIndex(const CompiledSchema& schema);
  SchemaIndex(const SchemaIndex&) = delete;
  SchemaIndex& operator=(const SchemaIndex&) = delete;

  // A type of the schema; never a union's own entry.
  const Type* type(std::string_view name) const;
  const Directive* directive(std::string_view name) const;

 private:
  NameViewMap<Type> types_;
  // One entry per union that no type of the same name stands for: fragment type
  // conditions are looked up in types_ only, so a union name there stays unknown.
  NameViewMap<Type> unions_;
  NameViewMap<Directive> directives_;
};

// The schema's index, built on the first call (thread-safe) from the schema's
// contents at that time; the schema must not change afterwards.
const SchemaIndex& schema_index(const CompiledSchema& schema);

}  // namespace quenfel
