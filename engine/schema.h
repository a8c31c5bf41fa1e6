// The schema records and the compiled schema. Records are plain values that own
// their contents, so copying one is a deep copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/error.h"
#include "engine/name_map.h"
#include "engine/persisted_query_cache.h"

namespace quenfel {

// A type reference: a named type, a list of a type, or a non-null type.
class GraphQLType {
 public:
  enum class Kind : std::uint8_t { Named, List, NonNull };

  static GraphQLType named(std::string name);
  static GraphQLType list(GraphQLType item);
  static GraphQLType non_null(GraphQLType inner);

  GraphQLType(const GraphQLType& other);
  GraphQLType& operator=(const GraphQLType& other);
  GraphQLType(GraphQLType&&) noexcept = default;
  GraphQLType& operator=(GraphQLType&&) noexcept = default;
  ~GraphQLType();

  Kind kind() const { return kind_; }
  bool is_non_null() const { return kind_ == Kind::NonNull; }
  bool is_list() const { return kind_ == Kind::List; }
  bool is_named() const { return kind_ == Kind::Named; }
  // Named only.
  const std::string& name() const { return name_; }
  // List and NonNull only.
  const GraphQLType& inner() const { return *inner_; }
  // The name found by following List and NonNull down to the named type.
  const std::string& innermost_name() const;

  // "Name", "[inner]" or "inner!".
  std::string to_sdl_string() const;
  // Appends the same text to `out`.
  void append_sdl_string(std::string& out) const;

  friend bool operator==(const GraphQLType& a, const GraphQLType& b);

 private:
  GraphQLType(Kind kind, std::string name, std::unique_ptr<GraphQLType> inner);

  Kind kind_;
  std::string name_;
  std::unique_ptr<GraphQLType> inner_;
};

enum class TypeKind : std::uint8_t { Object, Interface, InputObject, Enum };

// "type", "interface", "input" or "enum".
std::string_view type_kind_keyword(TypeKind kind);

// A directive applied in the schema; argument values are JSON (objects keep sorted keys).
struct AppliedDirective {
  std::string name;  // without "@"
  std::vector<std::pair<std::string, Json>> arguments;
  friend bool operator==(const AppliedDirective&, const AppliedDirective&) = default;
};

struct ArgumentDefinition {
  std::string name;  // Python parameter name
  std::optional<std::string> graphql_name;
  GraphQLType graphql_type = GraphQLType::named("");
  std::optional<std::string> default_value;  // GraphQL literal text
  std::optional<std::string> description;
  std::optional<std::string> deprecation_reason;
  std::vector<AppliedDirective> directives;
  bool has_default = false;
  bool is_maybe = false;
  friend bool operator==(const ArgumentDefinition&, const ArgumentDefinition&) = default;
};

struct FieldDefinition {
  std::string name;  // Python attribute name
  std::optional<std::string> graphql_name;
  GraphQLType graphql_type = GraphQLType::named("");
  std::optional<std::string> description;
  std::optional<std::string> deprecation_reason;
  std::optional<std::string> default_value;  // GraphQL literal text
  std::optional<std::string> parent_parameter;
  std::optional<std::string> info_parameter;
  std::vector<ArgumentDefinition> arguments;
  std::vector<AppliedDirective> directives;
  bool is_maybe = false;
  bool has_resolver = false;
  friend bool operator==(const FieldDefinition&, const FieldDefinition&) = default;
};

struct EnumValueDefinition {
  std::string name;  // Python member name
  std::optional<std::string> graphql_name;
  std::optional<std::string> description;
  std::optional<std::string> deprecation_reason;
  std::vector<AppliedDirective> directives;
  friend bool operator==(const EnumValueDefinition&, const EnumValueDefinition&) = default;
};

struct DirectiveFieldDefinition {
  std::string name;  // Python field name
  std::optional<std::string> graphql_name;
  GraphQLType graphql_type = GraphQLType::named("");
  friend bool operator==(const DirectiveFieldDefinition&, const DirectiveFieldDefinition&) = default;
};

struct TypeDefinition {
  std::string name;
  std::optional<std::string> description;
  std::vector<FieldDefinition> fields;  // empty for enums
  std::vector<AppliedDirective> directives;
  std::vector<std::string> interfaces;
  std::vector<EnumValueDefinition> enum_values;  // empty unless an enum
  TypeKind kind = TypeKind::Object;
  bool one_of = false;
  friend bool operator==(const TypeDefinition&, const TypeDefinition&) = default;
};

struct UnionDefinition {
  std::string name;
  std::optional<std::string> description;
  std::vector<std::string> members;
  bool has_custom_resolve_type = false;
  friend bool operator==(const UnionDefinition&, const UnionDefinition&) = default;
};

enum class SchemaDirectiveLocation : std::uint8_t {
  SCHEMA,
  SCALAR,
  OBJECT,
  FIELD_DEFINITION,
  ARGUMENT_DEFINITION,
  INTERFACE,
  UNION,
  ENUM,
  ENUM_VALUE,
  INPUT_OBJECT,
  INPUT_FIELD_DEFINITION,
};
std::string_view schema_directive_location_name(SchemaDirectiveLocation location);

struct SchemaDirectiveDefinition {
  std::string name;  // without "@"
  std::optional<std::string> description;
  std::vector<SchemaDirectiveLocation> locations;
  std::vector<DirectiveFieldDefinition> fields;
  bool repeatable = false;
  friend bool operator==(const SchemaDirectiveDefinition&, const SchemaDirectiveDefinition&) = default;
};

enum class OperationDirectiveLocation : std::uint8_t {
  QUERY,
  MUTATION,
  SUBSCRIPTION,
  FIELD,
  FRAGMENT_DEFINITION,
  FRAGMENT_SPREAD,
  INLINE_FRAGMENT,
};
std::string_view operation_directive_location_name(OperationDirectiveLocation location);
// JSON serialisation: the string holding the name.
void to_json(Json& out, OperationDirectiveLocation location);

struct OperationDirectiveDefinition {
  std::string name;  // without "@"
  std::optional<std::string> description;
  std::vector<OperationDirectiveLocation> locations;
  std::optional<std::string> value_parameter;
  std::optional<std::string> info_parameter;
  std::vector<ArgumentDefinition> arguments;
  friend bool operator==(const OperationDirectiveDefinition&, const OperationDirectiveDefinition&) = default;
};

class SchemaIndex;  // engine/schema_index.h

// Lookup tables derived from a compiled schema, made on first use by schema_index().
struct SchemaIndexSlot {
  std::once_flag once;
  std::shared_ptr<const SchemaIndex> index;
};

// The compiled schema: filled once, then only read (its cache and index aside).
struct CompiledSchema {
  NameMap<TypeDefinition> types;
  NameMap<UnionDefinition> unions;
  std::string query_type_name;
  std::optional<std::string> mutation_type_name;
  std::optional<std::string> subscription_type_name;
  NameMap<OperationDirectiveDefinition> directives;
  NameMap<SchemaDirectiveDefinition> schema_directives;
  std::vector<AppliedDirective> schema_applied_directives;
  NameSet scalar_names;
  NameMap<std::vector<AppliedDirective>> scalar_directives;
  NameMap<std::string> scalar_descriptions;
  NameMap<std::string> scalar_specified_by_urls;
  PersistedQueryCache persisted_query_cache;
  bool auto_camel_case = true;
  // Exposed names and possible types; built from the contents at first use.
  mutable SchemaIndexSlot index;
};

}  // namespace quenfel

namespace quenfel {

// The innermost named types of every field and field argument of the types,
// and of every argument of the operation and schema directives. Interfaces,
// union members, enum values and applied directives contribute nothing.
NameSet referenced_type_names(const NameMap<TypeDefinition>& types,
                              const NameMap<OperationDirectiveDefinition>& directives,
                              const NameMap<SchemaDirectiveDefinition>& schema_directives);

// Cross-type rules that no single type can check alone: every type has members,
// implemented interfaces are registered and honoured, union members are
// registered. Fields and arguments are matched by Python name. Returns nullopt
// when the shape is sound, otherwise the message of the first violation.
std::optional<std::string> validate_schema_shape(const NameMap<TypeDefinition>& types,
                                                 const NameMap<UnionDefinition>& unions,
                                                 const NameSet& scalar_names);

}  // namespace quenfel
