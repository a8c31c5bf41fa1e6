import enum

import pytest
from fakes import NOT_STR, UNSERIALIZABLE, Color, calling, directive, failure_test, raising

import quenfel._quenfel as native
from quenfel._enum import EnumValueDefinition


def test_members_and_their_configuration():
    info = Color.__quenfel_type_info__
    assert (info.kind, info.name, info.description, info.one_of, info.fields) == ("enum", "Color", "Paints", False, [])
    assert [(v.name, v.graphql_name, v.description, v.deprecation_reason) for v in info.enum_values] == [
        ("RED", "CRIMSON", "Warm", "Too loud"), ("GREEN", None, None, None), ("BLUE", None, None, None)]
    assert info.enum_values is not info.enum_values
    assert all(a is b for a, b in zip(info.enum_values, info.enum_values, strict=True))
    with pytest.raises(AttributeError):
        del info.enum_values[0].name


class Empty(enum.Enum):
    pass


class Perm(enum.Flag):
    READ = 1
    WRITE = 2


@pytest.mark.parametrize("cls, name, expected_name, members", [
    (Color, "", "", ["RED", "GREEN", "BLUE"]),
    (Empty, None, "Empty", []),
    (enum.IntEnum("Level", "LOW"), "Priority", "Priority", ["LOW"]),
    (Perm, None, "Perm", ["READ", "WRITE"]),
])
def test_names_and_enum_kinds(cls, name, expected_name, members):
    info = native.process_enum(cls, name=name, directives=iter([directive("d"), "ignored"]))
    assert (info.name, [v.name for v in info.enum_values]) == (expected_name, members)


def configured(**config):
    return enum.Enum("Configured", {"A": EnumValueDefinition(1, **config)})


class Hostile(EnumValueDefinition):
    description = property(raising(LookupError("description failed")), lambda self, value: None)


described = calling(native.process_enum, directives=[])
NOT_AN_ENUM = "'NotAnEnum' is not an enum -- @quenfel.enum can only decorate an enum.Enum subclass"
FAILURES = [
    (described(type("NotAnEnum", (), {})), native.SchemaError, NOT_AN_ENUM),
    # The enum check comes before the directives are read.
    (described(type("NotAnEnum", (), {}), directives=[directive("d", v=())]), native.SchemaError, NOT_AN_ENUM),
    (described(configured(description=5)), TypeError, NOT_STR),
    (described(configured(graphql_name=["A"])), TypeError, "'list' object is not an instance of 'str'"),
    (described(configured(directives=[directive("d", v=())]), directives=[directive("k")]), ValueError,
     UNSERIALIZABLE.format("tuple")),
    # The enum's own directives come before its members.
    (described(configured(description=5), directives=[directive("d", v={1})]), ValueError, UNSERIALIZABLE.format("set")),
    (described(enum.Enum("Hostile", {"A": Hostile(1)})), LookupError, "description failed"),
]


test_failures = failure_test(FAILURES)
