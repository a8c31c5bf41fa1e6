#include "engine/schema_index.h"

#include <algorithm>

#include "engine/builtins.h"
#include "engine/naming.h"

namespace quenfel {

namespace {

SchemaIndex::Arguments index_arguments(const std::vector<ArgumentDefinition>& definitions, bool auto_camel_case) {
  SchemaIndex::Arguments arguments;
  arguments.definitions = &definitions;
  arguments.exposed_names.reserve(definitions.size());
  for (const ArgumentDefinition& argument : definitions) {
    arguments.exposed_names.push_back(exposed_name(argument.graphql_name, argument.name, auto_camel_case));
  }
  return arguments;
}

void sort_unique(std::vector<std::string_view>& names) {
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

std::vector<std::string_view> sorted_members(const UnionDefinition& definition) {
  std::vector<std::string_view> members(definition.members.begin(), definition.members.end());
  sort_unique(members);
  return members;
}

}  // namespace

std::string exposed_name(const std::optional<std::string>& graphql_name, const std::string& name,
                         bool auto_camel_case) {
  if (graphql_name) return *graphql_name;
  return auto_camel_case ? to_camel_case(name) : name;
}

std::ptrdiff_t SchemaIndex::Arguments::find(std::string_view name) const {
  auto found = std::find(exposed_names.begin(), exposed_names.end(), name);
  return found == exposed_names.end() ? -1 : found - exposed_names.begin();
}

const SchemaIndex::Field* SchemaIndex::Type::find_field(std::string_view name) const {
  auto found = field_by_name.find(name);
  return found == field_by_name.end() ? nullptr : &fields[found->second];
}

SchemaIndex::SchemaIndex(const CompiledSchema& schema) {
  const bool camel = schema.auto_camel_case;

  NameViewMap<std::vector<std::string_view>> implementors;
  for (const auto& [name, definition] : schema.types) {
    for (const std::string& interface : definition.interfaces) implementors[interface].push_back(name);
  }

  // Every type and union first, so that fields can point at the type they name.
  types_.reserve(schema.types.size());
  for (const auto& [name, definition] : schema.types) {
    Type& type = types_[name];
    type.name = definition.name;
    type.definition = &definition;
  }
  unions_.reserve(schema.unions.size());
  for (const auto& [name, definition] : schema.unions) {
    if (types_.contains(name)) continue;
    Type& type = unions_[name];
    type.name = definition.name;
    type.possible_types = sorted_members(definition);
  }

  for (auto& [name, type] : types_) {
    const TypeDefinition& definition = *type.definition;
    type.fields.reserve(definition.fields.size());
    for (const FieldDefinition& field : definition.fields) {
      Field& indexed = type.fields.emplace_back();
      indexed.definition = &field;
      indexed.exposed_name = exposed_name(field.graphql_name, field.name, camel);
      indexed.arguments = index_arguments(field.arguments, camel);
      const std::string& result_name = field.graphql_type.innermost_name();
      indexed.result_type = this->type(result_name);
      if (builtin_scalar(result_name) || schema.scalar_names.contains(result_name)) {
        indexed.result_kind = ResultKind::Leaf;
      } else if (schema.unions.contains(result_name)) {
        indexed.result_kind = ResultKind::Composite;
        if (indexed.result_type == nullptr) indexed.result_type = &unions_.find(result_name)->second;
      } else if (indexed.result_type != nullptr) {
        const bool is_enum = indexed.result_type->definition->kind == TypeKind::Enum;
        indexed.result_kind = is_enum ? ResultKind::Leaf : ResultKind::Composite;
      }
    }
    // Views into type.fields: it is complete and never grows again.
    type.field_by_name.reserve(type.fields.size());
    for (std::uint32_t i = 0; i < type.fields.size(); ++i) {
      type.field_by_name.emplace(type.fields[i].exposed_name, i);  // keeps the first
    }

    if (auto u = schema.unions.find(name); u != schema.unions.end()) {
      type.possible_types = sorted_members(u->second);
    } else if (definition.kind == TypeKind::Interface) {
      if (auto found = implementors.find(name); found != implementors.end()) {
        type.possible_types = std::move(found->second);
        sort_unique(type.possible_types);
      }
    } else {
      type.possible_types.push_back(name);
    }
  }

  directives_.reserve(schema.directives.size());
  for (const auto& [name, definition] : schema.directives) {
    directives_[name] = Directive{&definition, index_arguments(definition.arguments, camel)};
  }
}

const SchemaIndex::Type* SchemaIndex::type(std::string_view name) const {
  auto found = types_.find(name);
  return found == types_.end() ? nullptr : &found->second;
}

const SchemaIndex::Directive* SchemaIndex::directive(std::string_view name) const {
  auto found = directives_.find(name);
  return found == directives_.end() ? nullptr : &found->second;
}

const SchemaIndex& schema_index(const CompiledSchema& schema) {
  std::call_once(schema.index.once, [&] { schema.index.index = std::make_shared<const SchemaIndex>(schema); });
  return *schema.index.index;
}

}  // namespace quenfel
