#include "binding/python/classes.h"

namespace quenfel::py {

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
