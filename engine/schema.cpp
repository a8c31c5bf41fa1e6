#include "engine/schema.h"

#include <array>

namespace quenfel {

GraphQLType::GraphQLType(Kind kind, std::string name, std::unique_ptr<GraphQLType> inner)
    : kind_(kind), name_(std::move(name)), inner_(std::move(inner)) {}

GraphQLType GraphQLType::named(std::string name) { return GraphQLType(Kind::Named, std::move(name), nullptr); }

GraphQLType GraphQLType::list(GraphQLType item) {
  return GraphQLType(Kind::List, {}, std::make_unique<GraphQLType>(std::move(item)));
}

GraphQLType GraphQLType::non_null(GraphQLType inner) {
  return GraphQLType(Kind::NonNull, {}, std::make_unique<GraphQLType>(std::move(inner)));
}

// Copies and destruction walk the chain iteratively: annotations may nest deeply.
GraphQLType::GraphQLType(const GraphQLType& other) : kind_(other.kind_), name_(other.name_) {
  GraphQLType* to = this;
  for (const GraphQLType* from = other.inner_.get(); from != nullptr; from = from->inner_.get()) {
    to->inner_.reset(new GraphQLType(from->kind_, from->name_, nullptr));
    to = to->inner_.get();
  }
}

GraphQLType& GraphQLType::operator=(const GraphQLType& other) {
  if (this != &other) *this = GraphQLType(other);
  return *this;
}

GraphQLType::~GraphQLType() {
  std::unique_ptr<GraphQLType> next = std::move(inner_);
  while (next) next = std::move(next->inner_);
}

const std::string& GraphQLType::innermost_name() const {
  const GraphQLType* t = this;
  while (t->inner_) t = t->inner_.get();
  return t->name_;
}

std::string GraphQLType::to_sdl_string() const {
  std::string text;
  append_sdl_string(text);
  return text;
}

// Without temporaries, and linear in the depth: "[" per list, the name, then
// the closing marks written from the innermost outwards.
void GraphQLType::append_sdl_string(std::string& out) const {
  std::size_t wrappers = 0;
  const GraphQLType* t = this;
  for (; t->kind_ != Kind::Named; t = t->inner_.get(), ++wrappers) {
    if (t->kind_ == Kind::List) out += '[';
  }
  out += t->name_;
  std::size_t mark = out.size() + wrappers;
  out.resize(mark);
  for (t = this; t->kind_ != Kind::Named; t = t->inner_.get()) out[--mark] = t->kind_ == Kind::List ? ']' : '!';
}

bool operator==(const GraphQLType& a, const GraphQLType& b) {
  const GraphQLType* x = &a;
  const GraphQLType* y = &b;
  for (; x != nullptr && y != nullptr; x = x->inner_.get(), y = y->inner_.get()) {
    if (x->kind_ != y->kind_ || x->name_ != y->name_) return false;
  }
  return x == nullptr && y == nullptr;
}

std::string_view type_kind_keyword(TypeKind kind) {
  switch (kind) {
    case TypeKind::Object:
      return "type";
    case TypeKind::Interface:
      return "interface";
    case TypeKind::InputObject:
      return "input";
    case TypeKind::Enum:
      return "enum";
  }
  return "type";
}

std::string_view schema_directive_location_name(SchemaDirectiveLocation location) {
  static constexpr std::array<std::string_view, 11> kNames = {
      "SCHEMA",     "SCALAR", "OBJECT",     "FIELD_DEFINITION", "ARGUMENT_DEFINITION",   "INTERFACE",
      "UNION",      "ENUM",   "ENUM_VALUE", "INPUT_OBJECT",     "INPUT_FIELD_DEFINITION"};
  return kNames[static_cast<std::size_t>(location)];
}

std::string_view operation_directive_location_name(OperationDirectiveLocation location) {
  static constexpr std::array<std::string_view, 7> kNames = {
      "QUERY", "MUTATION", "SUBSCRIPTION", "FIELD", "FRAGMENT_DEFINITION", "FRAGMENT_SPREAD", "INLINE_FRAGMENT"};
  return kNames[static_cast<std::size_t>(location)];
}

void to_json(Json& out, OperationDirectiveLocation location) {
  out = std::string(operation_directive_location_name(location));
}

}  // namespace quenfel

#include <algorithm>

namespace quenfel {

NameSet referenced_type_names(const NameMap<TypeDefinition>& types,
                              const NameMap<OperationDirectiveDefinition>& directives,
                              const NameMap<SchemaDirectiveDefinition>& schema_directives) {
  NameSet names;
  auto add_arguments = [&](const std::vector<ArgumentDefinition>& arguments) {
    for (const ArgumentDefinition& argument : arguments) names.insert(argument.graphql_type.innermost_name());
  };
  for (const auto& [type_name, type] : types) {
    for (const FieldDefinition& field : type.fields) {
      names.insert(field.graphql_type.innermost_name());
      add_arguments(field.arguments);
    }
  }
  for (const auto& [directive_name, directive] : directives) add_arguments(directive.arguments);
  for (const auto& [directive_name, directive] : schema_directives) {
    for (const DirectiveFieldDefinition& field : directive.fields) names.insert(field.graphql_type.innermost_name());
  }
  return names;
}

namespace {

bool has_no_members(const TypeDefinition& type) {
  return type.kind == TypeKind::Enum ? type.enum_values.empty() : type.fields.empty();
}

std::string no_members_message(const TypeDefinition& type) {
  std::string_view kind_word = "object type";
  switch (type.kind) {
    case TypeKind::Object:
      break;
    case TypeKind::Interface:
      kind_word = "interface";
      break;
    case TypeKind::InputObject:
      kind_word = "input object type";
      break;
    case TypeKind::Enum:
      kind_word = "enum";
      break;
  }
  std::string_view member_word = type.kind == TypeKind::Enum ? "values" : "fields";
  return std::string(kind_word) + " '" + type.name + "' defines no " + std::string(member_word) +
         ", but the GraphQL specification requires one or more";
}

// The first way in which the type fails one interface it lists, if any.
std::optional<std::string> check_implements(const TypeDefinition& type, const TypeDefinition& interface) {
  for (const FieldDefinition& expected : interface.fields) {
    auto found = std::find_if(type.fields.begin(), type.fields.end(),
                              [&](const FieldDefinition& field) { return field.name == expected.name; });
    if (found == type.fields.end()) {
      return "'" + type.name + "' does not implement field '" + expected.name + "' declared by interface '" +
             interface.name + "'";
    }
    const FieldDefinition& field = *found;
    // Only the outermost nullability is compared; deeper covariance is not checked.
    if (expected.graphql_type.is_non_null() && !field.graphql_type.is_non_null()) {
      return "'" + type.name + "." + field.name + "' is nullable, but interface '" + interface.name +
             "' declares it as non-null";
    }
    for (const ArgumentDefinition& argument : field.arguments) {
      bool declared = std::any_of(expected.arguments.begin(), expected.arguments.end(),
                                  [&](const ArgumentDefinition& other) { return other.name == argument.name; });
      if (!declared && argument.graphql_type.is_non_null() && !argument.has_default) {
        return "'" + type.name + "." + field.name + "' adds required argument '" + argument.name +
               "' not declared by interface '" + interface.name + "'";
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> validate_schema_shape(const NameMap<TypeDefinition>& types,
                                                 const NameMap<UnionDefinition>& unions,
                                                 const NameSet& scalar_names) {
  // Of several types without members the first by name is reported; keeping
  // the smallest such name picks the same one a sort would, without sorting.
  const std::pair<const std::string, TypeDefinition>* first_empty = nullptr;
  for (const auto& entry : types) {
    if (has_no_members(entry.second) && (first_empty == nullptr || entry.first < first_empty->first)) {
      first_empty = &entry;
    }
  }
  if (first_empty != nullptr) return no_members_message(first_empty->second);

  for (const auto& [type_name, type] : types) {
    for (const std::string& interface_name : type.interfaces) {
      auto interface = types.find(interface_name);
      if (interface == types.end()) {
        return "'" + type.name + "' implements interface '" + interface_name + "', which is not a registered type";
      }
      if (auto message = check_implements(type, interface->second)) return message;
    }
  }

  for (const auto& [union_name, union_definition] : unions) {
    for (const std::string& member : union_definition.members) {
      if (!types.contains(member) && !scalar_names.contains(member)) {
        return "union '" + union_definition.name + "' has member '" + member + "', which is not a registered type";
      }
    }
  }
  return std::nullopt;
}

}  // namespace quenfel
