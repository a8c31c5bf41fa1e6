// Compact construction of schema records for tests, and errors in brief.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/error.h"
#include "engine/schema.h"

namespace quenfel::testing {

// The error's message after its code (unless that is `usual`), then its positions as " @line:column".
inline std::string describe(const GraphQLError& error, std::optional<ErrorCode> usual = std::nullopt) {
  std::string out = error.code() == usual ? "" : std::string(error_code_name(error.code())) + ": ";
  out += error.message;
  for (const Location& at : error.locations.value_or(std::vector<Location>{})) {
    out += " @" + std::to_string(at.line) + ":" + std::to_string(at.column);
  }
  return out;
}

// A type reference from its SDL text, e.g. "[Int!]!".
inline GraphQLType type_ref(std::string_view sdl) {
  if (!sdl.empty() && sdl.back() == '!') return GraphQLType::non_null(type_ref(sdl.substr(0, sdl.size() - 1)));
  if (!sdl.empty() && sdl.front() == '[') return GraphQLType::list(type_ref(sdl.substr(1, sdl.size() - 2)));
  return GraphQLType::named(std::string(sdl));
}

inline ArgumentDefinition arg(std::string name, std::string_view type, bool has_default = false) {
  return {.name = std::move(name), .graphql_type = type_ref(type), .has_default = has_default};
}

inline FieldDefinition field(std::string name, std::string_view type, std::vector<ArgumentDefinition> arguments = {}) {
  return {.name = std::move(name), .graphql_type = type_ref(type), .arguments = std::move(arguments)};
}

template <class Record>
Record renamed(Record record, std::string graphql_name) {
  record.graphql_name = std::move(graphql_name);
  return record;
}

inline FieldDefinition with_default(FieldDefinition f, std::string literal) {
  f.default_value = std::move(literal);
  return f;
}

inline TypeDefinition object(std::string name, std::vector<FieldDefinition> fields,
                             std::vector<std::string> interfaces = {}, TypeKind kind = TypeKind::Object) {
  return {.name = std::move(name), .fields = std::move(fields), .interfaces = std::move(interfaces), .kind = kind};
}

inline TypeDefinition interface(std::string name, std::vector<FieldDefinition> fields) {
  return object(std::move(name), std::move(fields), {}, TypeKind::Interface);
}

inline TypeDefinition input(std::string name, std::vector<FieldDefinition> fields) {
  return object(std::move(name), std::move(fields), {}, TypeKind::InputObject);
}

// Members given as "NAME" or "python_name=GRAPHQL_NAME".
inline TypeDefinition enumeration(std::string name, const std::vector<std::string>& members) {
  TypeDefinition t = object(std::move(name), {}, {}, TypeKind::Enum);
  for (const std::string& member : members) {
    std::size_t eq = member.find('=');
    t.enum_values.push_back({.name = member.substr(0, eq)});
    if (eq != std::string::npos) t.enum_values.back().graphql_name = member.substr(eq + 1);
  }
  return t;
}

// Fills a schema in place (a compiled schema cannot be moved: it owns a cache).
class SchemaBuilder {
 public:
  explicit SchemaBuilder(std::string query_type = "Query") : schema_(std::make_unique<CompiledSchema>()) {
    schema_->query_type_name = std::move(query_type);
  }

  SchemaBuilder& add(TypeDefinition type) {
    std::string name = type.name;
    schema_->types.insert_or_assign(std::move(name), std::move(type));
    return *this;
  }
  SchemaBuilder& add_union(std::string name, std::vector<std::string> members) {
    schema_->unions.insert_or_assign(name, UnionDefinition{.name = name, .members = std::move(members)});
    return *this;
  }
  SchemaBuilder& add_scalar(std::string name) {
    schema_->scalar_names.insert(std::move(name));
    return *this;
  }
  SchemaBuilder& add_directive(std::string name, std::vector<OperationDirectiveLocation> locations,
                               std::vector<ArgumentDefinition> arguments = {}) {
    OperationDirectiveDefinition d{.name = name, .locations = std::move(locations), .arguments = std::move(arguments)};
    schema_->directives.insert_or_assign(std::move(name), std::move(d));
    return *this;
  }
  SchemaBuilder& mutation(std::string name) {
    schema_->mutation_type_name = std::move(name);
    return *this;
  }
  SchemaBuilder& subscription(std::string name) {
    schema_->subscription_type_name = std::move(name);
    return *this;
  }
  SchemaBuilder& auto_camel_case(bool on) {
    schema_->auto_camel_case = on;
    return *this;
  }

  std::unique_ptr<CompiledSchema> build() { return std::move(schema_); }

 private:
  std::unique_ptr<CompiledSchema> schema_;
};

}  // namespace quenfel::testing
