#include "binding/errors.h"

#include <atomic>
#include <stdexcept>

#include "binding/python/classes.h"

namespace quenfel::py {

namespace {

Ref new_exception_type(const char* name, const char* doc) {
  PyObject* type = PyErr_NewExceptionWithDoc(name, doc, PyExc_Exception, nullptr);
  if (type == nullptr) {
    PyErr_Clear();
    throw std::runtime_error("Failed to initialize new exception type.");
  }
  return Ref::steal(type);
}

Ref locations_list(const std::vector<Location>& locations) {
  return list_of(locations, [](const Location& at) {
    return tuple(integer(static_cast<unsigned long long>(at.line)),
                 integer(static_cast<unsigned long long>(at.column)));
  });
}

}  // namespace

PyObject* schema_error_type() {
  static std::atomic<PyObject*> slot{nullptr};
  return once(slot, [] {
    return new_exception_type("_quenfel.SchemaError", "Raised for quenfel schema build-time errors.");
  });
}

PyObject* graphql_error_type() {
  static std::atomic<PyObject*> slot{nullptr};
  return once(slot, [] {
    return new_exception_type(
        "_quenfel.GraphQLError",
        "Base exception for GraphQL errors (message, locations, path, extensions).\n\n"
        "The host package's quenfel._error.GraphQLError subclasses it in Python and adds the\n"
        "structured fields. This natively defined base is what the host's errors share with\n"
        "the errors raised during parsing and validation.");
  });
}

Ref build_python_error(ErrorPtr error) {
  // Looked up on every call: the host module may be replaced at run time.
  try {
    Ref module = import("quenfel._error");
    Ref host_class = getattr(module.get(), "GraphQLError");
    Ref codes = getattr(module.get(), "ErrorCode");
    Ref code = Ref::steal(PyObject_GetAttr(codes.get(), str(error_code_name(error->code())).get()));
    Ref kwargs = new_dict();
    dict_set(kwargs.get(), "code", code.get());
    // Only a present list is passed, even an empty one; never locations=None.
    if (error->locations) dict_set(kwargs.get(), "locations", locations_list(*error->locations).get());
    return call(host_class.get(), tuple(str_lossy(error->message)).get(), kwargs.get());
  } catch (const ErrorSet&) {
    return fetch_error();
  }
}

Ref set_graphql_error(ErrorPtr error) {
  set_error_object(build_python_error(std::move(error)).get());
  return Ref();
}

void raise_graphql_error(ErrorPtr error) {
  set_graphql_error(std::move(error));
  throw ErrorSet{};
}

}  // namespace quenfel::py
