// Compact construction of schema records for tests and benchmarks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/schema.h"

namespace quenfel::testing {

// A type reference from its SDL text, e.g. "[Int!]!".
inline GraphQLType type_ref(std::string_view sdl) {
  if (!sdl.empty() && sdl.back() == '!') return GraphQLType::non_null(type_ref(sdl.substr(0, sdl.size() - 1)));
  if (!sdl.empty() && sdl.front() == '[') return GraphQLType::list(type_ref(sdl.substr(1, sdl.size() - 2)));
  return GraphQLType::named(std::string(sdl));
}

inline ArgumentDefinition arg(std::string name, std::string_view type, bool has_default = false) {
  ArgumentDefinition a;
  a.name = std::move(name);
  a.graphql_type = type_ref(type);
  a.has_default = has_default;
  return a;
}

inline FieldDefinition field(std::string name, std::string_view type, std::vector<ArgumentDefinition> arguments = {}) {
  FieldDefinition f;
  f.name = std::move(name);
  f.graphql_type = type_ref(type);
  f.arguments = std::move(arguments);
  return f;
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

inline TypeDefinition type_def(TypeKind kind, std::string name, std::vector<FieldDefinition> fields,
                               std::vector<std::string> interfaces = {}) {
  TypeDefinition t;
  t.kind = kind;
  t.name = std::move(name);
  t.fields = std::move(fields);
  t.interfaces = std::move(interfaces);
  return t;
}

inline TypeDefinition object(std::string name, std::vector<FieldDefinition> fields,
                             std::vector<std::string> interfaces = {}) {
  return type_def(TypeKind::Object, std::move(name), std::move(fields), std::move(interfaces));
}

inline TypeDefinition interface(std::string name, std::vector<FieldDefinition> fields) {
  return type_def(TypeKind::Interface, std::move(name), std::move(fields));
}

inline TypeDefinition input(std::string name, std::vector<FieldDefinition> fields) {
  return type_def(TypeKind::InputObject, std::move(name), std::move(fields));
}

// Members given as "NAME" or "python_name=GRAPHQL_NAME".
inline TypeDefinition enumeration(std::string name, const std::vector<std::string>& members) {
  TypeDefinition t = type_def(TypeKind::Enum, std::move(name), {});
  for (const std::string& member : members) {
    EnumValueDefinition value;
    if (auto eq = member.find('='); eq != std::string::npos) {
      value.name = member.substr(0, eq);
      value.graphql_name = member.substr(eq + 1);
    } else {
      value.name = member;
    }
    t.enum_values.push_back(std::move(value));
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
    schema_->unions.insert_or_assign(name, UnionDefinition{name, std::nullopt, std::move(members), false});
    return *this;
  }
  SchemaBuilder& add_scalar(std::string name) {
    schema_->scalar_names.insert(std::move(name));
    return *this;
  }
  SchemaBuilder& add_directive(std::string name, std::vector<OperationDirectiveLocation> locations,
                               std::vector<ArgumentDefinition> arguments = {}) {
    OperationDirectiveDefinition d;
    d.name = name;
    d.locations = std::move(locations);
    d.arguments = std::move(arguments);
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
