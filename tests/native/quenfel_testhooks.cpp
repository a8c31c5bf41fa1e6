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
#include "binding/schema/type_views.h"

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

// sample_type_info(): a one-of object type Query with a resolver field
// allTags(limit: Int = 10): [Int!]! and a Maybe field note: String = "x",
// directives on the field and the argument: a TypeInfo as process_type makes one.
PyObject* sample_type_info(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature<0> kSampleTypeInfo{"sample_type_info", {}, 0, 0};
  return guard([&] {
    Arguments<0> arguments(kSampleTypeInfo, args, nargs, kwnames);
    ArgumentDefinition limit{"limit", std::nullopt, GraphQLType::named("Int"), "10", "How many", std::nullopt,
                             {{"tagged", {}}}, true, false};
    GraphQLType ints = GraphQLType::non_null(GraphQLType::list(GraphQLType::non_null(GraphQLType::named("Int"))));
    FieldDefinition tags{"tags", "allTags", std::move(ints), "The tags", "use labels", std::nullopt,
                         "root", "info", {limit}, {{"tagged", {}}}, false, true};
    FieldDefinition note{"note", std::nullopt, GraphQLType::named("String"), std::nullopt, std::nullopt, "\"x\"",
                         std::nullopt, std::nullopt, {}, {}, true, false};
    TypeDefinition query{"Query", "The root", {tags, note}, {}, {}, {}, TypeKind::Object, true};
    return new_type_info(std::move(query));
  });
}

// enum_definition(cls, *, name=None, description=None, directives): this
// module's own process_enum (whose TypeInfo class is the one known here), and
// of the TypeInfo it makes the hidden definition as JSON text:
// [name, directives, [[member, graphql_name, directives], ...]].
PyObject* enum_definition(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    auto process_enum = reinterpret_cast<FastcallFunction>(reinterpret_cast<void (*)()>(process_enum_def.ml_meth));
    Ref info = Ref::steal(process_enum(module, args, nargs, kwnames));
    const TypeDefinition& definition = as_type_definition(info.get(), nullptr);
    Json values = Json::array();
    for (const EnumValueDefinition& value : definition.enum_values) {
      values.push_back(Json::array({value.name, value.graphql_name ? Json(*value.graphql_name) : Json(nullptr),
                                    directives_json(value.directives)}));
    }
    return str(Json::array({definition.name, directives_json(definition.directives), std::move(values)}).dump());
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
    function_def("sample_type_info", sample_type_info, nullptr),
    function_def("enum_definition", enum_definition, nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
