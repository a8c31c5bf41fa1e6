#include "binding/schema/enums.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/schema/applied_directives.h"
#include "binding/schema/reading.h"
#include "binding/schema/type_views.h"

namespace quenfel::py {

namespace {

// A member's record. A value configured with the host's EnumValueDefinition
// gives its name, texts and directives; any other value plays no part.
EnumValueDefinition member_definition(PyObject* member, PyObject* configured_class) {
  EnumValueDefinition definition{read_str(member, "name"), {}, {}, {}, {}};
  Ref value = getattr(member, "value");
  const int configured = PyObject_IsInstance(value.get(), configured_class);
  check(configured);
  if (configured == 0) return definition;
  definition.graphql_name = read_optional_str(value.get(), "graphql_name");
  definition.description = read_optional_str(value.get(), "description");
  definition.deprecation_reason = read_optional_str(value.get(), "deprecation_reason");
  Ref directives = getattr(value.get(), "directives");
  definition.directives = extract_applied_directives(directives.get());
  return definition;
}

constexpr Signature<4> kProcessEnum{"process_enum", {"cls", "name", "description", "directives"}, 1, 1, 0b100};

PyObject* process_enum(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&] {
    Arguments<4> arguments(kProcessEnum, args, nargs, kwnames);
    PyObject* cls = arguments[0];
    expect_instance(cls, &PyType_Type, "cls");
    std::optional<std::string> name(as_optional_str(arguments[1], "name"));
    std::optional<std::string> description(as_optional_str(arguments[2], "description"));
    PyObject* directives = arguments[3];

    Ref enum_module = import("enum");
    Ref enum_meta = getattr(enum_module.get(), "EnumMeta");
    const int is_enum = PyObject_IsInstance(cls, enum_meta.get());
    check(is_enum);
    if (is_enum == 0) {
      raise_schema_error("'" + read_str(cls, "__name__") +
                         "' is not an enum -- @quenfel.enum can only decorate an enum.Enum subclass");
    }

    TypeDefinition definition;
    definition.kind = TypeKind::Enum;
    definition.directives = extract_applied_directives(directives);
    Ref host = import("quenfel._enum");
    Ref configured_class = getattr(host.get(), "EnumValueDefinition");
    // Iterating an enum yields each canonical member once: aliases are left out.
    for_each_item(cls, [&](PyObject* member) {
      definition.enum_values.push_back(member_definition(member, configured_class.get()));
    });
    definition.name = name ? std::move(*name) : read_str(cls, "__name__");
    definition.description = std::move(description);
    return new_type_info(std::move(definition));
  });
}

}  // namespace

PyMethodDef process_enum_def = function_def(
    "process_enum", process_enum,
    "process_enum(cls, *, name=None, description=None, directives)\n--\n\n"
    "Build the TypeDefinition of an enum.Enum subclass: the enum counterpart of process_type,\n"
    "called by the host once per decorated class.\n\n"
    "A member's GraphQL name is its Python identifier, not its value: a GraphQL enum travels\n"
    "by member name, while the value stays a detail that resolvers may use as they like.\n"
    "quenfel.enum_value(...), assigned as a member's value, overrides that name and adds a\n"
    "description, a deprecation reason and directives; that is why each member is checked\n"
    "for one before falling back to its identifier.");

}  // namespace quenfel::py
