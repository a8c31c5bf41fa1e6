// The module's entry: multi-phase initialisation with one exec slot that
// registers the functions, classes and exception types in a fixed order, in
// the one interpreter of the process that loads it first.
#include <atomic>
#include <cstdint>
#include <stdexcept>

#include "binding/errors.h"
#include "binding/python/arguments.h"
#include "binding/python/boundary.h"
#include "binding/request/lowering.h"
#include "binding/request/parsed_document.h"
#include "binding/request/persisted_query.h"
#include "binding/request/query_document.h"
#include "binding/request/validation.h"
#include "binding/schema/compiled_schema.h"
#include "binding/schema/enums.h"
#include "binding/schema/operation_directives.h"
#include "binding/schema/schema_directives.h"
#include "binding/schema/type_views.h"
#include "binding/schema/types.h"
#include "binding/schema/unions.h"

namespace quenfel::py {

namespace {

// One entry per name, in the order that __all__ lists them. A function gives
// its definition; a class or exception type gives the getter of its
// process-wide type object.
struct Registration {
  const char* name;
  PyMethodDef* function;
  PyObject* (*type)();
};

const Registration kRegistrations[] = {
    {"process_type", &process_type_def, nullptr},
    {"process_enum", &process_enum_def, nullptr},
    {"TypeInfo", nullptr, type_info_type},
    {"FieldInfo", nullptr, field_info_type},
    {"ArgumentInfo", nullptr, argument_info_type},
    {"EnumValueInfo", nullptr, enum_value_info_type},
    {"GraphQLTypeInfo", nullptr, graphql_type_info_type},
    {"SchemaError", nullptr, schema_error_type},
    {"GraphQLError", nullptr, graphql_error_type},
    {"describe_union", &describe_union_def, nullptr},
    {"UnionInfo", nullptr, union_info_type},
    {"describe_schema_directive", &describe_schema_directive_def, nullptr},
    {"SchemaDirectiveInfo", nullptr, schema_directive_info_type},
    {"DirectiveFieldInfo", nullptr, directive_field_info_type},
    {"lower_query", &lower_query_def, nullptr},
    {"LoweredField", nullptr, lowered_field_type},
    {"LoweredDirective", nullptr, lowered_directive_type},
    {"describe_operation_directive", &describe_operation_directive_def, nullptr},
    {"OperationDirectiveInfo", nullptr, operation_directive_info_type},
    {"compile_schema", &compile_schema_def, nullptr},
    {"CompiledSchema", nullptr, compiled_schema_type},
    {"validate_query", &validate_query_def, nullptr},
    {"resolve_persisted_query", &resolve_persisted_query_def, nullptr},
    {"lower_document", &lower_document_def, nullptr},
    {"parse_query", &parse_query_def, nullptr},
    {"validate_document", &validate_document_def, nullptr},
    {"ParsedDocument", nullptr, parsed_document_type},
    {"PersistedQueryResult", nullptr, persisted_query_result_type},
    {"render_sdl", &render_sdl_def, nullptr},
    {"parse_query_document", &parse_query_document_def, nullptr},
    {"QueryDocument", nullptr, query_document_type},
    {"QueryOperation", nullptr, query_operation_type},
    {"QueryFragment", nullptr, query_fragment_type},
    {"QuerySelection", nullptr, query_selection_type},
    {"QueryVariableDefinition", nullptr, query_variable_definition_type},
};

// The module's __all__, created empty and set when it does not exist yet.
Ref all_list(PyObject* module) {
  if (PyObject* all = PyObject_GetAttrString(module, "__all__")) return Ref::steal(all);
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw ErrorSet{};
  PyErr_Clear();
  Ref all = new_list(0);
  check(PyObject_SetAttrString(module, "__all__", all.get()));
  return all;
}

void add(PyObject* module, const char* name, PyObject* value) {
  Ref all = all_list(module);
  Ref key = str(name);
  if (PyList_Append(all.get(), key.get()) < 0) {
    PyErr_Clear();
    throw std::runtime_error("could not append __name__ to __all__");
  }
  check(PyObject_SetAttr(module, key.get(), value));
}

void register_all(PyObject* module) {
  Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  for (const Registration& entry : kRegistrations) {
    if (entry.function != nullptr) {
      // Bound to the module, so that __module__ is the module's name.
      Ref function = Ref::steal(PyCFunction_NewEx(entry.function, module, module_name.get()));
      add(module, entry.name, function.get());
    } else {
      add(module, entry.name, entry.type());
    }
  }
}

// The interpreter that first loaded the module, or -1. The type objects are
// process-wide and belong to it: another interpreter must not share them, as
// the owner may be torn down first.
std::atomic<std::int64_t> owner_interpreter{-1};

void claim_interpreter() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id < 0) throw ErrorSet{};
  std::int64_t owner = -1;
  if (owner_interpreter.compare_exchange_strong(owner, id) || owner == id) return;
  PyErr_Format(PyExc_ImportError,
               "quenfel._quenfel cannot be loaded in more than one interpreter per process: "
               "interpreter %lld has it loaded",
               static_cast<long long>(owner));
  throw ErrorSet{};
}

int exec_module(PyObject* module) {
  return guard([&] {
    claim_interpreter();
    watch_interpreter_exit();
    register_all(module);
    return 0;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_quenfel", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace quenfel::py

PyMODINIT_FUNC PyInit__quenfel() { return PyModuleDef_Init(&quenfel::py::module_def); }
