#include "binding/schema/parameters.h"

#include <utility>

#include "binding/schema/annotations.h"
#include "binding/schema/applied_directives.h"
#include "binding/schema/default_literals.h"
#include "binding/schema/reading.h"

namespace quenfel::py {

namespace {

constexpr std::string_view kResolverKinds = "Parent[T], Info, Depends[T], or a concrete argument type";

// The annotation itself or its typing origin is the marker.
bool is_marked(PyObject* annotation, PyObject* origin, PyObject* marker) {
  return annotation == marker || origin == marker;
}

// The callable's __qualname__, or the empty text when it is no str.
std::string qualified_name(PyObject* callable) {
  return text_if_str(try_getattr(callable, "__qualname__")).value_or("");
}

// One argument parameter: its Argument(...) configuration (the first in its
// Annotated metadata), its type and directives (checked for ARGUMENT_DEFINITION).
ArgumentDefinition classify_argument(PyObject* typing, std::string name, const Unwrapped& unwrapped, bool has_default,
                                     std::optional<std::string> default_literal) {
  ArgumentDefinition argument;
  argument.is_maybe = is_maybe_annotation(typing, unwrapped);
  Ref configuration_class = getattr(import("quenfel._resolver").get(), "Argument");
  Ref configuration = find_marker(unwrapped.metadata.get(), configuration_class.get());
  Ref type_override, directives;
  if (configuration) {
    argument.graphql_name = read_optional_str(configuration.get(), "name");
    argument.description = read_optional_str(configuration.get(), "description");
    argument.deprecation_reason = read_optional_str(configuration.get(), "deprecation_reason");
    type_override = getattr(configuration.get(), "graphql_type");
    directives = getattr(configuration.get(), "directives");
  }
  if (!argument.is_maybe) argument.default_value = std::move(default_literal);
  const bool overridden = type_override && type_override.get() != Py_None;
  argument.graphql_type = resolve_graphql_type(typing, overridden ? type_override.get() : unwrapped.base.get());
  if (directives) argument.directives = checked_applied_directives(directives.get(), "ARGUMENT_DEFINITION", name);
  argument.name = std::move(name);
  argument.has_default = has_default;
  return argument;
}

// What one classification compares the parameters with.
struct Markers {
  PyObject* parent;           // may be null
  PyObject* directive_value;  // may be null
  PyObject* info;
  PyObject* depends;
  PyObject* empty;  // inspect.Parameter.empty
  std::string_view expected_kinds;
};

void set_once(std::optional<std::string>& slot, const std::string& name, const char* duplicate_message) {
  if (slot) raise_schema_error(duplicate_message);
  slot = name;
}

void classify_parameter(PyObject* typing, PyObject* hints, PyObject* parameter, const Markers& markers,
                        ClassifiedParameters& result) {
  Ref name_object = getattr(parameter, "name");
  std::string name(as_str(name_object.get(), nullptr));
  Ref annotation = getattr(parameter, "annotation");
  if (annotation.get() == markers.empty) {
    // An implicit parent by name is what other libraries do: say how it is spelled here.
    if (markers.parent != nullptr && (name == "self" || name == "root")) {
      raise_schema_error("resolver parameter '" + name +
                         "' has no type annotation -- quenfel does not bind an implicit parent value by name; "
                         "annotate it as Parent[T] instead");
    }
    raise_schema_error("parameter '" + name + "' has no type annotation; annotate it as " +
                       std::string(markers.expected_kinds));
  }
  if (PyObject* hinted = PyDict_GetItemWithError(hints, name_object.get())) {
    annotation = Ref::borrow(hinted);
  } else if (PyErr_Occurred()) {
    throw ErrorSet{};
  }
  Ref origin = get_origin(typing, annotation.get());
  if (markers.parent != nullptr && origin.get() == markers.parent) {
    return set_once(result.parent_param, name, "resolver declares more than one Parent[T] parameter");
  }
  if (is_marked(annotation.get(), origin.get(), markers.info)) {
    return set_once(result.info_param, name, "declares more than one Info parameter");
  }
  Unwrapped unwrapped = unwrap_annotated(typing, annotation.get(), origin.get());
  if (find_marker(unwrapped.metadata.get(), markers.depends)) return;  // injected: no argument
  if (markers.directive_value != nullptr && is_marked(annotation.get(), origin.get(), markers.directive_value)) {
    return set_once(result.directive_value_param, name, "directive declares more than one DirectiveValue[T] parameter");
  }
  Ref default_value = getattr(parameter, "default");
  const bool has_default = default_value.get() != markers.empty;
  std::optional<std::string> literal;
  if (has_default) literal = python_default_to_graphql_literal(default_value.get());
  result.arguments.push_back(
      classify_argument(typing, std::move(name), unwrapped, has_default, std::move(literal)));
}

}  // namespace

ClassifiedParameters classify_parameters(PyObject* owner, PyObject* callable, PyObject* parent_marker,
                                         PyObject* directive_value_marker, std::string_view expected_kinds) {
  Ref inspect = import("inspect");
  Ref typing = import("typing");
  Ref host = import("quenfel._resolver");
  Ref info = getattr(host.get(), "Info");
  Ref depends = getattr(host.get(), "Depends");
  Ref parameter_class = getattr(inspect.get(), "Parameter");
  Ref empty = getattr(parameter_class.get(), "empty");

  Ref signature = Ref::steal(PyObject_CallMethod(inspect.get(), "signature", "(O)", callable));
  Ref parameters = getattr(signature.get(), "parameters");
  Ref values = Ref::steal(PyObject_CallMethod(parameters.get(), "values", nullptr));
  // Every annotation is evaluated before any parameter is looked at.
  Ref hints = resolve_annotations(typing.get(), owner, callable);

  const Markers markers{parent_marker, directive_value_marker, info.get(), depends.get(), empty.get(), expected_kinds};
  ClassifiedParameters result;
  for_each_item(values.get(), [&](PyObject* parameter) {
    classify_parameter(typing.get(), hints.get(), parameter, markers, result);
  });
  return result;
}

Ref resolve_annotations(PyObject* typing, PyObject* owner, PyObject* callable) {
  Ref localns = new_dict();
  if (owner != nullptr) {
    // The owner is not bound in its module yet while its decorator runs.
    Ref owner_name = getattr(owner, "__name__");
    as_str(owner_name.get(), nullptr);
    check(PyDict_SetItem(localns.get(), owner_name.get(), owner));
  }
  seed_lazy_namespace_for_callable(callable, localns.get());
  Ref hints;
  try {
    hints = get_type_hints(typing, callable, localns.get());
  } catch (const ErrorSet&) {
    if (error_is_failure()) throw;
    Ref cause = fetch_error();
    raise_schema_error_quoting(std::move(cause),
                               "could not resolve parameter annotations for '" + qualified_name(callable) + "': ");
  }
  if (!PyDict_Check(hints.get())) raise_wrong_kind(hints.get(), &PyDict_Type, nullptr);
  return hints;
}

ClassifiedParameters bind_resolver_arguments(PyObject* owner, PyObject* resolver) {
  Ref parent = getattr(import("quenfel._resolver").get(), "Parent");
  return classify_parameters(owner, resolver, parent.get(), nullptr, kResolverKinds);
}

}  // namespace quenfel::py
