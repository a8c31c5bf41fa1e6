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

constexpr Signature<1> kPanic{"panic", {"message"}, 1, 1};

// A C++ exception escaping into the boundary.
PyObject* panic(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<1> arguments(kPanic, args, nargs, kwnames);
    throw std::runtime_error(std::string(as_str(arguments[0], "message")));
  });
}

constexpr Signature<0> kPanicUnknown{"panic_unknown", {}, 0, 0};

PyObject* panic_unknown(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<0> arguments(kPanicUnknown, args, nargs, kwnames);
    throw 42;
  });
}

constexpr Signature<0> kExhaustMemory{"exhaust_memory", {}, 0, 0};

PyObject* exhaust_memory(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<0> arguments(kExhaustMemory, args, nargs, kwnames);
    throw std::bad_alloc();
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

// An engine error raised as the module's functions raise it.
constexpr Signature<3> kEngineError{"raise_engine_error", {"message", "code", "locations"}, 1, 1, 0b01};

PyObject* raise_engine_error(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> Ref {
    Arguments<3> arguments(kEngineError, args, nargs, kwnames);
    // Bytes stand for a message that is not valid UTF-8.
    std::string message;
    if (PyBytes_Check(arguments[0])) {
      message.assign(PyBytes_AsString(arguments[0]), static_cast<std::size_t>(PyBytes_Size(arguments[0])));
    } else {
      message = as_str(arguments[0], "message");
    }
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

// The arguments it was given, by name: for comparing argument errors with the interpreter's.
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

// A JSON value back as Python, keeping what the conversion decided: an
// integer stays int, a double becomes float, an object's keys in its order.
Ref json_to_python(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return none();
    case Json::value_t::boolean:
      return boolean(json.get<bool>());
    case Json::value_t::number_unsigned:
      return integer(static_cast<unsigned long long>(json.get<std::uint64_t>()));
    case Json::value_t::number_integer:
      return integer(static_cast<long long>(json.get<std::int64_t>()));
    case Json::value_t::number_float:
      return Ref::steal(PyFloat_FromDouble(json.get<double>()));
    case Json::value_t::string:
      return str(json.get_ref<const std::string&>());
    case Json::value_t::array: {
      Ref list = new_list(static_cast<Py_ssize_t>(json.size()));
      Py_ssize_t i = 0;
      for (const Json& item : json) list_set(list.get(), i++, json_to_python(item));
      return list;
    }
    case Json::value_t::object: {
      Ref dict = new_dict();
      for (const auto& [key, value] : json.items()) check(PyDict_SetItem(dict.get(), str(key).get(), json_to_python(value).get()));
      return dict;
    }
    default:
      throw std::logic_error("unexpected JSON value");
  }
}

constexpr Signature<1> kJsonValue{"json_value", {"obj"}, 1, 1};

PyObject* json_value(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kJsonValue, args, nargs, kwnames);
    return json_to_python(python_to_json_value(arguments[0]));
  });
}

constexpr Signature<1> kDefaultLiteral{"default_literal", {"obj"}, 1, 1};

PyObject* default_literal(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kDefaultLiteral, args, nargs, kwnames);
    return text_object(python_default_to_graphql_literal(arguments[0]));
  });
}

constexpr Signature<1> kEnumLiteral{"enum_literal", {"obj"}, 1, 1};

PyObject* enum_literal(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kEnumLiteral, args, nargs, kwnames);
    return text_object(enum_member_literal(arguments[0]));
  });
}

// Applied directives as [(name, [(argument, value), ...]), ...].
Ref directives_to_python(const std::vector<AppliedDirective>& directives) {
  return tuple_of(directives, [](const AppliedDirective& directive) {
    return tuple(str(directive.name), tuple_of(directive.arguments, [](const auto& argument) {
                   return tuple(str(argument.first), json_to_python(argument.second));
                 }));
  });
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

constexpr Signature<3> kAppliedDirectives{"applied_directives", {"directives", "location", "target"}, 3, 1};

PyObject* applied_directives(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<3> arguments(kAppliedDirectives, args, nargs, kwnames);
    std::optional<std::string_view> location = as_optional_str(arguments[1], "location");
    if (!location) return directives_to_python(extract_applied_directives(arguments[0]));
    try {
      return directives_to_python(checked_applied_directives(arguments[0], *location, as_str(arguments[2], "target")));
    } catch (const ErrorSet&) {
      raise_as_module_schema_error();
    }
  });
}

constexpr Signature<0> kSampleTypeInfo{"sample_type_info", {}, 0, 0};

// A one-of object type Query with a resolver field allTags(limit: Int = 10):
// [Int!]! and a Maybe field note: String = "x", directives on the field and the
// argument: the kind of TypeInfo that process_type makes.
PyObject* sample_type_info(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
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

// process_enum's arguments; the hidden definition of the TypeInfo it makes:
// (name, directives, [(member, graphql_name, directives), ...]). It runs this
// module's copy of process_enum, whose TypeInfo class is the one known here.
PyObject* enum_definition(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    auto process_enum = reinterpret_cast<FastcallFunction>(reinterpret_cast<void (*)()>(process_enum_def.ml_meth));
    Ref info = Ref::steal(process_enum(module, args, nargs, kwnames));
    const TypeDefinition& definition = as_type_definition(info.get(), nullptr);
    return tuple(str(definition.name), directives_to_python(definition.directives),
                 tuple_of(definition.enum_values, [](const EnumValueDefinition& value) {
                   return tuple(str(value.name), text_object(value.graphql_name),
                                directives_to_python(value.directives));
                 }));
  });
}

PyMethodDef hooks[] = {
    function_def("panic", panic, "panic(message)\n--\n\nThrows a C++ exception with the message."),
    function_def("panic_unknown", panic_unknown, "panic_unknown()\n--\n\nThrows a non-standard C++ exception."),
    function_def("exhaust_memory", exhaust_memory, "exhaust_memory()\n--\n\nThrows std::bad_alloc."),
    function_def("panicking_object", panicking_object,
                 "panicking_object(message)\n--\n\nAn object whose release throws a C++ exception."),
    function_def("raise_engine_error", raise_engine_error,
                 "raise_engine_error(message, *, code, locations=None)\n--\n\n"
                 "Raises an engine error with the code's name and a list of (line, column) pairs;\n"
                 "a bytes message may hold invalid UTF-8."),
    function_def("signature_probe", signature_probe,
                 "signature_probe(a, b, c=None, *, d, e=None)\n--\n\nThe arguments given, by parameter name."),
    function_def("json_value", json_value,
                 "json_value(obj)\n--\n\nobj through the JSON conversion and back."),
    function_def("default_literal", default_literal,
                 "default_literal(obj)\n--\n\nThe GraphQL literal text of a default value, or None."),
    function_def("enum_literal", enum_literal,
                 "enum_literal(obj)\n--\n\nThe GraphQL name of a decorated enum's member, or None."),
    function_def("applied_directives", applied_directives,
                 "applied_directives(directives, location=None, target=None)\n--\n\n"
                 "The applied directives of an iterable, after the location check when a location is given."),
    function_def("sample_type_info", sample_type_info,
                 "sample_type_info()\n--\n\nA TypeInfo with two fields, one with a resolver argument."),
    function_def("enum_definition", enum_definition,
                 "enum_definition(cls, *, name=None, description=None, directives)\n--\n\n"
                 "process_enum, giving the name, directives and enum values of the hidden definition."),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "quenfel_testhooks", "", 0, hooks, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit_quenfel_testhooks() { return PyModuleDef_Init(&quenfel::py::module_def); }
