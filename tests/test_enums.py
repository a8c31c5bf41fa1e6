import enum
import json
import sys

import pytest

import quenfel._quenfel as native
import quenfel_testhooks as hooks
from quenfel._enum import EnumValueDefinition
from fakes import directive, raising

KEY = directive("key", locations=["ENUM"], fields="id")
SHARED = directive("shared", locations=["ENUM_VALUE"], scope="all")


class Color(enum.Enum):
    RED = EnumValueDefinition(1, graphql_name="CRIMSON", description="Warm", deprecation_reason="Too loud",
                              directives=[SHARED])
    GREEN = 2
    LIME = 2  # an alias: not a member of its own
    BLUE = EnumValueDefinition(3)


def test_members_and_their_configuration():
    info = native.process_enum(Color, description="Paints", directives=[KEY])
    assert (info.kind, info.name, info.description, info.one_of, info.fields) == ("enum", "Color", "Paints", False, [])
    assert [(v.name, v.graphql_name, v.description, v.deprecation_reason) for v in info.enum_values] == [
        ("RED", "CRIMSON", "Warm", "Too loud"),
        ("GREEN", None, None, None),
        ("BLUE", None, None, None),
    ]
    # Directives reach only the hidden definition.
    definition = json.loads(hooks.definition("process_enum", Color, directives=iter([KEY, "ignored"])))
    assert (definition["name"], definition["directives"], definition["enum_values"]) == (
        "Color",
        [["key", [["fields", "id"]]]],
        [["RED", "CRIMSON", [["shared", [["scope", "all"]]]]], ["GREEN", None, []], ["BLUE", None, []]],
    )


class Empty(enum.Enum):
    pass


class Level(enum.IntEnum):
    LOW = 1


class Perm(enum.Flag):
    READ = 1
    WRITE = 2


@pytest.mark.parametrize(
    "cls, name, expected_name, members",
    [
        (Color, "", "", ["RED", "GREEN", "BLUE"]),
        (Empty, None, "Empty", []),
        (Level, "Priority", "Priority", ["LOW"]),
        (Perm, None, "Perm", ["READ", "WRITE"]),
    ],
)
def test_names_and_enum_kinds(cls, name, expected_name, members):
    info = native.process_enum(cls, name=name, directives=())
    assert (info.name, [v.name for v in info.enum_values]) == (expected_name, members)


class NotAnEnum:
    pass


def configured(**config):
    return enum.Enum("Configured", {"A": EnumValueDefinition(1, **config)})


class Hostile(EnumValueDefinition):
    description = property(raising(LookupError("description failed")), lambda self, value: None)


def enum_message(name):
    return f"'{name}' is not an enum -- @quenfel.enum can only decorate an enum.Enum subclass"


@pytest.mark.parametrize(
    "cls, kwargs, error, message",
    [
        (NotAnEnum, {}, native.SchemaError, enum_message("NotAnEnum")),
        # The enum check comes before the directives are read.
        (NotAnEnum, {"directives": [directive("d", v=())]}, native.SchemaError, enum_message("NotAnEnum")),
        (configured(description=5), {}, TypeError, "'int' object is not an instance of 'str'"),
        (configured(graphql_name=["A"]), {}, TypeError, "'list' object is not an instance of 'str'"),
        (configured(directives=[directive("d", v=())]), {}, ValueError,
         "value of type 'tuple' is not JSON-serializable"),
        # The enum's own directives come before its members.
        (configured(description=5), {"directives": [directive("d", v={1})]}, ValueError,
         "value of type 'set' is not JSON-serializable"),
        (enum.Enum("Hostile", {"A": Hostile(1)}), {}, LookupError, "description failed"),
    ],
)
def test_failures(cls, kwargs, error, message):
    with pytest.raises(error) as info:
        native.process_enum(cls, **{"directives": [], **kwargs})
    assert str(info.value) == message


def test_directives_are_required():
    with pytest.raises(TypeError, match=r"^process_enum\(\) missing 1 required keyword-only argument: 'directives'$"):
        native.process_enum(Color)


def test_failures_leave_no_references_behind():
    bad = configured(directives=[directive("d", v=())])
    before = sys.getrefcount(bad), sys.getrefcount(KEY)
    for _ in range(50):
        with pytest.raises(ValueError):
            native.process_enum(bad, directives=[KEY])
        native.process_enum(Color, directives=[KEY])
    assert (sys.getrefcount(bad), sys.getrefcount(KEY)) == before


# ---- The description classes -------------------------------------------------

ATTRIBUTES = {
    "TypeInfo": "kind name description one_of fields enum_values",
    "FieldInfo": "name graphql_name graphql_type type_info description deprecation_reason default_value is_maybe "
    "is_nullable has_resolver parent_parameter info_parameter arguments",
    "ArgumentInfo": "name graphql_name graphql_type type_info is_nullable has_default default_value description "
    "deprecation_reason is_maybe",
    "EnumValueInfo": "name graphql_name description deprecation_reason",
    "GraphQLTypeInfo": "kind name of_type",
    "OperationDirectiveInfo": "name description locations value_parameter info_parameter arguments",
}


@pytest.mark.parametrize("name, attributes", ATTRIBUTES.items())
def test_attributes_in_order(name, attributes):
    cls = getattr(native, name)
    assert [a for a in vars(cls) if not a.startswith("__")] == attributes.split()
    assert (cls.__doc__ is None) == (name != "GraphQLTypeInfo")


def test_views_are_read_only_and_keep_their_identities():
    info = native.process_enum(Color, directives=[])
    with pytest.raises(AttributeError):
        info.name = "Other"
    with pytest.raises(AttributeError):
        del info.enum_values[0].name
    assert info.name == info.name and info.name is not info.name
    assert info.enum_values is not info.enum_values
    assert all(a is b for a, b in zip(info.enum_values, info.enum_values, strict=True))
    assert info.enum_values[0].graphql_name is not info.enum_values[0].graphql_name

