import dataclasses
from typing import Annotated, ForwardRef, Optional, Union

import pytest
from fakes import MEMBER_ERROR, NOT_STR, calling, decorated, failure_test, field

import quenfel._quenfel as native
from quenfel._lazy import LazyReference
from quenfel._union import UnionDefinition

A, B, Renamed = decorated("A"), decorated("B"), decorated("Renamed", graphql_name="Other")
Input, NoKind = decorated("Input", kind="input"), decorated("NoKind", kind=b"type")
LATER = LazyReference(__name__)


@pytest.mark.parametrize("annotation, name, description, members, custom", [
    (Union[A, Renamed], "AOther", None, ["A", "Other"], False),
    (A | B | A, "AB", None, ["A", "B"], False),
    (A, "A", None, ["A"], False),
    (Annotated[Union[A, B], UnionDefinition("Pet", description="Pets", resolve_type=len)],
     "Pet", "Pets", ["A", "B"], True),
    (Annotated[Union[A, B], UnionDefinition("Pet", resolve_type=None)], "Pet", None, ["A", "B"], False),
    (Annotated[A, "doc", UnionDefinition("Only"), UnionDefinition("Second")], "Only", None, ["A"], False),
    # A lazy member is what its marker makes of the forward reference: named by
    # the class it resolves to, else by its type_name.
    (Union[A, Annotated["B", LATER]], "AB", None, ["A", "B"], False),
    (Union[A, Annotated[ForwardRef("Gone"), LATER]], "AGone", None, ["A", "Gone"], False),
    (Union[A, Annotated[B, LATER]], "AB", None, ["A", "B"], False),
])
def test_describe_union(annotation, name, description, members, custom):
    info = native.describe_union(annotation)
    assert (info.name, info.description, info.member_names, info.has_custom_resolve_type) == (
        name, description, members, custom)
    assert info.member_names is not info.member_names


# ---- describe_schema_directive ----------------------------------------------------


@dataclasses.dataclass
class CacheControl:
    max_age: int = field(graphql_name="maxAge")
    scopes: list[int] = field()
    note: Optional[str] = None


def test_describe_schema_directive():
    info = native.describe_schema_directive(
        CacheControl, locations=("OBJECT", "FIELD_DEFINITION", "OBJECT"), description="Caching", repeatable=True)
    assert (info.name, info.description, info.locations, info.repeatable) == (
        "cacheControl", "Caching", ["OBJECT", "FIELD_DEFINITION", "OBJECT"], True)
    fields = [(f.name, f.graphql_name, f.graphql_type) for f in info.fields]
    assert fields == [("max_age", "maxAge", "Int!"), ("scopes", None, "[Int!]!"), ("note", None, "String")]
    assert info.fields[0] is not info.fields[0] and info.locations is not info.locations


@pytest.mark.parametrize("class_name, name, expected", [("XMLTag", None, "xMLTag"), ("_Key", None, "_Key"),
                                                        ("\u0130d", None, "i\u0307d"), ("Key", "", "")])
def test_directive_names(class_name, name, expected):
    cls = dataclasses.dataclass(type(class_name, (), {}))
    info = native.describe_schema_directive(cls, locations=[], name=name)
    assert (info.name, info.fields) == (expected, [])


def test_unresolvable_hints_fall_back_to_the_declared_types():
    cls = dataclasses.dataclass(type("Postponed", (), {"__annotations__": {"a": "Missing", "b": "int"}}))
    info = native.describe_schema_directive(cls, locations=["SCHEMA"])
    assert [f.graphql_type for f in info.fields] == ["Missing!", "int!"]


union, schema_directive = calling(native.describe_union), calling(native.describe_schema_directive, cls=CacheControl)


FAILURES = [(union(annotation), native.SchemaError, MEMBER_ERROR.format(member)) for annotation, member in [
    (Union[A, B, None], "NoneType"), (Union[A, int], "Int"), (Union[Input, A], "Input"), (Union[A, NoKind], "NoKind"),
    (Annotated[int, LATER], "Int"), (Union[A, Annotated[B, "doc"]], "Annotated")]] + [
    (union(Annotated[A, UnionDefinition(5)]), TypeError, NOT_STR),
    (union(Annotated[A, UnionDefinition("U", description=b"x")]), TypeError, "'bytes' object is not an instance of 'str'"),
    (schema_directive(locations=["object"]), native.SchemaError, "unknown schema directive location 'object'"),
    # The locations are read before the class.
    (schema_directive(cls=int, locations=["OBJECT", "NOWHERE"]), native.SchemaError,
     "unknown schema directive location 'NOWHERE'"),
    (schema_directive(cls=int, locations=[]), TypeError, "must be called with a dataclass type or instance"),
    (schema_directive(locations="OBJECT"), TypeError, "Can't extract `str` to `Vec`", "locations"),
    (schema_directive(locations={"OBJECT"}), TypeError, "'set' object is not an instance of 'Sequence'", "locations"),
    (schema_directive(locations=["OBJECT", 1]), TypeError, NOT_STR, "locations"),
    (schema_directive(cls=1, locations="OBJECT"), TypeError, "'int' object is not an instance of 'type'", "cls"),
]


test_failures = failure_test(FAILURES)
