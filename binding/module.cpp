#include <Python.h>

namespace {

int exec_module(PyObject*) { return 0; }

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_quenfel", "", 0, nullptr, slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__quenfel() { return PyModuleDef_Init(&module_def); }
