// Lowering: one operation of a parsed document becomes the tree of field plans
// that execution follows. @skip/@include are applied, fragment spreads and
// inline fragments are flattened into the list that holds them, @defer and
// @stream are resolved, and arguments and other directives are carried along
// as written. No schema is consulted.
//
// Lifetime: plans borrow from the document. Names, labels, type conditions,
// argument lists and argument values are views into the `Document` that was
// lowered, so a plan must not outlive that document. (The binding converts the
// plans into its own objects while it still holds the shared document.)
// Errors never borrow: their messages are owned text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/document.h"
#include "engine/error.h"

namespace quenfel {

// The request's variable values, as the @skip/@include/@defer/@stream
// arguments see them. Lowering asks only for variables those arguments name,
// so an implementation can convert values lazily: the binding looks the name
// up in the caller's dict and converts just that value, and a value with no
// JSON form is reported as absent.
//
// `find` returns the value supplied for `name` (without "$"), or nullptr when
// the request supplied none. The pointer must stay valid until the lowering
// call returns; an implementation may fill a cache from `find` (mutable
// members), since one lowering call uses its Variables from one thread only.
// `find` reports its failures by other means and throws nothing but the
// forced unwind of a thread that is being ended, which lowering lets through.
class Variables {
 public:
  virtual const Json* find(std::string_view name) const = 0;

 protected:
  ~Variables() = default;
};

// Variables held in a JSON object; anything but an object supplies none.
// The object must outlive this view.
class JsonVariables final : public Variables {
 public:
  explicit JsonVariables(const Json& object) : object_(object.is_object() ? &object : nullptr) {}
  const Json* find(std::string_view name) const noexcept override;

 private:
  const Json* object_;
};

// An argument exactly as written: name and unresolved value (variables stay
// references). Lowering hands out the document's own argument nodes.
using LoweredArgument = Argument;

// A directive other than skip/include/defer/stream, with its arguments as written.
struct LoweredDirective {
  std::string_view name;  // without "@"
  Span<LoweredArgument> arguments;
};

struct DeferMarker {
  std::optional<std::string_view> label;
};

struct StreamMarker {
  std::optional<std::string_view> label;
  std::int64_t initial_count = 0;
};

struct LoweredField {
  std::string_view response_key;  // alias, else name
  std::string_view field_name;
  // The type condition in force where the field was selected; none for a field
  // selected directly in the operation or in another field's sub-selection.
  std::optional<std::string_view> type_condition;
  Span<LoweredArgument> arguments;
  std::vector<LoweredDirective> directives;
  std::vector<LoweredField> selections;
  std::optional<DeferMarker> defer;
  std::optional<StreamMarker> stream;
  // The field's own position; a field reached through a fragment keeps its
  // position inside the fragment definition.
  std::uint32_t line = 0;
  std::uint32_t column = 0;
};

struct LoweredOperation {
  OperationType operation_type = OperationType::Query;
  std::vector<LoweredField> fields;
};

// Fragment contributions are duplicated wherever they are spread, so a tiny
// query can ask for an exponential plan. These bounds turn such queries into
// errors (GRAPHQL_VALIDATION_FAILED, no locations) before the work is done.
// Field plans produced.
inline constexpr std::size_t kMaxLoweredFields = 100000;
// Selections examined, pruned ones included, plus the entries re-examined to
// settle @defer: bounds the work of plans that produce little or nothing.
inline constexpr std::size_t kMaxLoweringVisits = 1000000;
// Nested selection sets, inline fragments and fragment expansions; keeps the
// recursion well inside the stack.
inline constexpr std::size_t kMaxLoweringDepth = 512;

// Chooses the operation and lowers its selection set. Variables' default
// values declared by the operation are not applied.
Result<LoweredOperation> lower_document(const Document& document, const Variables& variables,
                                        std::optional<std::string_view> operation_name);


}  // namespace quenfel
