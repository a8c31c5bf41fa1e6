#include "engine/lowering.h"

#include <algorithm>
#include <limits>
#include <string>

#include "engine/builtins.h"
#include "engine/name_map.h"

namespace quenfel {

namespace {

template <class... Parts>
ErrorPtr lowering_error(const Parts&... parts) {
  return make_error(concat(parts...), ErrorCode::GRAPHQL_VALIDATION_FAILED);
}

const Directive* find_directive(List<Directive> directives, std::string_view name) {
  for (const Directive& directive : directives) {
    if (directive.name() == name) return &directive;
  }
  return nullptr;
}

const Argument* find_argument(List<Argument> arguments, std::string_view name) {
  for (const Argument& argument : arguments) {
    if (argument.name == name) return &argument;
  }
  return nullptr;
}

Result<std::int64_t> resolve_initial_count(const Value& value, const Variables& variables) {
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (value.kind == ValueKind::Variable) {
    std::string_view name = value.text();
    const Json* json = variables.find(name);
    if (json == nullptr) {
      return lowering_error("@stream(initialCount: $", name, ") references undefined variable '$", name, "'");
    }
    if (json->is_number_unsigned()) {
      auto n = json->get<std::uint64_t>();
      if (n <= kMax) return static_cast<std::int64_t>(n);
    } else if (json->is_number_integer()) {
      return json->get<std::int64_t>();
    }
    return lowering_error("variable '$", name, "' used in @stream(initialCount: ...) must be an integer");
  }
  if (value.kind == ValueKind::Number) {
    if (value.number_kind == NumberKind::Signed) return value.signed_number;
    if (value.number_kind == NumberKind::Unsigned && value.unsigned_number <= kMax) {
      return static_cast<std::int64_t>(value.unsigned_number);
    }
  }
  return lowering_error("@stream(initialCount: ...) argument must be an integer or a variable");
}

// ---- Directive arguments ----

// An `if` argument: a boolean literal or a variable holding a JSON boolean.
// `directive_name` (without "@") is used only in messages.
Result<bool> resolve_boolean_argument(const Value& value, const Variables& variables,
                                      std::string_view directive_name) {
  if (value.kind == ValueKind::Boolean) return value.boolean;
  if (value.kind != ValueKind::Variable) {
    return lowering_error("@", directive_name, "(if: ...) argument must be a boolean or a variable");
  }
  std::string_view name = value.text();
  const Json* json = variables.find(name);
  if (json == nullptr) {
    return lowering_error("@", directive_name, "(if: $", name, ") references undefined variable '$", name, "'");
  }
  if (!json->is_boolean()) {
    return lowering_error("variable '$", name, "' used in @", directive_name, "(if: ...) must be a boolean");
  }
  return json->get<bool>();
}

// A `label` argument: only a string literal; the view points into the document.
Result<std::string_view> resolve_label_argument(const Value& value, std::string_view directive_name) {
  if (value.kind == ValueKind::String) return value.text();
  return lowering_error("@", directive_name, "(label: ...) must be a static string, not a variable");
}

// True when @skip/@include (every one of them, in order, until one prunes)
// exclude the node.
Result<bool> should_prune(List<Directive> directives, const Variables& variables) {
  for (const Directive& directive : directives) {
    const bool skip = directive.name() == name_of(BuiltinDirective::Skip);
    if (!skip && directive.name() != name_of(BuiltinDirective::Include)) continue;
    const Argument* condition = find_argument(directive.arguments(), "if");
    if (condition == nullptr) return lowering_error("@", directive.name(), " requires an 'if' argument");
    Result<bool> value = resolve_boolean_argument(condition->value, variables, directive.name());
    if (!value) return value.take_error();
    if (*value == skip) return true;
  }
  return false;
}

// The outcome of @defer on one inline fragment or fragment spread.
struct DeferState {
  bool deferred = false;
  std::optional<std::string_view> label;
};

// The first @defer of an inline fragment or fragment spread.
Result<DeferState> defer_label(List<Directive> directives, const Variables& variables) {
  constexpr std::string_view kDefer = name_of(BuiltinDirective::Defer);
  const Directive* defer = find_directive(directives, kDefer);
  if (defer == nullptr) return DeferState{};
  DeferState state{true, std::nullopt};
  if (const Argument* condition = find_argument(defer->arguments(), "if")) {
    Result<bool> value = resolve_boolean_argument(condition->value, variables, kDefer);
    if (!value) return value.take_error();
    if (!*value) return DeferState{};
  }
  if (const Argument* label = find_argument(defer->arguments(), "label")) {
    Result<std::string_view> text = resolve_label_argument(label->value, kDefer);
    if (!text) return text.take_error();
    state.label = *text;
  }
  return state;
}

// The first @stream of a field: no marker when there is none or its `if` is false.
Result<std::optional<StreamMarker>> stream_marker(List<Directive> directives, const Variables& variables) {
  constexpr std::string_view kStream = name_of(BuiltinDirective::Stream);
  const Directive* stream = find_directive(directives, kStream);
  if (stream == nullptr) return std::optional<StreamMarker>();
  StreamMarker marker;
  if (const Argument* condition = find_argument(stream->arguments(), "if")) {
    Result<bool> value = resolve_boolean_argument(condition->value, variables, kStream);
    if (!value) return value.take_error();
    if (!*value) return std::optional<StreamMarker>();
  }
  if (const Argument* count = find_argument(stream->arguments(), "initialCount")) {
    Result<std::int64_t> value = resolve_initial_count(count->value, variables);
    if (!value) return value.take_error();
    marker.initial_count = *value;
  }
  if (const Argument* label = find_argument(stream->arguments(), "label")) {
    Result<std::string_view> text = resolve_label_argument(label->value, kStream);
    if (!text) return text.take_error();
    marker.label = *text;
  }
  return std::optional<StreamMarker>(marker);
}

// The directives not named exactly skip, include, defer or stream, in order.
std::vector<LoweredDirective> lower_directives(List<Directive> directives) {
  std::vector<LoweredDirective> lowered;
  for (const Directive& directive : directives) {
    if (!builtin_directive(directive.name())) lowered.push_back({directive.name(), directive.arguments()});
  }
  return lowered;
}

// One recursive walk; the counters and the fragments being expanded are shared by every level.
class Lowerer {
 public:
  Lowerer(const Document& document, const Variables& variables)
      : document_(document), variables_(variables), on_path_(document.fragments().size(), 0) {}

  // Appends the fields of `selection_set` to `out`, then settles @defer among
  // the entries this level appended.
  Status lower_into(const SelectionSet& selection_set, std::optional<std::string_view> type_condition,
                    std::vector<LoweredField>& out, std::size_t depth);

 private:
  // Fields at [begin, end) of the output came through a deferred fragment.
  struct DeferredRange {
    std::size_t begin;
    std::size_t end;
    std::optional<std::string_view> label;
  };

  Result<bool> pruned(List<Directive> directives) const {
    if (directives.empty()) return false;
    return should_prune(directives, variables_);
  }

  Result<DeferState> deferred(List<Directive> directives) const {
    if (directives.empty()) return DeferState{};
    return defer_label(directives, variables_);
  }

  Status lower_field(const Selection& field, std::optional<std::string_view> type_condition,
                     std::vector<LoweredField>& out, std::size_t depth);
  Status settle_defer(std::vector<LoweredField>& out, std::size_t start, const std::vector<DeferredRange>& ranges);
  Status count_visits(std::size_t n) {
    visits_ += n;
    if (visits_ <= kMaxLoweringVisits) return nullptr;
    return lowering_error("lowering would visit more than ", std::to_string(kMaxLoweringVisits), " selections");
  }

  const Document& document_;
  const Variables& variables_;
  std::vector<std::uint8_t> on_path_;  // by fragment index: the fragment is being expanded
  std::size_t fields_ = 0;
  std::size_t visits_ = 0;
};

Status Lowerer::lower_into(const SelectionSet& selection_set, std::optional<std::string_view> type_condition,
                           std::vector<LoweredField>& out, std::size_t depth) {
  if (depth > kMaxLoweringDepth) {
    return lowering_error("lowering would nest selection sets and fragments more than ",
                          std::to_string(kMaxLoweringDepth), " levels deep");
  }
  const std::size_t start = out.size();
  // A field's own list: its selections are usually all fields. Lists that
  // fragments append to keep growing geometrically. No more is reserved than
  // the field cap lets through, whatever the length of the list.
  if (start == 0) out.reserve(std::min(selection_set.items.size(), kMaxLoweredFields - fields_ + 1));
  std::vector<DeferredRange> deferred_ranges;

  for (const Selection& selection : selection_set.items) {
    if (Status error = count_visits(1)) return error;
    switch (selection.kind()) {
      case SelectionKind::Field: {
        if (Status error = lower_field(selection, type_condition, out, depth)) return error;
        break;
      }
      case SelectionKind::InlineFragment: {
        Result<bool> prune = pruned(selection.directives());
        if (!prune) return prune.take_error();
        if (*prune) break;
        std::optional<std::string_view> inner_condition = type_condition;
        if (selection.has_type_condition()) inner_condition = selection.name();
        Result<DeferState> defer = deferred(selection.directives());
        if (!defer) return defer.take_error();
        const std::size_t begin = out.size();
        if (Status error = lower_into(selection.selection_set(), inner_condition, out, depth + 1)) return error;
        if (defer->deferred) deferred_ranges.push_back({begin, out.size(), defer->label});
        break;
      }
      case SelectionKind::FragmentSpread: {
        Result<bool> prune = pruned(selection.directives());
        if (!prune) return prune.take_error();
        if (*prune) break;
        const FragmentDefinition* fragment = document_.find_fragment(selection.name());
        if (fragment == nullptr) return lowering_error("undefined fragment '", selection.name(), "'");
        prune = pruned(fragment->directives);
        if (!prune) return prune.take_error();
        if (*prune) break;
        const std::size_t index = fragment->index;
        if (on_path_[index] != 0) {
          return make_error(concat("Fragment cycle detected involving '", selection.name(), "'"),
                            ErrorCode::INVALID_FRAGMENT_TARGET);
        }
        Result<DeferState> defer = deferred(selection.directives());
        if (!defer) return defer.take_error();
        const std::size_t begin = out.size();
        on_path_[index] = 1;
        Status error = lower_into(fragment->selection_set, fragment->type_condition, out, depth + 1);
        on_path_[index] = 0;
        if (error) return error;
        if (defer->deferred) deferred_ranges.push_back({begin, out.size(), defer->label});
        break;
      }
    }
  }

  if (deferred_ranges.empty()) return nullptr;
  return settle_defer(out, start, deferred_ranges);
}

Status Lowerer::lower_field(const Selection& field, std::optional<std::string_view> type_condition,
                            std::vector<LoweredField>& out, std::size_t depth) {
  Result<bool> prune = pruned(field.directives());
  if (!prune) return prune.take_error();
  if (*prune) return nullptr;
  // Counted before the sub-selection is lowered, so an exponential plan stops
  // as soon as it passes the bound.
  if (++fields_ > kMaxLoweredFields) {
    return lowering_error("lowering would produce more than ", std::to_string(kMaxLoweredFields), " field plans");
  }

  // Only this field's sub-selection is written while it is lowered, so the reference stays valid.
  LoweredField& lowered = out.emplace_back();
  lowered.response_key = field.response_key();
  lowered.field_name = field.name();
  if (!field.selection_set().empty()) {
    if (Status error = lower_into(field.selection_set(), std::nullopt, lowered.selections, depth + 1)) return error;
  }
  if (!field.directives().empty()) {
    Result<std::optional<StreamMarker>> stream = stream_marker(field.directives(), variables_);
    if (!stream) return stream.take_error();
    lowered.stream = *stream;
    lowered.directives = lower_directives(field.directives());
  }
  lowered.type_condition = type_condition;
  lowered.arguments = field.arguments();
  lowered.line = field.pos().line;
  lowered.column = field.pos().column;
  return nullptr;
}

// A deferred entry keeps its fragment's marker only when its response key is
// unique among this level's entries; otherwise the defer is dropped here and
// any marker from a deeper level stays.
Status Lowerer::settle_defer(std::vector<LoweredField>& out, std::size_t start,
                             const std::vector<DeferredRange>& ranges) {
  // Re-examining this level's entries is work too: deep chains of deferred
  // fragments would otherwise cost fields times depth.
  if (Status error = count_visits(out.size() - start)) return error;
  RequestNameViewMap<std::uint32_t> counts;
  counts.reserve(out.size() - start);
  for (std::size_t i = start; i < out.size(); ++i) ++counts[out[i].response_key];
  for (const DeferredRange& range : ranges) {
    for (std::size_t i = range.begin; i < range.end; ++i) {
      if (counts[out[i].response_key] == 1) out[i].defer = DeferMarker{range.label};
    }
  }
  return nullptr;
}

}  // namespace

const Json* JsonVariables::find(std::string_view name) const noexcept {
  if (object_ == nullptr) return nullptr;
  auto it = object_->find(name);
  return it == object_->end() ? nullptr : &*it;
}

Result<LoweredOperation> lower_document(const Document& document, const Variables& variables,
                                        std::optional<std::string_view> operation_name) {
  Result<const OperationDefinition*> operation = select_operation(document, operation_name);
  if (!operation) return operation.take_error();
  LoweredOperation lowered;
  lowered.operation_type = (*operation)->type;
  Lowerer lowerer(document, variables);
  if (Status error = lowerer.lower_into((*operation)->selection_set, std::nullopt, lowered.fields, 1)) return error;
  return lowered;
}

}  // namespace quenfel
