// Test hooks: module functions that drive the binding layer into the paths
// that real input cannot reach. Add a hook as a function plus one line in
// `hooks`.
#include <stdexcept>
#include <string>

#include "binding/errors.h"
#include "binding/json_values.h"
#include "binding/python/classes.h"
#include "binding/schema/applied_directives.h"
#include "binding/schema/default_literals.h"
#include "binding/schema/enums.h"
#include "binding/schema/operation_directives.h"
#include "binding/schema/type_views.h"
#include "binding/schema/types.h"

namespace quenfel::py {

namespace {

// A C++ exception escaping into the boundary: std::bad_alloc for "bad_alloc",
// one not derived from std::exception for "unknown", else a runtime_error.
constexpr Signature<1> kPanic{"panic", {"message"}, 1, 1};

PyObject* panic(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<1> arguments(kPanic, args, nargs, kwnames);
    std::string message(as_str(arguments[0], "message"));
    if (message == "bad_alloc") throw std::bad_alloc();
    if (message == "unknown") throw 42;
    throw std::runtime_error(message);
  });
}

// An object whose release throws.
struct PanickingObject {
  std::string message;
  ~PanickingObject() noexcept(false) { throw std::runtime_error(message); }
  static const ClassDef py_class;
};
const ClassDef PanickingObject::py_class = {"quenfel_testhooks.PanickingObject", nullptr, nullptr};

constexpr Signature<1> kPanickingObject{"panicking_object", {"message"}, 1, 1};

PyObject* panicking_object(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kPanickingObject, args, nargs, kwnames);
    std::string message(as_str(arguments[0], "message"));
    return make_instance<PanickingObject>(std::move(message));
  });
}

// raise_engine_error(message, *, code, locations=None): an engine error with
// the code's name and (line, column) pairs, raised as the module raises it.
// The message is bytes, so that it can be invalid UTF-8.
constexpr Signature<3> kEngineError{"raise_engine_error", {"message", "code", "locations"}, 1, 1, 0b01};

PyObject* raise_engine_error(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<3> arguments(kEngineError, args, nargs, kwnames);
    expect_instance(arguments[0], &PyBytes_Type, "message");
    std::string message(PyBytes_AsString(arguments[0]), static_cast<std::size_t>(PyBytes_Size(arguments[0])));
    std::string_view code_name = as_str(arguments[1], "code");
    PyObject* locations = arguments[2];
    std::size_t code = 0;
    while (code < kErrorCodeCount && error_code_name(static_cast<ErrorCode>(code)) != code_name) ++code;
    if (code == kErrorCodeCount) raise(PyExc_ValueError, "unknown error code");
    ErrorPtr error = make_error(std::move(message), static_cast<ErrorCode>(code));
    if (locations != nullptr && locations != Py_None) {
      expect_instance(locations, &PyList_Type, "locations");
      error->locations.emplace();
      for (Py_ssize_t i = 0; i < PyList_Size(locations); ++i) {
        // Held: converting an item may run code that empties the list.
        Ref pair = Ref::borrow(PyList_GetItem(locations, i));
        std::size_t line = 0, column = 0;
        if (!PyArg_ParseTuple(pair.get(), "nn", &line, &column)) throw ErrorSet{};
        error->locations->push_back({line, column});
      }
    }
    raise_graphql_error(std::move(error));
  });
}

// signature_probe(a, b, c=None, *, d, e=None): the arguments it was given,
// by name, for comparing argument errors with the interpreter's.
constexpr Signature<5> kSignatureProbe{"signature_probe", {"a", "b", "c", "d", "e"}, 3, 2, 0b01};

PyObject* signature_probe(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<5> arguments(kSignatureProbe, args, nargs, kwnames);
    Ref given = new_dict();
    for (std::size_t i = 0; i < 5; ++i) {
      if (arguments[i] != nullptr) dict_set(given.get(), kSignatureProbe.names[i], arguments[i]);
    }
    return given;
  });
}

// The conversions of value_conversion.h, each over one object: a JSON value
// as its text (json.loads keeps an integer apart from a double), a literal
// or enum name as str or None.
Ref json_text(PyObject* obj) { return str(python_to_json_value(obj).dump()); }
Ref default_literal(PyObject* obj) { return text_object(python_default_to_graphql_literal(obj)); }
Ref enum_literal(PyObject* obj) { return text_object(enum_member_literal(obj)); }

template <Ref (*Convert)(PyObject*)>
PyObject* conversion(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature<1> kConversion{"conversion", {"obj"}, 1, 1};
  return guard([&] { return Convert(Arguments<1>(kConversion, args, nargs, kwnames)[0]); });
}

// Applied directives as JSON: [[name, [[argument, value], ...]], ...].
Json directives_json(const std::vector<AppliedDirective>& directives) {
  Json list = Json::array();
  for (const AppliedDirective& directive : directives) {
    Json arguments = Json::array();
    for (const auto& [name, value] : directive.arguments) arguments.push_back(Json::array({name, value}));
    list.push_back(Json::array({directive.name, std::move(arguments)}));
  }
  return list;
}

// This module links its own copy of the binding, so its SchemaError is its
// own class: raise the module's instead, the one that tests catch.
[[noreturn]] void raise_as_module_schema_error() {
  if (!PyErr_ExceptionMatches(schema_error_type())) throw ErrorSet{};
  Ref error = fetch_error();
  Ref module = import("quenfel._quenfel");
  Ref module_error = getattr(module.get(), "SchemaError");
  Ref args = getattr(error.get(), "args");
  raise_object(call(module_error.get(), args.get()).get());
}

// applied_directives(directives, location=None, target=None): the applied
// directives of an iterable as JSON text, after the location check when a
// location is given.
constexpr Signature<3> kAppliedDirectives{"applied_directives", {"directives", "location", "target"}, 3, 1};

PyObject* applied_directives(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kAppliedDirectives, args, nargs, kwnames);
    std::optional<std::string_view> location = as_optional_str(arguments[1], "location");
    if (!location) return str(directives_json(extract_applied_directives(arguments[0])).dump());
    try {
      return str(directives_json(checked_applied_directives(arguments[0], *location, as_str(arguments[2], "target"))).dump());
    } catch (const ErrorSet&) {
      raise_as_module_schema_error();
    }
  });
}

// Arguments as JSON: [[name, directives], ...].
Json arguments_json(const std::vector<ArgumentDefinition>& arguments) {
  Json list = Json::array();
  for (const ArgumentDefinition& a : arguments) list.push_back(Json::array({a.name, directives_json(a.directives)}));
  return list;
}

Json optional_json(const std::optional<std::string>& text) { return text ? Json(*text) : Json(nullptr); }

// What only the hidden definitions hold, as JSON: a type's directives,
// interfaces, its fields' and their arguments' directives and its enum
// values'; an operation directive's record.
Json definition_json(const TypeDefinition& definition) {
  Json fields = Json::array();
  for (const FieldDefinition& f : definition.fields) {
    fields.push_back(Json::array({f.name, directives_json(f.directives), arguments_json(f.arguments)}));
  }
  Json values = Json::array();
  for (const EnumValueDefinition& v : definition.enum_values) {
    values.push_back(Json::array({v.name, optional_json(v.graphql_name), directives_json(v.directives)}));
  }
  return {{"name", definition.name}, {"directives", directives_json(definition.directives)},
          {"interfaces", definition.interfaces}, {"fields", std::move(fields)}, {"enum_values", std::move(values)}};
}

Json definition_json(const OperationDirectiveDefinition& definition) {
  Json locations = Json::array();
  for (OperationDirectiveLocation location : definition.locations) locations.push_back(location);
  return {{"name", definition.name},
          {"locations", std::move(locations)},
          {"value_parameter", optional_json(definition.value_parameter)},
          {"info_parameter", optional_json(definition.info_parameter)},
          {"arguments", arguments_json(definition.arguments)}};
}

// definition(function, *args, **kwargs): this module's own process_type,
// process_enum or describe_operation_directive (whose classes are the ones
// known here) called with the other arguments, and the hidden definition of
// what it makes as JSON text.
PyObject* definition(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    if (nargs < 1) raise(PyExc_TypeError, "definition() needs the function's name");
    const std::string_view function = as_str(args[0], "function");
    const PyMethodDef* def = function == "process_type"   ? &process_type_def
                             : function == "process_enum" ? &process_enum_def
                                                          : &describe_operation_directive_def;
    auto body = reinterpret_cast<FastcallFunction>(reinterpret_cast<void (*)()>(def->ml_meth));
    Ref info = Ref::steal(body(module, args + 1, nargs - 1, kwnames));
    if (def == &describe_operation_directive_def) {
      return str(definition_json(as_operation_directive_definition(info.get(), nullptr)).dump());
    }
    return str(definition_json(as_type_definition(info.get(), nullptr)).dump());
  });
}

PyMethodDef hooks[] = {
    function_def("panic", panic, nullptr),
    function_def("panicking_object", panicking_object, nullptr),
    function_def("raise_engine_error", raise_engine_error, nullptr),
    function_def("signature_probe", signature_probe, nullptr),
    function_def("json_text", conversion<json_text>, nullptr),
    function_def("default_literal", conversion<default_literal>, nullptr),
    function_def("enum_literal", conversion<enum_literal>, nullptr),
    function_def("applied_directives", applied_directives, nullptr),
    function_def("definition", definition, nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
