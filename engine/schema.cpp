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
  std::string closers;  // outermost first; appended reversed, so deep types stay linear
  const GraphQLType* t = this;
  for (; t->kind_ != Kind::Named; t = t->inner_.get()) {
    if (t->kind_ == Kind::List) {
      text += '[';
      closers += ']';
    } else {
      closers += '!';
    }
  }
  text += t->name_;
  text.append(closers.rbegin(), closers.rend());
  return text;
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
