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
    assert json.loads(hooks.enum_definition(Color, directives=iter([KEY, "ignored"]))) == [
        "Color",
        [["key", [["fields", "id"]]]],
        [["RED", "CRIMSON", [["shared", [["scope", "all"]]]]], ["GREEN", None, []], ["BLUE", None, []]],
    ]


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

    sample = hooks.sample_type_info()
    tags, note = sample.fields
    assert (sample.kind, sample.name, sample.one_of, sample.enum_values) == ("type", "Query", True, [])
    assert [(f.name, f.graphql_name, f.graphql_type, f.is_nullable, f.has_resolver, f.parent_parameter,
             f.default_value, f.is_maybe) for f in (tags, note)] == [
        ("tags", "allTags", "[Int!]!", False, True, "root", None, False),
        ("note", None, "String", True, False, None, '"x"', True),
    ]
    assert tags.type_info is tags.type_info and tags.arguments[0] is tags.arguments[0]
    chain, node = [], tags.type_info
    while node is not None:
        chain.append((node.kind, node.name))
        assert node.of_type is node.of_type
        node = node.of_type
    assert chain == [("NON_NULL", None), ("LIST", None), ("NON_NULL", None), ("NAMED", "Int")]
    (limit,) = tags.arguments
    assert [getattr(limit, a) for a in ATTRIBUTES["ArgumentInfo"].split() if a != "type_info"] == [
        "limit", None, "Int", True, True, "10", "How many", None, False,
    ]
    assert (limit.type_info.kind, limit.type_info.of_type) == ("NAMED", None)
