#include "binding/schema/operation_directives.h"

#include <optional>
#include <string>
#include <vector>

#include "binding/schema/applied_directives.h"
#include "binding/schema/parameters.h"
#include "binding/schema/reading.h"
#include "binding/schema/type_views.h"
#include "engine/naming.h"

namespace quenfel::py {

namespace {

constexpr Signature<4> kDescribeOperationDirective{
    "describe_operation_directive", {"func", "locations", "name", "description"}, 1, 1, 0b001};

PyObject* describe_operation_directive(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<4> arguments(kDescribeOperationDirective, args, nargs, kwnames);
    PyObject* func = arguments[0];
    const std::vector<std::string> location_names = as_str_sequence(arguments[1], "locations");
    const std::optional<std::string_view> name = as_optional_str(arguments[2], "name");
    const std::optional<std::string_view> description = as_optional_str(arguments[3], "description");

    OperationDirectiveDefinition definition;
    for (const std::string& location : location_names) {
      definition.locations.push_back(parse_location<OperationDirectiveLocation::INLINE_FRAGMENT, operation_directive_location_name>(location, "operation directive"));
    }
    Ref value_marker = getattr(import("quenfel.directive").get(), "DirectiveValue");
    // A directive is a standalone function: no class to add to its annotations' namespace.
    ClassifiedParameters parameters = classify_parameters(
        nullptr, func, nullptr, value_marker.get(), "DirectiveValue[T], Info, Depends[T], or a concrete argument type");
    definition.name = name ? std::string(*name) : to_camel_case(read_str(func, "__name__"));
    if (description) definition.description = std::string(*description);
    definition.value_parameter = std::move(parameters.directive_value_param);
    definition.info_parameter = std::move(parameters.info_param);
    definition.arguments = std::move(parameters.arguments);
    Ref views = tuple_of(definition.arguments, [](const ArgumentDefinition& a) { return convert_argument(a); });
    return make_instance<PyOperationDirectiveInfo>(std::move(definition), std::move(views));
  });
}

const OperationDirectiveDefinition& directive_of(PyObject* self) {
  return value_of<PyOperationDirectiveInfo>(self).definition;
}

Ref directive_name(PyObject* self) { return str(directive_of(self).name); }
Ref directive_description(PyObject* self) { return text_object(directive_of(self).description); }
Ref directive_value_parameter(PyObject* self) { return text_object(directive_of(self).value_parameter); }
Ref directive_info_parameter(PyObject* self) { return text_object(directive_of(self).info_parameter); }

Ref directive_locations(PyObject* self) {
  return list_of(directive_of(self).locations,
                 [](OperationDirectiveLocation location) { return str(operation_directive_location_name(location)); });
}

using D = PyOperationDirectiveInfo;
PyGetSetDef operation_directive_info_getset[] = {
    computed_attribute<directive_name>("name"),
    computed_attribute<directive_description>("description"),
    computed_attribute<directive_locations>("locations"),
    computed_attribute<directive_value_parameter>("value_parameter"),
    computed_attribute<directive_info_parameter>("info_parameter"),
    list_attribute<D, &D::arguments>("arguments"),
    kAttributesEnd,
};

}  // namespace

const ClassDef PyOperationDirectiveInfo::py_class = {"quenfel._quenfel.OperationDirectiveInfo", nullptr,
                                                     operation_directive_info_getset};

PyObject* operation_directive_info_type() { return type_object<PyOperationDirectiveInfo>(); }

PyMethodDef describe_operation_directive_def = function_def(
    "describe_operation_directive", describe_operation_directive,
    "describe_operation_directive(func, *, locations, name=None, description=None)\n--\n\n"
    "Describe a query directive function as an OperationDirectiveInfo.\n\n"
    "Its parameters are classified by the same classifier as resolvers': DirectiveValue[T]\n"
    "receives the field's already-resolved value, Info the execution context (a directive\n"
    "takes Info the same way a resolver does), Depends[T] is left out of the arguments, and\n"
    "any other parameter is one of the directive's own arguments at its use in a query.\n"
    "Unlike a resolver, a directive is always a standalone function, so no enclosing class\n"
    "is added to the namespace in which typing.get_type_hints evaluates its annotations.");

}  // namespace quenfel::py
