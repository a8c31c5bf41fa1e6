#include "binding/request/query_document.h"

#include <stdexcept>
#include <string>

#include "binding/errors.h"
#include "binding/python/classes.h"
#include "binding/request/names.h"
#include "engine/parser.h"

namespace quenfel::py {

namespace {

// Every attribute is made when the object is; list attributes are stored as
// tuples and handed out as a new list per read, holding the same objects.

struct PyQueryDocument {
  Ref operations, fragments;
  static const ClassDef py_class;
};

struct PyQueryOperation {
  Ref operation_type, name, variables, selections;
  static const ClassDef py_class;
};

struct PyQueryFragment {
  Ref name, type_condition, selections;
  static const ClassDef py_class;
};

struct PyQuerySelection {
  Ref kind, field_name, alias, fragment_name, type_condition, directive_names, selections;
  static const ClassDef py_class;
};

struct PyQueryVariableDefinition {
  Ref name, type_str, has_default;
  static const ClassDef py_class;
};

using D = PyQueryDocument;
PyGetSetDef document_getset[] = {
    list_attribute<D, &D::operations>("operations"),
    list_attribute<D, &D::fragments>("fragments"),
    kAttributesEnd,
};

using O = PyQueryOperation;
PyGetSetDef operation_getset[] = {
    object_attribute<O, &O::operation_type>("operation_type"),
    object_attribute<O, &O::name>("name"),
    list_attribute<O, &O::variables>("variables"),
    list_attribute<O, &O::selections>("selections"),
    kAttributesEnd,
};

using F = PyQueryFragment;
PyGetSetDef fragment_getset[] = {
    object_attribute<F, &F::name>("name"),
    object_attribute<F, &F::type_condition>("type_condition"),
    list_attribute<F, &F::selections>("selections"),
    kAttributesEnd,
};

using S = PyQuerySelection;
PyGetSetDef selection_getset[] = {
    object_attribute<S, &S::kind>("kind"),
    object_attribute<S, &S::field_name>("field_name"),
    object_attribute<S, &S::alias>("alias"),
    object_attribute<S, &S::fragment_name>("fragment_name"),
    object_attribute<S, &S::type_condition>("type_condition"),
    list_attribute<S, &S::directive_names>("directive_names"),
    list_attribute<S, &S::selections>("selections"),
    kAttributesEnd,
};

using V = PyQueryVariableDefinition;
PyGetSetDef variable_getset[] = {
    object_attribute<V, &V::name>("name"),
    object_attribute<V, &V::type_str>("type_str"),
    object_attribute<V, &V::has_default>("has_default"),
    kAttributesEnd,
};

// The declared type as GraphQL writes it, without the source's spacing: "[ID!]!".
void append_type(std::string& out, const TypeRef& type) {
  if (type.kind() == TypeRef::Kind::List) {
    out += '[';
    append_type(out, type.item());
    out += ']';
  } else {
    out += type.name();
  }
  if (!type.nullable()) out += '!';
}

// Builds the view of one document. Names are shared strs, so a view of a
// large document costs its objects and little more.
class ViewBuilder {
 public:
  Ref document(const Document& document) {
    return make_instance<PyQueryDocument>(tuple_of(document.operations(), [&](auto& o) { return operation(o); }),
                                          tuple_of(document.fragments(), [&](auto& f) { return fragment(f); }));
  }

 private:
  Ref operation(const OperationDefinition& operation) {
    return make_instance<PyQueryOperation>(
        str(operation_type_name(operation.type)), operation.is_anonymous() ? none() : names_.get(operation.name),
        tuple_of(operation.variables, [&](auto& v) { return variable(v); }), selections(operation.selection_set));
  }

  Ref fragment(const FragmentDefinition& fragment) {
    return make_instance<PyQueryFragment>(names_.get(fragment.name), names_.get(fragment.type_condition),
                                          selections(fragment.selection_set));
  }

  Ref variable(const VariableDefinition& variable) {
    std::string type_str;
    append_type(type_str, *variable.type);
    return make_instance<PyQueryVariableDefinition>(names_.get(variable.name), str(type_str),
                                                    boolean(variable.default_value != nullptr));
  }

  // Recursion follows the nesting of selection sets, which the parser bounds.
  Ref selections(const SelectionSet& set) {
    return tuple_of(set.items, [&](const Selection& s) { return selection(s); });
  }

  Ref selection(const Selection& selection) {
    Ref directive_names = tuple_of(selection.directives(), [&](const Directive& d) { return names_.get(d.name()); });
    switch (selection.kind()) {
      case SelectionKind::Field:
        return make_instance<PyQuerySelection>(names_.get("field"), names_.get(selection.name()),
                                               selection.has_alias() ? names_.get(selection.alias()) : none(), none(),
                                               none(), std::move(directive_names),
                                               selections(selection.selection_set()));
      case SelectionKind::FragmentSpread:
        return make_instance<PyQuerySelection>(names_.get("fragment_spread"), none(), none(),
                                               names_.get(selection.name()), none(), std::move(directive_names),
                                               new_tuple(0));
      case SelectionKind::InlineFragment:
        return make_instance<PyQuerySelection>(
            names_.get("inline_fragment"), none(), none(), none(),
            selection.has_type_condition() ? names_.get(selection.name()) : none(), std::move(directive_names),
            selections(selection.selection_set()));
    }
    throw std::logic_error("unknown selection kind");
  }

  Names names_;
};

constexpr Signature<1> kParseQueryDocument{"parse_query_document", {"query"}, 1, 1};

PyObject* parse_query_document(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kParseQueryDocument, args, nargs, kwnames);
    Result<DocumentPtr> parsed = parse_document(as_str(arguments[0], "query"));
    if (!parsed) return set_graphql_error(parsed.take_error());
    return ViewBuilder().document(**parsed);
  });
}

}  // namespace

const ClassDef PyQueryDocument::py_class = {"quenfel._quenfel.QueryDocument", nullptr, document_getset};
const ClassDef PyQueryOperation::py_class = {"quenfel._quenfel.QueryOperation", nullptr, operation_getset};
const ClassDef PyQueryFragment::py_class = {"quenfel._quenfel.QueryFragment", nullptr, fragment_getset};

const ClassDef PyQuerySelection::py_class = {
    "quenfel._quenfel.QuerySelection",
    "One selection inside a selection set: a field, a named fragment spread or an\n"
    "inline fragment, told apart by kind. Only the attributes of that kind are filled\n"
    "in; the others are None. One flat Python shape instead of a tagged union.\n\n"
    "Fragment spreads are not flattened here, unlike the lowered field plans that\n"
    "execution uses, because code generation wants each named fragment as a reusable\n"
    "unit of its own. fragment_name is left for the caller to look up in the\n"
    "document's fragments list.",
    selection_getset,
};

const ClassDef PyQueryVariableDefinition::py_class = {
    "quenfel._quenfel.QueryVariableDefinition",
    "One variable definition of an operation's own parameter list, such as\n"
    "`$slug: String!`.\n\n"
    "type_str is the type as the query declares it, not resolved against any schema:\n"
    "code generation, the only consumer of this view, works from the query text alone.",
    variable_getset,
};

PyObject* query_document_type() { return type_object<PyQueryDocument>(); }
PyObject* query_operation_type() { return type_object<PyQueryOperation>(); }
PyObject* query_fragment_type() { return type_object<PyQueryFragment>(); }
PyObject* query_selection_type() { return type_object<PyQuerySelection>(); }
PyObject* query_variable_definition_type() { return type_object<PyQueryVariableDefinition>(); }

PyMethodDef parse_query_document_def = function_def(
    "parse_query_document", parse_query_document,
    "parse_query_document(query)\n--\n\n"
    "Parse query into its structural document shape: its operations, each with its own\n"
    "variable definitions and selection set, plus every named fragment definition, for\n"
    "quenfel.codegen to walk. Schema-agnostic like lower_query: resolving a selection's\n"
    "GraphQL type against a real schema is the code generator's own job, done in Python\n"
    "against the schema's types_by_name, not this parsing step's.");

}  // namespace quenfel::py
