// The parameters of resolvers and operation directive functions: which one
// receives the parent value, the execution context or the directive's value,
// which are injected dependencies (left out), and the GraphQL arguments that
// every other parameter becomes.
//
// Failures throw ErrorSet with the Python error set; the first one ends the call.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/python/objects.h"
#include "engine/schema.h"

namespace quenfel::py {

struct ClassifiedParameters {
  std::vector<ArgumentDefinition> arguments;  // in signature order
  std::optional<std::string> parent_param;    // the Parent[T] parameter
  std::optional<std::string> info_param;      // the Info parameter
  std::optional<std::string> directive_value_param;  // the DirectiveValue[T] parameter
};

// Sorts the parameters of `callable`. `owner` (may be null) is the class that
// holds a resolver: its name is known to the annotations. A null marker does
// not exist for this caller (markers compare by identity); `expected_kinds`
// ends the message for an unannotated parameter.
ClassifiedParameters classify_parameters(PyObject* owner, PyObject* callable, PyObject* parent_marker,
                                         PyObject* directive_value_marker, std::string_view expected_kinds);

// typing.get_type_hints of the callable (extras kept), with the owner's name
// and the host's names for the callable in its local namespace; any failure
// there is SchemaError "could not resolve parameter annotations for ...".
Ref resolve_annotations(PyObject* typing, PyObject* owner, PyObject* callable);

// The parameters of a field's resolver, `owner` being the class of the field;
// directive_value_param stays empty.
ClassifiedParameters bind_resolver_arguments(PyObject* owner, PyObject* resolver);

}  // namespace quenfel::py
