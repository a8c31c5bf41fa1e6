// Validation of one operation of a parsed document against a compiled schema.
// It stops at the first violation, walking selections depth first in source order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/document.h"
#include "engine/error.h"
#include "engine/name_map.h"
#include "engine/schema.h"
#include "engine/schema_index.h"

namespace quenfel {

// Deepest walk accepted: every nested selection set and every fragment expansion
// is one level. Beyond it validation fails instead of exhausting the stack.
inline constexpr unsigned kMaxSelectionDepth = 512;

// Validates the operation that `operation_name` picks (see select_operation).
Status validate_query(const Document& document, const CompiledSchema& schema,
                      std::optional<std::string_view> operation_name);

// An error located at one position of the query.
ErrorPtr error_at(std::string message, ErrorCode code, std::size_t line, std::size_t column);

// A declared variable: its type and whether the definition gives a default.
struct VariableInfo {
  GraphQLType type;
  bool has_default = false;
};
using VariableTable = NameViewMap<VariableInfo>;

// Checks a field's or a schema directive's arguments (from the schema's index) (repetition, unknown names,
// values, missing required ones); `owner` is the field name as written or the
// directive name without "@".
Status check_arguments(Span<Argument> given, const SchemaIndex::Arguments& declared, std::string_view owner,
                       Pos owner_pos, const CompiledSchema& schema, const VariableTable& variables);

// Checks the directives of a selection at `location`.
Status validate_directives(Span<Directive> directives, OperationDirectiveLocation location,
                           const CompiledSchema& schema, const VariableTable& variables);

// Why a value does not fit `type`, or nothing when it does. `location_has_default`
// relaxes the non-null requirement for variables (the argument or field has a default).
std::optional<std::string> check_value_matches_type(const Value& value, const GraphQLType& type,
                                                    const CompiledSchema& schema,
                                                    const VariableTable& variables,
                                                    bool location_has_default);

// The field of `type` (one of the schema's types) that a query selects by `name`:
// the first in stored order whose exposed name equals it, or null.
const FieldDefinition* find_field(const TypeDefinition& type, std::string_view name, const CompiledSchema& schema);

// The concrete types a value of the named type can be: a union's members, an
// interface's implementors (in no particular order), the type itself, or none.
std::vector<std::string_view> possible_types(std::string_view type_name, const CompiledSchema& schema);

// Fails when a fragment on `type_condition` can never apply inside `parent`.
Status check_fragment_is_possible(std::string_view type_condition, const TypeDefinition& parent, Pos pos,
                                  const CompiledSchema& schema);

// The number of distinct response keys a subscription's root selection set
// yields, or nothing when it cannot be told (a @skip/@include, a cycle, an
// undefined fragment).
std::optional<std::size_t> root_response_key_count(const SelectionSet& selection_set, const Document& document);

// A declared variable type as a type reference.
GraphQLType convert_parser_type(const TypeRef& type);

// "FIELD", "FRAGMENT_SPREAD", ...
std::string_view operation_directive_location_str(OperationDirectiveLocation location);

}  // namespace quenfel
