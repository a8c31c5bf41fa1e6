#include "binding/request/lowering.h"

#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "binding/errors.h"
#include "binding/json_values.h"
#include "binding/python/classes.h"
#include "binding/request/input_values.h"
#include "binding/request/names.h"
#include "binding/request/parsed_document.h"
#include "engine/lowering.h"
#include "engine/name_map.h"
#include "engine/parser.h"

namespace quenfel::py {

namespace {

// ---- Variables as the engine sees them --------------------------------------

// The caller's dict seen through JSON, converted one value at a time: the
// engine asks only for the variables that @skip/@include/@defer/@stream read,
// so the other values (often large inputs) are never converted. A value with
// no JSON form is absent. A real failure while converting (MemoryError,
// RecursionError, KeyboardInterrupt, a fatal error) cannot leave find(), so
// it is kept and raised once the engine has returned.
class DictVariables final : public Variables {
 public:
  // Every key must be a str with a UTF-8 form, as a view built up front would require.
  explicit DictVariables(PyObject* dict) : dict_(dict), size_(PyDict_Size(dict)) {
    bool exact_keys = true;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict, &pos, &key, &value)) {
      as_str(key, nullptr);
      exact_keys = exact_keys && PyUnicode_CheckExact(key);
    }
    if (!exact_keys) index_entries();
  }

  const Json* find(std::string_view name) const override {
    try {
      if (auto it = cache_.find(name); it != cache_.end()) return it->second ? &*it->second : nullptr;
      if (python_failed_ || failure_) return nullptr;  // run no more Python code
      std::optional<Json>& slot = cache_[name];
      try {
        slot = convert(name);
      } catch (const ErrorSet&) {
        // A value nested too deep to convert has a JSON form all the same:
        // its RecursionError is raised, not taken for a value without one.
        if (error_is_failure() || PyErr_ExceptionMatches(PyExc_RecursionError)) {
          python_failed_ = true;  // left set: the engine touches no Python
          return nullptr;
        }
        PyErr_Clear();
      }
      // A conversion ran Python code that changed the dict under the view.
      if (PyDict_Size(dict_) != size_) throw std::runtime_error("dictionary changed size during iteration");
      return slot ? &*slot : nullptr;
    } catch (...) {
      failure_ = std::current_exception();
      if (!failure_) throw;  // a forced unwind: see binding/python/boundary.h
      return nullptr;
    }
  }

  // Raises the failure kept by find(), if any.
  void raise_failure() const {
    if (failure_) std::rethrow_exception(failure_);
    if (python_failed_) throw ErrorSet{};
  }

 private:
  struct Entry {
    Ref key;
    std::string_view text;  // the key's UTF-8, owned by the key
    Ref value;
  };

  // A str subclass may hash and compare as it likes, so a dict lookup by the
  // name could miss it: such dicts are matched by the keys' text instead.
  void index_entries() {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict_, &pos, &key, &value)) {
      entries_.push_back({Ref::borrow(key), as_str(key, nullptr), Ref::borrow(value)});
    }
  }

  std::optional<Json> convert(std::string_view name) const {
    Ref value;
    if (entries_.empty()) {
      value = find_variable(dict_, name);
    } else {
      // The later of two keys with one text wins, as it would in a JSON object.
      for (auto it = entries_.rbegin(); it != entries_.rend() && !value; ++it) {
        if (it->text == name) value = Ref::borrow(it->value.get());
      }
    }
    if (!value) return std::nullopt;
    return python_to_json_value(value.get());
  }

  PyObject* dict_;
  Py_ssize_t size_;
  std::vector<Entry> entries_;
  mutable RequestNameViewMap<std::optional<Json>> cache_;
  mutable bool python_failed_ = false;
  mutable std::exception_ptr failure_;
};

// ---- Result classes ---------------------------------------------------------

// Lowering makes thousands of objects per request, and most of them hold
// nothing through which a reference cycle could run back to them: the only
// mutable things they hold are their arguments dicts, reached through a
// getter or already holding some of the caller's containers. So an object
// starts outside the cycle collector unless something it holds is tracked,
// and joins it when a getter hands out a way in (its dict, its directives,
// its children), before any cycle through it can be built.
void track(PyObject* self) {
  if (!PyObject_GC_IsTracked(self)) PyObject_GC_Track(self);
}

bool is_tracked(const Ref& ref) { return ref && PyObject_GC_IsTracked(ref.get()); }

bool any_tracked(const std::vector<Ref>& refs) {
  for (const Ref& ref : refs) {
    if (PyObject_GC_IsTracked(ref.get())) return true;
  }
  return false;
}

int visit_all(const std::vector<Ref>& refs, visitproc visit, void* arg) {
  for (const Ref& ref : refs) {
    if (int status = visit(ref.get(), arg)) return status;
  }
  return 0;
}

struct PyLoweredDirective {
  Ref name;
  Ref arguments;  // dict; made on first read for a directive without arguments

  int traverse(visitproc visit, void* arg) const { return visit_ref(arguments, visit, arg); }
  void clear() noexcept { arguments = Ref(); }
  static const ClassDef py_class;
};

// Empty Refs stand for None (type_condition, the labels) and for a dict not
// made yet (arguments).
struct PyLoweredField {
  Ref response_key, field_name, type_condition;
  Ref arguments;  // dict; made on first read for a field without arguments
  std::vector<Ref> directives, selections;
  Ref defer_label, stream_label;
  std::optional<std::int64_t> stream_initial_count;  // present exactly when streamed
  std::uint32_t line, column;
  bool is_deferred, is_streamed;

  int traverse(visitproc visit, void* arg) const {
    if (int status = visit_ref(arguments, visit, arg)) return status;
    if (int status = visit_all(directives, visit, arg)) return status;
    return visit_all(selections, visit, arg);
  }
  void clear() noexcept {
    // Moved out first: releasing may run code that reads this object.
    std::vector<Ref> old_directives = std::move(directives);
    std::vector<Ref> old_selections = std::move(selections);
    arguments = Ref();
  }
  static const ClassDef py_class;
};

// The same dict on every read; an empty one is made when there is none yet
// (no arguments, or dropped by clear()).
template <class T>
PyObject* get_arguments(PyObject* self, void*) {
  return guard([&] {
    track(self);
    Ref& arguments = value_of<T>(self).arguments;
    if (!arguments) arguments = new_dict();
    return Ref::borrow(arguments.get());
  });
}

// A new list holding the same objects on every read.
template <std::vector<Ref> PyLoweredField::*Member>
PyObject* get_field_list(PyObject* self, void*) {
  return guard([&] {
    track(self);
    return list_of(value_of<PyLoweredField>(self).*Member, [](const Ref& item) { return Ref::borrow(item.get()); });
  });
}

using D = PyLoweredDirective;
PyGetSetDef directive_getset[] = {
    object_attribute<D, &D::name>("name"),
    {"arguments", get_arguments<D>, nullptr, nullptr, nullptr},
    kAttributesEnd,
};

using F = PyLoweredField;
PyGetSetDef field_getset[] = {
    object_attribute<F, &F::response_key>("response_key"),
    object_attribute<F, &F::field_name>("field_name"),
    optional_attribute<F, &F::type_condition>("type_condition"),
    {"arguments", get_arguments<F>, nullptr, nullptr, nullptr},
    {"directives", get_field_list<&F::directives>, nullptr, nullptr, nullptr},
    {"selections", get_field_list<&F::selections>, nullptr, nullptr, nullptr},
    scalar_attribute<F, &F::line>(
        "line",
        "The field's own 1-indexed source line in the query text, so that an execution-time\n"
        "error can report where in the query it came from, as a parse or validation error\n"
        "already does."),
    scalar_attribute<F, &F::column>("column"),
    scalar_attribute<F, &F::is_deferred>(
        "is_deferred",
        "Whether the field is only deliverable after the initial payload, per @defer, under the\n"
        "engine's exclusivity rule: a deferred fragment's field whose response key is also\n"
        "selected elsewhere in the same selection set is not deferred. The defer marker is\n"
        "flattened into two plain fields (is_deferred, defer_label) rather than a nested\n"
        "object to keep the Python-facing shape simple."),
    optional_attribute<F, &F::defer_label>("defer_label"),
    scalar_attribute<F, &F::is_streamed>(
        "is_streamed",
        "Whether the field carries @stream directly (not switched off by its `if` argument).\n"
        "Only legal on a list-typed field, which validation enforces, not lowering. Flattened\n"
        "the same way, into is_streamed, stream_initial_count and stream_label."),
    scalar_attribute<F, &F::stream_initial_count>("stream_initial_count"),
    optional_attribute<F, &F::stream_label>("stream_label"),
    kAttributesEnd,
};

// ---- Plans to objects -------------------------------------------------------

// Turns the engine's plans into Python objects while the document they
// borrow from is held. Variable values are placed in the dicts as they are.
class Converter {
 public:
  explicit Converter(PyObject* variable_values) : variable_values_(variable_values) {}

  Ref field(const LoweredField& field) {
    std::vector<Ref> directives;
    directives.reserve(field.directives.size());
    for (const LoweredDirective& directive : field.directives) {
      Ref dict = arguments(directive.arguments);
      const bool tracked = is_tracked(dict);
      directives.push_back(make_instance<PyLoweredDirective>(names_.get(directive.name), std::move(dict)));
      if (!tracked) PyObject_GC_UnTrack(directives.back().get());
    }
    std::vector<Ref> selections;
    selections.reserve(field.selections.size());
    for (const LoweredField& child : field.selections) selections.push_back(this->field(child));
    Ref dict = arguments(field.arguments);

    Ref field_name = names_.get(field.field_name);
    Ref response_key = field.response_key == field.field_name ? Ref::borrow(field_name.get()) : names_.get(field.response_key);
    Ref condition = field.type_condition ? names_.get(*field.type_condition) : Ref();
    Ref defer_label = field.defer && field.defer->label ? str(*field.defer->label) : Ref();
    Ref stream_label = field.stream && field.stream->label ? str(*field.stream->label) : Ref();
    std::optional<std::int64_t> initial_count;
    if (field.stream) initial_count = field.stream->initial_count;
    const bool tracked = is_tracked(dict) || any_tracked(directives) || any_tracked(selections);

    Ref object = make_instance<PyLoweredField>(
        std::move(response_key), std::move(field_name), std::move(condition), std::move(dict), std::move(directives),
        std::move(selections), std::move(defer_label), std::move(stream_label), initial_count, field.line,
        field.column, field.defer.has_value(), field.stream.has_value());
    if (!tracked) PyObject_GC_UnTrack(object.get());
    return object;
  }

 private:
  // A new dict: literals converted, variables as the caller's own objects; a
  // bare variable the caller did not supply leaves its argument out. No
  // arguments give an empty Ref: the getter makes the dict on first read.
  Ref arguments(List<LoweredArgument> arguments) {
    if (arguments.empty()) return Ref();
    Ref dict = new_dict();
    for (const LoweredArgument& argument : arguments) {
      Ref value;
      if (argument.value.kind == ValueKind::Variable) {
        value = find_variable(variable_values_, names_.get(argument.value.text()).get());
        if (!value) continue;
      } else {
        value = graphql_value_to_python(argument.value, variable_values_, names_);
      }
      check(PyDict_SetItem(dict.get(), names_.get(argument.name).get(), value.get()));
    }
    return dict;
  }

  PyObject* variable_values_;
  Names names_;
};

Ref lower_parsed_document(const Document& document, PyObject* variable_values,
                          std::optional<std::string_view> operation_name) {
  DictVariables variables(variable_values);
  Result<LoweredOperation> lowered = lower_document(document, variables, operation_name);
  variables.raise_failure();
  if (!lowered) return set_graphql_error(lowered.take_error());

  Converter converter(variable_values);
  Ref fields = list_of(lowered->fields, [&](const LoweredField& field) { return converter.field(field); });
  return tuple(str(operation_type_name(lowered->operation_type)), std::move(fields));
}

PyObject* as_variable_values(PyObject* obj) {
  expect_instance(obj, &PyDict_Type, "variable_values");
  return obj;
}

constexpr Signature<3> kLowerQuery{"lower_query", {"query", "variable_values", "operation_name"}, 1, 1, 0b01};

PyObject* lower_query(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kLowerQuery, args, nargs, kwnames);
    std::string_view query = as_str(arguments[0], "query");
    PyObject* variable_values = as_variable_values(arguments[1]);
    std::optional<std::string_view> operation_name = as_optional_str(arguments[2], "operation_name");
    Result<DocumentPtr> parsed = parse_document(query);
    if (!parsed) return set_graphql_error(parsed.take_error());
    return lower_parsed_document(**parsed, variable_values, operation_name);
  });
}

constexpr Signature<3> kLowerDocument{"lower_document", {"document", "variable_values", "operation_name"}, 1, 1, 0b01};

PyObject* lower_document(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kLowerDocument, args, nargs, kwnames);
    // A copy: Python code run while lowering must not be able to free the document.
    DocumentPtr document = as_parsed_document(arguments[0], "document");
    PyObject* variable_values = as_variable_values(arguments[1]);
    std::optional<std::string_view> operation_name = as_optional_str(arguments[2], "operation_name");
    return lower_parsed_document(*document, variable_values, operation_name);
  });
}

}  // namespace

const ClassDef PyLoweredDirective::py_class = {"quenfel._quenfel.LoweredDirective", nullptr, directive_getset};

const ClassDef PyLoweredField::py_class = {
    "quenfel._quenfel.LoweredField",
    "A field that survived @skip/@include pruning, ready for execution.\n\n"
    "Its arguments and its custom directives' arguments are already resolved to real\n"
    "Python objects (variables substituted through the request's variable values). Which\n"
    "resolver owns field_name, and so how the GraphQL argument names map to the resolver's\n"
    "Python parameter names, is not decided here: for a field reached through an interface\n"
    "or union it depends on the concrete value resolved at run time (type_condition narrows\n"
    "which selections apply to that type), and binding any earlier could fix a wrong\n"
    "parameter mapping.",
    field_getset,
};

PyObject* lowered_field_type() { return type_object<PyLoweredField>(); }
PyObject* lowered_directive_type() { return type_object<PyLoweredDirective>(); }

PyMethodDef lower_query_def = function_def(
    "lower_query", lower_query,
    "lower_query(query, *, variable_values, operation_name=None)\n--\n\n"
    "Parse query and lower its (optionally named) operation into a tree of LoweredField.\n\n"
    "@skip/@include'd selections are pruned, fragment spreads and inline fragments are\n"
    "flattened, each directive's `if` argument is evaluated against variable_values, and\n"
    "$variable references are substituted in field and directive arguments. Lowering is\n"
    "schema-agnostic: resolver binding and interface or union dispatch need a concrete\n"
    "value that exists only during execution.\n\n"
    "Returns (operation_type, fields); the operation type (\"query\", \"mutation\" or\n"
    "\"subscription\") is what the execution layer needs to pick the schema's root type.");

PyMethodDef lower_document_def = function_def(
    "lower_document", lower_document,
    "lower_document(document, *, variable_values, operation_name=None)\n--\n\n"
    "The same lowering as lower_query, on an already-parsed ParsedDocument.\n\n"
    "The normal path is to parse once, validate the handle and lower the same handle. On a\n"
    "persisted-query replay parsing and validation are skipped and only the\n"
    "variable-dependent work (@skip/@include evaluation, argument substitution) is done\n"
    "again, since it depends on this request's variable values.");

}  // namespace quenfel::py
