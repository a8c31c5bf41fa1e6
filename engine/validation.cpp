#include "engine/validation.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/builtins.h"
#include "engine/name_map.h"
#include "engine/schema_index.h"

namespace quenfel {

namespace {

using IndexedType = SchemaIndex::Type;

// A declared variable: its type and whether the definition gives a default.
struct VariableInfo {
  GraphQLType type;
  bool has_default = false;
};
using VariableTable = RequestNameViewMap<VariableInfo>;

std::string_view value_kind_word(ValueKind kind) {
  switch (kind) {
    case ValueKind::Variable:
      return "a variable";
    case ValueKind::Null:
      return "null";
    case ValueKind::Number:
      return "a number";
    case ValueKind::String:
      return "a string";
    case ValueKind::Boolean:
      return "a boolean";
    case ValueKind::Binary:
      return "binary data";
    case ValueKind::Enum:
      return "an enum value";
    case ValueKind::List:
      return "a list";
    case ValueKind::Object:
      return "an object";
  }
  return "a value";
}

// An error located at one position of the query.
ErrorPtr error_at(std::string message, ErrorCode code, Pos pos) {
  auto error = make_error(std::move(message), code);
  error->locations = std::vector<Location>{{pos.line, pos.column}};
  return error;
}

// The first element whose name equals an earlier one's, or nullptr.
template <class T, class NameOf>
const T* first_repeated(List<T> items, NameOf name_of) {
  constexpr std::size_t kScanLimit = 16;  // short lists: compare with everything before
  if (items.size() <= kScanLimit) {
    for (auto i = items.begin(); i != items.end(); ++i) {
      for (auto j = items.begin(); j != i; ++j) {
        if (name_of(*j) == name_of(*i)) return &*i;
      }
    }
    return nullptr;
  }
  RequestNameViewSet seen;
  seen.reserve(items.size());
  for (const T& item : items) {
    if (!seen.insert(name_of(item)).second) return &item;
  }
  return nullptr;
}

const GraphQLType& strip_non_null(const GraphQLType& type) {
  const GraphQLType* t = &type;
  while (t->is_non_null()) t = &t->inner();
  return *t;
}

// Whether a variable of declared type `declared` may stand where `expected` is
// wanted; `relaxed` (a default on either side) lets a nullable variable fill a non-null place.
bool variable_fits(const GraphQLType& declared, const GraphQLType& expected, bool relaxed) {
  const GraphQLType* d = &declared;
  const GraphQLType* t = &expected;
  for (;;) {
    if (d->is_non_null()) {
      d = &d->inner();
      if (t->is_non_null()) t = &t->inner();
      continue;
    }
    if (t->is_non_null()) {
      if (!relaxed) return false;
      t = &strip_non_null(*t);
    }
    if (t->is_list()) {
      if (!d->is_list()) return false;
      d = &d->inner();
      t = &t->inner();
      continue;
    }
    return d->is_named() && d->name() == t->name();
  }
}

// Everything the checks of one request read.
struct Context {
  const CompiledSchema& schema;
  const SchemaIndex& index;
  const VariableTable& variables;
};

std::optional<std::string> check_value(const Value& value, const GraphQLType& type, const Context& context,
                                       bool location_has_default);

std::optional<std::string> check_named_value(const Value& value, const std::string& name, const Context& context) {
  const ValueKind kind = value.kind;
  if (std::optional<BuiltinScalar> scalar = builtin_scalar(name)) {
    switch (*scalar) {
      case BuiltinScalar::ID:
      case BuiltinScalar::String:
        if (kind == ValueKind::String) return std::nullopt;
        return concat("expected a string, got ", value_kind_word(kind));
      case BuiltinScalar::Int:
        if (value.is_integer()) return std::nullopt;
        if (kind == ValueKind::Number) return "expected an integer, got a floating-point number";
        return concat("expected an integer, got ", value_kind_word(kind));
      case BuiltinScalar::Float:
        if (kind == ValueKind::Number) return std::nullopt;
        return concat("expected a number, got ", value_kind_word(kind));
      case BuiltinScalar::Boolean:
        if (kind == ValueKind::Boolean) return std::nullopt;
        return concat("expected a boolean, got ", value_kind_word(kind));
    }
  }
  if (context.schema.scalar_names.contains(name)) return std::nullopt;
  const IndexedType* type = context.index.type(name);
  if (type == nullptr) return std::nullopt;

  const TypeDefinition& definition = *type->definition;
  if (definition.kind == TypeKind::InputObject) {
    if (kind != ValueKind::Object) {
      return concat("expected an input object for '", name, "', got ", value_kind_word(kind));
    }
    for (const ObjectField& entry : value.object()) {
      const SchemaIndex::Field* field = type->find_field(entry.name);
      if (field == nullptr) continue;  // unknown input fields are not this check's concern
      const FieldDefinition& field_definition = *field->definition;
      if (auto reason = check_value(entry.value, field_definition.graphql_type, context,
                                    field_definition.default_value.has_value())) {
        return concat("field '", entry.name, "': ", *reason);
      }
    }
    return std::nullopt;
  }
  if (definition.kind == TypeKind::Enum) {
    if (kind != ValueKind::Enum) {
      return concat("expected a value of enum '", name, "', got ", value_kind_word(kind));
    }
    for (const EnumValueDefinition& member : definition.enum_values) {
      if ((member.graphql_name ? *member.graphql_name : member.name) == value.text()) return std::nullopt;
    }
    return concat("'", value.text(), "' is not a valid value for enum '", name, "'");
  }
  return std::nullopt;  // object and interface types take any value
}

// Recursion follows the value's nesting, which the parser bounds.
std::optional<std::string> check_value(const Value& value, const GraphQLType& type, const Context& context,
                                       bool location_has_default) {
  switch (value.kind) {
    case ValueKind::Variable: {
      auto found = context.variables.find(value.text());
      if (found == context.variables.end()) return concat("references undefined variable '$", value.text(), "'");
      const VariableInfo& variable = found->second;
      if (variable_fits(variable.type, type, location_has_default || variable.has_default)) return std::nullopt;
      return concat("expects '", type.to_sdl_string(), "', but variable '$", value.text(), "' is declared as '",
                    variable.type.to_sdl_string(), "'");
    }
    case ValueKind::Null:
      if (type.is_non_null()) return "must not be null";
      return std::nullopt;
    default:
      break;
  }
  const GraphQLType& expected = strip_non_null(type);
  if (expected.is_list()) {
    if (value.kind != ValueKind::List) return concat("expected a list, got ", value_kind_word(value.kind));
    for (const Value& item : value.list()) {
      if (auto reason = check_value(item, expected.inner(), context, false)) return reason;
    }
    return std::nullopt;
  }
  return check_named_value(value, expected.name(), context);
}

GraphQLType builtin_type(BuiltinScalar scalar) { return GraphQLType::named(std::string(name_of(scalar))); }

struct IncrementalArgument {
  std::string_view name;
  GraphQLType type;
};

const std::vector<IncrementalArgument>& defer_arguments() {
  static const std::vector<IncrementalArgument> arguments = {
      {"if", builtin_type(BuiltinScalar::Boolean)},
      {"label", builtin_type(BuiltinScalar::String)},
  };
  return arguments;
}

const std::vector<IncrementalArgument>& stream_arguments() {
  static const std::vector<IncrementalArgument> arguments = {
      {"if", builtin_type(BuiltinScalar::Boolean)},
      {"label", builtin_type(BuiltinScalar::String)},
      {"initialCount", builtin_type(BuiltinScalar::Int)},
  };
  return arguments;
}

// Repeated and missing arguments of @defer and @stream are lowering's concern.
Status validate_incremental_directive_arguments(List<Argument> given, const std::vector<IncrementalArgument>& specs,
                                                std::string_view directive, const Context& context) {
  for (const Argument& argument : given) {
    auto spec = std::find_if(specs.begin(), specs.end(), [&](const auto& s) { return s.name == argument.name; });
    if (spec == specs.end()) {
      return error_at(concat("unknown argument '", argument.name, "' on '@", directive, "'"),
                      ErrorCode::UNKNOWN_ARGUMENT, argument.name_pos);
    }
    if (auto reason = check_value(argument.value, spec->type, context, true)) {
      return error_at(concat("argument '", argument.name, "' on '@", directive, "' ", *reason),
                      ErrorCode::ARGUMENT_TYPE_MISMATCH, argument.value.pos);
    }
  }
  return nullptr;
}

Status check_arguments(List<Argument> given, const SchemaIndex::Arguments& declared, std::string_view owner,
                       Pos owner_pos, const Context& context) {
  if (const Argument* repeated = first_repeated(given, [](const Argument& a) { return a.name; })) {
    return error_at(concat("argument '", repeated->name, "' is provided more than once on '", owner, "'"),
                    ErrorCode::UNKNOWN_ARGUMENT, repeated->name_pos);
  }
  const std::vector<ArgumentDefinition>& definitions = *declared.definitions;
  for (const Argument& argument : given) {
    std::ptrdiff_t k = declared.find(argument.name);
    if (k < 0) {
      return error_at(concat("unknown argument '", argument.name, "' on '", owner, "'"), ErrorCode::UNKNOWN_ARGUMENT,
                      argument.name_pos);
    }
    const ArgumentDefinition& definition = definitions[static_cast<std::size_t>(k)];
    if (auto reason = check_value(argument.value, definition.graphql_type, context, definition.has_default)) {
      return error_at(concat("argument '", argument.name, "' on '", owner, "' ", *reason),
                      ErrorCode::ARGUMENT_TYPE_MISMATCH, argument.value.pos);
    }
  }
  for (std::size_t k = 0; k < definitions.size(); ++k) {
    const ArgumentDefinition& definition = definitions[k];
    if (!definition.graphql_type.is_non_null() || definition.has_default) continue;
    const std::string& name = declared.exposed_names[k];
    if (std::none_of(given.begin(), given.end(), [&](const Argument& a) { return a.name == name; })) {
      return error_at(concat("missing required argument '", name, "' on '", owner, "'"),
                      ErrorCode::ARGUMENT_TYPE_MISMATCH, owner_pos);
    }
  }
  return nullptr;
}

ErrorPtr not_allowed_here(std::string_view directive, OperationDirectiveLocation location, Pos pos) {
  return error_at(concat("directive '@", directive, "' is not allowed at this location (",
                         operation_directive_location_name(location), ")"),
                  ErrorCode::INVALID_DIRECTIVE_LOCATION, pos);
}

Status validate_directives(List<Directive> directives, OperationDirectiveLocation location, const Context& context) {
  using Location = OperationDirectiveLocation;
  for (const Directive& directive : directives) {
    const std::string_view name = directive.name();
    const std::optional<BuiltinDirective> builtin = builtin_directive(name);
    if (builtin == BuiltinDirective::Skip || builtin == BuiltinDirective::Include) continue;  // lowering checks them
    if (builtin == BuiltinDirective::Defer) {
      if (location != Location::FRAGMENT_SPREAD && location != Location::INLINE_FRAGMENT) {
        return not_allowed_here(name, location, directive.pos());
      }
      if (auto error = validate_incremental_directive_arguments(directive.arguments(), defer_arguments(), name, context)) {
        return error;
      }
      continue;
    }
    if (builtin == BuiltinDirective::Stream) {
      if (location != Location::FIELD) return not_allowed_here(name, location, directive.pos());
      if (auto error = validate_incremental_directive_arguments(directive.arguments(), stream_arguments(), name, context)) {
        return error;
      }
      continue;
    }
    const SchemaIndex::Directive* declared = context.index.directive(name);
    if (declared == nullptr) {
      return error_at(concat("unknown directive '@", name, "'"), ErrorCode::INVALID_DIRECTIVE_LOCATION, directive.pos());
    }
    const auto& locations = declared->definition->locations;
    if (std::find(locations.begin(), locations.end(), location) == locations.end()) {
      return not_allowed_here(name, location, directive.pos());
    }
    if (auto error = check_arguments(directive.arguments(), declared->arguments, name, directive.pos(), context)) {
      return error;
    }
  }
  return nullptr;
}

// Whether two sorted name lists meet; an empty list meets everything.
bool share_possible_types(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
  if (a.empty() || b.empty()) return true;
  auto i = a.begin();
  auto j = b.begin();
  while (i != a.end() && j != b.end()) {
    if (*i == *j) return true;
    if (*i < *j) {
      ++i;
    } else {
      ++j;
    }
  }
  return false;
}

ErrorPtr fragment_never_applies(std::string_view type_condition, std::string_view parent, Pos pos) {
  return error_at(concat("fragment on '", type_condition, "' can never apply to '", parent,
                         "' -- they share no possible types"),
                  ErrorCode::INVALID_FRAGMENT_TARGET, pos);
}

ErrorPtr nested_too_deeply(Pos pos) {
  return error_at(concat("query is nested too deeply: more than ", std::to_string(kMaxSelectionDepth),
                         " levels of selections and fragment spreads"),
                  ErrorCode::GRAPHQL_VALIDATION_FAILED, pos);
}

// The selection walk. Depth counts nested selection sets and fragment
// expansions; the operation's own selection set is level 1.
//
// A fragment whose selection set was walked once without error is not walked
// again: its parent type is always its type condition and the variables are
// fixed, so only the cycle check and the depth bound could tell a second walk
// from the first. The cycle check cannot: the first walk saw no fragment on its
// own path again, so nothing reachable from the fragment spreads a fragment
// that reaches it, and every fragment on any later path reaches it. For the
// depth bound each such fragment keeps the height its walk reached, and is
// walked again (to fail at the same place as before) only where that height
// would pass the bound.
class SelectionWalker {
 public:
  SelectionWalker(const Document& document, const Context& context) : document_(document), context_(context) {}

  Status walk(const SelectionSet& set, const IndexedType& parent, unsigned depth) {
    deepest_ = std::max(deepest_, depth);
    for (const Selection& selection : set.items) {
      Status error;
      switch (selection.kind()) {
        case SelectionKind::Field:
          error = field(selection, parent, depth);
          break;
        case SelectionKind::FragmentSpread:
          error = fragment_spread(selection, parent, depth);
          break;
        case SelectionKind::InlineFragment:
          error = inline_fragment(selection, parent, depth);
          break;
      }
      if (error) return error;
    }
    return nullptr;
  }

 private:
  Status nested(const Selection& at, const SelectionSet& set, const IndexedType& parent, unsigned depth) {
    if (depth >= kMaxSelectionDepth) return nested_too_deeply(at.pos());
    return walk(set, parent, depth + 1);
  }

  Status field(const Selection& selection, const IndexedType& parent, unsigned depth) {
    if (auto error = validate_directives(selection.directives(), OperationDirectiveLocation::FIELD, context_)) {
      return error;
    }
    if (selection.name() == "__typename") return nullptr;
    const SchemaIndex::Field* field = parent.find_field(selection.name());
    if (field == nullptr) {
      return error_at(concat("field '", selection.name(), "' does not exist on type '", parent.name, "'"),
                      ErrorCode::UNKNOWN_FIELD, selection.pos());
    }
    if (auto error = check_arguments(selection.arguments(), field->arguments, selection.name(), selection.pos(), context_)) {
      return error;
    }
    const GraphQLType& type = field->definition->graphql_type;
    for (const Directive& directive : selection.directives()) {
      if (directive.name() != name_of(BuiltinDirective::Stream)) continue;
      if (strip_non_null(type).is_named()) {
        return error_at(concat("directive '@stream' can only be applied to a list-typed field, but '", selection.name(),
                               "' is '", type.to_sdl_string(), "'"),
                        ErrorCode::INVALID_DIRECTIVE_LOCATION, directive.pos());
      }
      break;
    }

    const bool has_selection_set = !selection.selection_set().empty();
    switch (field->result_kind) {
      case SchemaIndex::ResultKind::Leaf:
        if (!has_selection_set) return nullptr;
        return error_at(concat("field '", selection.name(), "' is of leaf type '", type.innermost_name(),
                               "' and cannot have a selection set"),
                        ErrorCode::UNKNOWN_FIELD, selection.selection_set().pos);
      case SchemaIndex::ResultKind::Composite:
        if (!has_selection_set) return must_have_selection_set(selection, type.innermost_name());
        return nested(selection, selection.selection_set(), *field->result_type, depth);
      case SchemaIndex::ResultKind::Unknown:
        break;  // a type the schema does not know: nothing to check against
    }
    return nullptr;
  }

  // Kept out of line: inlined into field(), its one caller, it makes field() too large for the compiler to
  // inline into walk(), and every field then pays for a call.
  [[gnu::noinline]] static ErrorPtr must_have_selection_set(const Selection& selection, std::string_view type_name) {
    return error_at(concat("field '", selection.name(), "' is of composite type '", type_name,
                           "' and must have a selection set"),
                    ErrorCode::UNKNOWN_FIELD, selection.pos());
  }

  Status fragment_spread(const Selection& spread, const IndexedType& parent, unsigned depth) {
    if (auto error = validate_directives(spread.directives(), OperationDirectiveLocation::FRAGMENT_SPREAD, context_)) {
      return error;
    }
    const FragmentDefinition* fragment = document_.find_fragment(spread.name());
    if (fragment == nullptr) {
      return error_at(concat("undefined fragment '", spread.name(), "'"), ErrorCode::INVALID_FRAGMENT_TARGET, spread.pos());
    }
    if (std::find(path_.begin(), path_.end(), spread.name()) != path_.end()) {
      return error_at(concat("Fragment cycle detected involving '", spread.name(), "'"),
                      ErrorCode::INVALID_FRAGMENT_TARGET, spread.pos());
    }
    const IndexedType* target = context_.index.type(fragment->type_condition);
    if (target == nullptr) {
      return error_at(concat("fragment '", spread.name(), "' targets unknown type '", fragment->type_condition, "'"),
                      ErrorCode::INVALID_FRAGMENT_TARGET, fragment->type_condition_pos);
    }
    if (!share_possible_types(target->possible_types, parent.possible_types)) {
      return fragment_never_applies(fragment->type_condition, parent.name, spread.pos());
    }

    if (heights_.empty()) heights_.assign(document_.fragments().size(), kUnwalked);
    unsigned& height = heights_[fragment->index];
    if (height != kUnwalked && depth + 1 + height <= kMaxSelectionDepth) {
      deepest_ = std::max(deepest_, depth + 1 + height);
      return nullptr;
    }
    const unsigned deepest_outside = deepest_;
    deepest_ = 0;
    path_.push_back(spread.name());
    Status error = nested(spread, fragment->selection_set, *target, depth);
    path_.pop_back();
    if (error) return error;
    height = deepest_ - (depth + 1);
    deepest_ = std::max(deepest_outside, deepest_);
    return nullptr;
  }

  Status inline_fragment(const Selection& fragment, const IndexedType& parent, unsigned depth) {
    if (auto error = validate_directives(fragment.directives(), OperationDirectiveLocation::INLINE_FRAGMENT, context_)) {
      return error;
    }
    if (!fragment.has_type_condition()) return nested(fragment, fragment.selection_set(), parent, depth);
    const IndexedType* target = context_.index.type(fragment.name());
    if (target == nullptr) {
      return error_at(concat("inline fragment targets unknown type '", fragment.name(), "'"),
                      ErrorCode::INVALID_FRAGMENT_TARGET, fragment.type_condition_pos());
    }
    if (!share_possible_types(target->possible_types, parent.possible_types)) {
      return fragment_never_applies(fragment.name(), parent.name, fragment.type_condition_pos());
    }
    return nested(fragment, fragment.selection_set(), *target, depth);
  }

  static constexpr unsigned kUnwalked = ~0u;

  const Document& document_;
  const Context& context_;
  std::vector<std::string_view> path_;  // fragments being expanded, outermost first
  std::vector<unsigned> heights_;       // per fragment: levels below its own selection set, once walked
  unsigned deepest_ = 0;                // deepest level reached by the walk so far
};

// A declared variable type as a type reference.
GraphQLType convert_parser_type(const TypeRef& type) {
  // Built from the inside out, without recursion.
  std::vector<const TypeRef*> chain;
  for (const TypeRef* t = &type; t != nullptr; t = t->kind() == TypeRef::Kind::List ? &t->item() : nullptr) {
    chain.push_back(t);
  }
  GraphQLType result = GraphQLType::named(std::string(chain.back()->name()));
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) result = GraphQLType::list(std::move(result));
    if (!(*it)->nullable()) result = GraphQLType::non_null(std::move(result));
  }
  return result;
}

// Walks with an explicit stack: fragments may chain far deeper than the call stack
// allows. A fragment counted in full is not counted again; its keys are already in.
std::optional<std::size_t> root_response_key_count(const SelectionSet& selection_set, const Document& document) {
  struct Frame {
    List<Selection>::iterator next;
    const FragmentDefinition* fragment;  // whose selection set this is, if any
  };
  std::vector<Frame> stack{{selection_set.items.begin(), nullptr}};
  RequestNameViewSet keys;
  std::unordered_set<const FragmentDefinition*> on_path;
  std::unordered_set<const FragmentDefinition*> counted;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == List<Selection>::iterator()) {
      if (top.fragment != nullptr) {
        on_path.erase(top.fragment);
        counted.insert(top.fragment);
      }
      stack.pop_back();
      continue;
    }
    const Selection& selection = *top.next++;
    for (const Directive& directive : selection.directives()) {
      const std::optional<BuiltinDirective> builtin = builtin_directive(directive.name());
      if (builtin == BuiltinDirective::Skip || builtin == BuiltinDirective::Include) return std::nullopt;
    }
    switch (selection.kind()) {
      case SelectionKind::Field:
        keys.insert(selection.response_key());
        break;
      case SelectionKind::InlineFragment:
        stack.push_back({selection.selection_set().items.begin(), nullptr});
        break;
      case SelectionKind::FragmentSpread: {
        const FragmentDefinition* fragment = document.find_fragment(selection.name());
        if (fragment == nullptr || on_path.contains(fragment)) return std::nullopt;
        if (counted.contains(fragment)) break;
        on_path.insert(fragment);
        stack.push_back({fragment->selection_set.items.begin(), fragment});
        break;
      }
    }
  }
  return keys.size();
}

}  // namespace

Status validate_query(const Document& document, const CompiledSchema& schema,
                      std::optional<std::string_view> operation_name) {
  Result<const OperationDefinition*> selected = select_operation(document, operation_name);
  if (!selected.ok()) return selected.take_error();
  const OperationDefinition& operation = **selected;

  const std::string* root_name = &schema.query_type_name;
  if (operation.type == OperationType::Mutation) {
    if (!schema.mutation_type_name) {
      return make_error("document contains a mutation, but the schema has no mutation type",
                        ErrorCode::GRAPHQL_VALIDATION_FAILED);
    }
    root_name = &*schema.mutation_type_name;
  } else if (operation.type == OperationType::Subscription) {
    if (!schema.subscription_type_name) {
      return make_error("document contains a subscription, but the schema has no subscription type",
                        ErrorCode::GRAPHQL_VALIDATION_FAILED);
    }
    root_name = &*schema.subscription_type_name;
  }
  const SchemaIndex& index = schema_index(schema);
  const IndexedType* root = index.type(*root_name);
  if (root == nullptr) {
    return make_error(concat("schema's root type '", *root_name, "' is not registered"),
                      ErrorCode::GRAPHQL_VALIDATION_FAILED);
  }

  if (const VariableDefinition* repeated =
          first_repeated(operation.variables, [](const VariableDefinition& v) { return v.name; })) {
    return error_at(concat("variable '$", repeated->name, "' is declared more than once"),
                    ErrorCode::GRAPHQL_VALIDATION_FAILED, repeated->pos);
  }

  if (operation.type == OperationType::Subscription) {
    std::optional<std::size_t> count = root_response_key_count(operation.selection_set, document);
    if (count && *count != 1) {
      return error_at(concat("a subscription operation must have exactly one root field, but this one selects ",
                             std::to_string(*count)),
                      ErrorCode::GRAPHQL_VALIDATION_FAILED, operation.selection_set.pos);
    }
  }

  VariableTable variables;
  variables.reserve(operation.variables.size());
  for (const VariableDefinition& variable : operation.variables) {
    variables.emplace(variable.name, VariableInfo{convert_parser_type(*variable.type), variable.default_value != nullptr});
  }

  const Context context{schema, index, variables};
  return SelectionWalker(document, context).walk(operation.selection_set, *root, 1);
}

}  // namespace quenfel
