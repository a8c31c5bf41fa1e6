#include "binding/py.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace quenfel::py {

namespace {

// Derived from BaseException so that `except Exception` does not swallow a bug.
PyObject* panic_exception_type() {
  static std::atomic<PyObject*> slot{nullptr};
  return once(slot, [] {
    return Ref::steal(PyErr_NewExceptionWithDoc(
        "_quenfel.PanicException",
        "Raised when a fatal internal error of the native module reaches a call from Python.",
        PyExc_BaseException, nullptr));
  });
}

void raise_panic(const char* message) noexcept {
  std::fprintf(stderr, "quenfel._quenfel: fatal internal error: %s\n", message);
  std::fflush(stderr);
  try {
    Ref text = str_lossy(message);
    PyErr_SetObject(panic_exception_type(), text.get());
    return;
  } catch (...) {
  }
  Py_FatalError("uncaught panic at ffi boundary");
}

std::string quoted(const char* name) { return std::string("'") + name + "'"; }

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as the interpreter lists missing arguments.
std::string join_names(const char* const* names, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += count == 2 ? " and " : (i + 1 == count ? ", and " : ", ");
    out += quoted(names[i]);
  }
  return out;
}

[[noreturn]] void raise_missing(const ParameterList& s, const char* kind, const std::vector<const char*>& missing) {
  const std::size_t count = missing.size();
  std::string message = std::string(s.function) + "() missing " + std::to_string(count) + " required " + kind +
                        " argument" + (count == 1 ? "" : "s") + ": " + join_names(missing.data(), count);
  raise(PyExc_TypeError, message.c_str());
}

[[noreturn]] void raise_too_many_positional(const ParameterList& s, Py_ssize_t given, std::size_t keywords_given) {
  std::string message = std::string(s.function) + "() takes ";
  bool plural = s.positional != 1;
  if (s.required < s.positional) {
    message += "from " + std::to_string(s.required) + " to " + std::to_string(s.positional);
    plural = true;
  } else {
    message += std::to_string(s.positional);
  }
  message += std::string(" positional argument") + (plural ? "s" : "") + " but " + std::to_string(given);
  if (keywords_given > 0) {
    message += std::string(" positional argument") + (given != 1 ? "s" : "") + " (and " +
               std::to_string(keywords_given) + " keyword-only argument" + (keywords_given != 1 ? "s" : "") + ")";
  }
  message += given == 1 && keywords_given == 0 ? " was given" : " were given";
  raise(PyExc_TypeError, message.c_str());
}

}  // namespace

Ref import(const char* module) {
  // Without a fromlist this returns the top-level package; the module itself is in sys.modules.
  Ref top = Ref::steal(PyImport_ImportModuleLevel(module, nullptr, nullptr, nullptr, 0));
  Ref name = Ref::steal(PyUnicode_FromString(module));
  if (PyObject* found = PyImport_GetModule(name.get())) return Ref::steal(found);
  if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, name.get());
  throw ErrorSet{};
}

Ref str_lossy(std::string_view s) {
  return Ref::steal(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace"));
}

void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw ErrorSet{};
}

void set_error_object(PyObject* exception) noexcept {
  if (PyExceptionInstance_Check(exception)) {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception);
  } else if (PyExceptionClass_Check(exception)) {
    PyErr_SetNone(exception);
  } else {
    PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
  }
}

Ref fetch_error() {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return Ref::steal(value);
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorSet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error return without exception set");
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("unknown C++ exception");
  }
}

void write_unraisable_from_current_exception(PyObject* context) noexcept {
  set_error_from_current_exception();
  PyErr_WriteUnraisable(context);
}

void parse_arguments(const ParameterList& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out) {
  const std::size_t total = s.total;
  // The interpreter's order of checks: keywords, then the positional count,
  // then missing positional, then missing keyword-only arguments.
  const std::size_t given = static_cast<std::size_t>(nargs) < s.positional ? static_cast<std::size_t>(nargs)
                                                                            : s.positional;
  for (std::size_t i = 0; i < total; ++i) out[i] = i < given ? args[i] : nullptr;

  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* key = PyTuple_GetItem(kwnames, k);
    if (key == nullptr) throw ErrorSet{};
    std::size_t j = 0;
    while (j < total && PyUnicode_CompareWithASCIIString(key, s.names[j]) != 0) ++j;
    if (j == total) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", s.function, key);
      throw ErrorSet{};
    }
    if (out[j] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", s.function, key);
      throw ErrorSet{};
    }
    out[j] = args[nargs + k];
  }

  if (static_cast<std::size_t>(nargs) > s.positional) {
    std::size_t keywords_given = 0;
    for (std::size_t i = s.positional; i < total; ++i) keywords_given += out[i] != nullptr;
    raise_too_many_positional(s, nargs, keywords_given);
  }

  std::vector<const char*> missing;
  for (std::size_t i = given; i < s.required; ++i) {
    if (out[i] == nullptr) missing.push_back(s.names[i]);
  }
  if (!missing.empty()) raise_missing(s, "positional", missing);
  for (std::size_t i = 0; i < total - s.positional; ++i) {
    if ((s.required_keywords >> i & 1u) != 0 && out[s.positional + i] == nullptr) {
      missing.push_back(s.names[s.positional + i]);
    }
  }
  if (!missing.empty()) raise_missing(s, "keyword-only", missing);
}

void raise_wrong_kind(PyObject* obj, PyTypeObject* expected, const char* param) {
  Ref expected_name = Ref::steal(PyType_GetName(expected));
  Ref message;
  if (obj == Py_None) {
    message = Ref::steal(PyUnicode_FromFormat("'None' is not an instance of '%U'", expected_name.get()));
  } else {
    Ref given_name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
    message = Ref::steal(
        PyUnicode_FromFormat("'%U' object is not an instance of '%U'", given_name.get(), expected_name.get()));
  }
  Ref error = Ref::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (param != nullptr) {
    Ref note = Ref::steal(PyUnicode_FromFormat("while processing '%s'", param));
    Ref ignored = Ref::steal(PyObject_CallMethod(error.get(), "add_note", "O", note.get()));
  }
  raise_object(error.get());
}

std::string_view as_str(PyObject* obj, const char* param) {
  if (obj == nullptr || !PyUnicode_Check(obj)) raise_wrong_kind(obj ? obj : Py_None, &PyUnicode_Type, param);
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
  if (data == nullptr) throw ErrorSet{};
  return {data, static_cast<std::size_t>(size)};
}

std::optional<std::string_view> as_optional_str(PyObject* obj, const char* param) {
  if (obj == nullptr || obj == Py_None) return std::nullopt;
  return as_str(obj, param);
}

Ref make_class(const ClassDef& def, int basicsize, destructor dealloc, traverseproc traverse, inquiry clear) {
  PyType_Slot slots[6];
  int n = 0;
  slots[n++] = {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)};
  if (def.doc != nullptr) slots[n++] = {Py_tp_doc, const_cast<char*>(def.doc)};
  if (def.getset != nullptr) slots[n++] = {Py_tp_getset, def.getset};
  unsigned long flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE;
  if (traverse != nullptr) {
    slots[n++] = {Py_tp_traverse, reinterpret_cast<void*>(traverse)};
    slots[n++] = {Py_tp_clear, reinterpret_cast<void*>(clear)};
    flags |= Py_TPFLAGS_HAVE_GC;
  }
  slots[n] = {0, nullptr};
  PyType_Spec spec = {def.name, basicsize, 0, static_cast<unsigned int>(flags), slots};
  return Ref::steal(PyType_FromSpec(&spec));
}

}  // namespace quenfel::py
