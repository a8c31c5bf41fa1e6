// Module functions: METH_FASTCALL | METH_KEYWORDS definitions, argument
// parsing with the interpreter's own TypeError wording, and checks of
// argument kinds (as_str() and friends).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "binding/python/objects.h"

namespace quenfel::py {

using FastcallFunction = PyObject* (*)(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The definition of a METH_FASTCALL | METH_KEYWORDS module function; `doc`
// starts with its text signature ("name(sig)\n--\n\n").
inline PyMethodDef function_def(const char* name, FastcallFunction body, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(body)), METH_FASTCALL | METH_KEYWORDS, doc};
}

// A function's parameters: positional-or-keyword names, then keyword-only names.
//   constexpr Signature<3> kLowerQuery{"lower_query", {"query", "variable_values", "operation_name"}, 1, 1, 0b01};
template <std::size_t N>
struct Signature {
  const char* function;                 // for messages: "lower_query"
  std::array<const char*, N> names;     // positional names, then keyword-only names
  unsigned char positional;             // how many names are positional-or-keyword
  unsigned char required;               // how many leading positional names are required
  std::uint32_t required_keywords = 0;  // bit i: keyword-only name i is required
};

struct ParameterList {
  const char* function;
  const char* const* names;
  std::size_t total, positional, required;
  std::uint32_t required_keywords;
};

// Matches a fastcall's arguments to the names: out[i] is the borrowed argument
// for names[i], or null when absent. Raises the TypeError that a pure-Python
// function with these parameters would raise.
void parse_arguments(const ParameterList& parameters, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out);

template <std::size_t N>
class Arguments {
 public:
  Arguments(const Signature<N>& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == s.positional && s.required_keywords == 0) {
      // The common call: every positional argument, nothing by keyword.
      for (std::size_t i = 0; i < N; ++i) values_[i] = i < s.positional ? args[i] : nullptr;
    } else {
      parse_arguments({s.function, s.names.data(), N, s.positional, s.required, s.required_keywords}, args, nargs,
                      kwnames, values_);
    }
  }
  // Borrowed; null when the argument was not given.
  PyObject* operator[](std::size_t i) const { return values_[i]; }

 private:
  PyObject* values_[N > 0 ? N : 1];
};

// Raises TypeError with the message and the note "while processing '{param}'"
// (no note when `param` is null).
[[noreturn]] void raise_type_error(Ref message, const char* param);

// Raises TypeError "'{type}' object is not an instance of '{expected}'" (or
// "'None' is not an instance of '{expected}'") with the note "while processing '{param}'";
// without the note when `param` is null (a value that is no argument, such as a dict key).
[[noreturn]] void raise_wrong_kind(PyObject* obj, PyTypeObject* expected, const char* param);

inline void expect_instance(PyObject* obj, PyTypeObject* expected, const char* param) {
  if (obj == nullptr || !PyObject_TypeCheck(obj, expected)) raise_wrong_kind(obj ? obj : Py_None, expected, param);
}

// Refuses what is not a sequence argument: a str (TypeError "Can't extract
// `str` to `Vec`"), or an object that is not a sequence (a set, a dict, a
// generator), as not an instance of collections.abc.Sequence.
void expect_sequence(PyObject* obj, const char* param);

// The UTF-8 text of a str argument (a str subclass is accepted); valid while `obj` lives.
// `param` may be null as for raise_wrong_kind.
std::string_view as_str(PyObject* obj, const char* param);
// As as_str, with an absent argument or None meaning no value.
std::optional<std::string_view> as_optional_str(PyObject* obj, const char* param);

// A bool argument (only True or False), or `absent` when it was not given.
inline bool as_bool(PyObject* obj, const char* param, bool absent) {
  if (obj == nullptr) return absent;
  if (!PyBool_Check(obj)) raise_wrong_kind(obj, &PyBool_Type, param);
  return obj == Py_True;
}

}  // namespace quenfel::py
