#include "binding/schema/unions.h"

#include <string>
#include <vector>

#include "binding/schema/annotations.h"
#include "binding/schema/reading.h"

namespace quenfel::py {

namespace {

Ref import_attribute(const char* module, Name name) { return getattr(import(module).get(), name); }

// A member written as Annotated[ForwardRef, LazyReference(...)] becomes what
// the marker makes of the reference; with the marker and another base, the
// base. Anything else stays as written.
Ref normalize_lazy_member(PyObject* typing, PyObject* member) {
  Ref origin = get_origin(typing, member);
  Ref annotated = getattr(typing, "Annotated");
  if (origin.get() != annotated.get()) return Ref::borrow(member);
  Unwrapped unwrapped = unwrap_annotated(typing, member, origin.get());
  Ref reference_class = import_attribute("quenfel._lazy", "LazyReference");
  Ref marker = find_marker(unwrapped.metadata.get(), reference_class.get());
  if (!marker) return Ref::borrow(member);
  Ref forward_ref = getattr(typing, "ForwardRef");
  const int is_forward_ref = PyObject_IsInstance(unwrapped.base.get(), forward_ref.get());
  check(is_forward_ref);
  if (is_forward_ref == 0) return std::move(unwrapped.base);
  return Ref::steal(PyObject_CallMethod(marker.get(), "resolve_forward_ref", "(O)", unwrapped.base.get()));
}

// A lazy reference, or a class decorated as an object type ("type").
void check_member(PyObject* member) {
  const int lazy = PyObject_IsInstance(member, lazy_type_class());
  check(lazy);
  if (lazy == 1) return;
  if (Ref info = try_getattr(member, "__quenfel_type_info__")) {
    Ref kind = try_getattr(info.get(), "kind");
    if (kind && PyUnicode_Check(kind.get()) && PyUnicode_CompareWithASCIIString(kind.get(), "type") == 0) return;
  }
  raise_schema_error("union member '" + named_type_name(member) +
                     "' is not a '@quenfel.type'-decorated object type; GraphQL unions may only contain object types");
}

Ref optional_str(const std::optional<std::string>& text) { return text ? str(*text) : Ref(); }

constexpr Signature<1> kDescribeUnion{"describe_union", {"annotation"}, 1, 1};

PyObject* describe_union(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<1> arguments(kDescribeUnion, args, nargs, kwnames);
    UnionDefinition definition = describe_union_definition(arguments[0]);
    Ref name = str(definition.name);
    Ref description = optional_str(definition.description);
    Ref member_names = tuple_of(definition.members, [](const std::string& member) { return str(member); });
    const bool custom = definition.has_custom_resolve_type;
    return make_instance<PyUnionInfo>(std::move(definition), std::move(name), std::move(description),
                                      std::move(member_names), custom);
  });
}

PyGetSetDef union_info_getset[] = {
    object_attribute<PyUnionInfo, &PyUnionInfo::name>("name"),
    optional_attribute<PyUnionInfo, &PyUnionInfo::description>("description"),
    list_attribute<PyUnionInfo, &PyUnionInfo::member_names>("member_names"),
    scalar_attribute<PyUnionInfo, &PyUnionInfo::has_custom_resolve_type>("has_custom_resolve_type"),
    kAttributesEnd,
};

}  // namespace

UnionDefinition describe_union_definition(PyObject* annotation) {
  Ref typing = import("typing");
  Unwrapped unwrapped = unwrap_annotated(typing.get(), annotation);
  Ref declaration_class = import_attribute("quenfel._union", "UnionDefinition");
  Ref declaration = find_marker(unwrapped.metadata.get(), declaration_class.get());

  Ref inner_origin = get_origin(typing.get(), unwrapped.base.get());
  Ref members;
  if (is_union_origin(inner_origin.get())) {
    members = arguments_list(typing.get(), unwrapped.base.get());
  } else {
    members = new_list(1);
    list_set(members.get(), 0, std::move(unwrapped.base));
  }
  // Every member is normalised, then every one checked, then named: the first failure wins.
  const Py_ssize_t count = PyList_Size(members.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    list_set(members.get(), i, normalize_lazy_member(typing.get(), PyList_GetItem(members.get(), i)));
  }
  for (Py_ssize_t i = 0; i < count; ++i) check_member(PyList_GetItem(members.get(), i));
  UnionDefinition definition;
  for (Py_ssize_t i = 0; i < count; ++i) {
    definition.members.push_back(named_type_name(PyList_GetItem(members.get(), i)));
  }

  if (declaration) {
    definition.name = read_str(declaration.get(), "name");
    definition.description = read_optional_str(declaration.get(), "description");
    Ref resolve_type = getattr(declaration.get(), "resolve_type");
    definition.has_custom_resolve_type = resolve_type.get() != Py_None;
  } else {
    for (const std::string& member : definition.members) definition.name += member;
  }
  return definition;
}

const ClassDef PyUnionInfo::py_class = {"quenfel._quenfel.UnionInfo", nullptr, union_info_getset};

PyObject* union_info_type() { return type_object<PyUnionInfo>(); }

PyMethodDef describe_union_def = function_def(
    "describe_union", describe_union,
    "describe_union(annotation)\n--\n\n"
    "Describe a union annotation as a UnionInfo.\n\n"
    "A union is declared in one of two forms:\n\n"
    "- a bare union of '@quenfel.type'-decorated object types, such as Union[A, B, C]\n"
    "  or A | B | C, named by concatenating its member names (\"ABC\"); a single type\n"
    "  with a declaration, Annotated[A, quenfel.union(...)], is a one-member union, as\n"
    "  the typing module has no distinct one-type union;\n"
    "- Annotated[Union[A, B, C], quenfel.union(...)], whose declaration gives the\n"
    "  name, a description and a custom resolve_type.");

}  // namespace quenfel::py
