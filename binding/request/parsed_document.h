// Request entry points over the parser: parse_query and the ParsedDocument handle.
#pragma once

#include "binding/python/classes.h"
#include "engine/document.h"

namespace quenfel::py {

// The handle's contents: a shared engine document and the text it came from.
struct PyParsedDocument {
  DocumentPtr document;
  Ref query_text;  // always an exact str

  static const ClassDef py_class;
};

// The ParsedDocument class (borrowed), created once per process.
PyObject* parsed_document_type();

// A new ParsedDocument. `query_text` must be a str; a subclass is copied to an exact str.
Ref new_parsed_document(DocumentPtr document, PyObject* query_text);

// The shared document of an argument that must be a ParsedDocument.
inline const DocumentPtr& as_parsed_document(PyObject* obj, const char* param) {
  return as_instance<PyParsedDocument>(obj, param).document;
}

extern PyMethodDef parse_query_def;

}  // namespace quenfel::py
