#include "binding/python/arguments.h"

#include <string>
#include <vector>

namespace quenfel::py {

namespace {

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

void raise_type_error(Ref message, const char* param) {
  Ref error = Ref::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (param != nullptr) {
    Ref note = Ref::steal(PyUnicode_FromFormat("while processing '%s'", param));
    Ref ignored = Ref::steal(PyObject_CallMethod(error.get(), "add_note", "O", note.get()));
  }
  raise_object(error.get());
}

void raise_wrong_kind(PyObject* obj, PyTypeObject* expected, const char* param) {
  Ref expected_name = Ref::steal(PyType_GetName(expected));
  if (obj == Py_None) {
    raise_type_error(Ref::steal(PyUnicode_FromFormat("'None' is not an instance of '%U'", expected_name.get())), param);
  }
  Ref given_name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
  raise_type_error(
      Ref::steal(PyUnicode_FromFormat("'%U' object is not an instance of '%U'", given_name.get(), expected_name.get())),
      param);
}

void expect_sequence(PyObject* obj, const char* param) {
  // A str is a sequence of str, but never what a list of names means.
  if (PyUnicode_Check(obj)) raise_type_error(str("Can't extract `str` to `Vec`"), param);
  if (PySequence_Check(obj)) return;
  Ref abc = import("collections.abc");
  Ref sequence = getattr(abc.get(), "Sequence");
  // Only a replaced collections.abc.Sequence is no class.
  PyTypeObject* expected = PyType_Check(sequence.get()) ? reinterpret_cast<PyTypeObject*>(sequence.get()) : &PyList_Type;
  raise_wrong_kind(obj, expected, param);
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

}  // namespace quenfel::py
