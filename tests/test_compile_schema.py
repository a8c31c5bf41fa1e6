import dataclasses
import datetime
import decimal
import enum
from typing import Annotated, Optional, Union

import pytest
from fakes import compiled, directive, field, host_type

import quenfel._quenfel as native
from quenfel import ID
from quenfel._error import GraphQLError
from quenfel._resolver import Info, Parent
from quenfel._union import UnionDefinition
from quenfel.directive import DirectiveValue

TAG = directive("tag", locations=["OBJECT", "SCALAR", "SCHEMA"], label="x")


@dataclasses.dataclass
class Tag:
    label: str


def shout(value: DirectiveValue[str], times: int = 1) -> str:
    return value * times


class Color(enum.Enum):
    RED = 1
    GREEN = 2


Color.__quenfel_type_info__ = native.process_enum(Color, directives=[])


@host_type(kind="interface")
class Node:
    id: ID


@host_type(kind="input")
class Filter:
    color: Color = Color.RED
    since: Optional[datetime.date] = None


def pets(root: Parent["Owner"], info: Info, first: int = 10, where: Optional[Filter] = None) -> list["Pet"]:
    return []


@host_type(directives=[TAG])
class Pet(Node):
    name: str


@host_type()
class Owner(Node):
    full_name: str
    pets: list[Pet] = field(resolver=pets)


@host_type()
class Query:
    owner: Optional[Owner] = None
    hits: list[Union[Owner, Pet]] = field(default_factory=list)


UNION = native.describe_union(Union[Owner, Pet])
LIBRARY = (Node, Color, Filter, Pet, Owner, Query, UNION,
           native.describe_operation_directive(shout, locations=["FIELD"]),
           native.describe_schema_directive(Tag, locations=["OBJECT", "SCALAR", "SCHEMA"]))
SCHEMA = compiled(*LIBRARY, scalar_names=["ID", "String", "Int"], schema_applied_directives=(t for t in [TAG]),
                  scalar_directives=[("ID", [TAG])], scalar_specified_by_urls=[("ID", "https://id")])
LIBRARY_SDL = '''schema @tag(label: "x") {
  query: Query
}

enum Color {
  RED
  GREEN
}

input Filter {
  color: Color! = RED
  since: Date = null
}

interface Node {
  id: ID!
}

type Owner implements Node {
  id: ID!
  fullName: String!
  pets(first: Int! = 10, where: Filter = null): [Pet!]!
}

type Pet implements Node @tag(label: "x") {
  id: ID!
  name: String!
}

type Query {
  owner: Owner
  hits: [OwnerPet!]!
}

union OwnerPet = Owner | Pet

"""Date (isoformat)"""
scalar Date

scalar ID @specifiedBy(url: "https://id") @tag(label: "x")

scalar Int

scalar String

directive @shout(times: Int! = 1) on FIELD

directive @tag(label: String!) on OBJECT | SCALAR | SCHEMA'''


def test_declarations_compile_to_their_sdl():
    assert native.render_sdl(SCHEMA) == native.render_sdl(schema=SCHEMA) == LIBRARY_SDL


def test_declarations_to_lowered_fields():
    document = native.parse_query("""query Q($n: Int!, $where: Filter) {
      owner { pets(first: $n, where: $where) { name @shout(times: 2) } } hits { ... on Pet { id } } }""")
    assert native.validate_document(document, SCHEMA) is None
    where = {"color": "GREEN"}
    _, [owner, hits] = native.lower_document(document, variable_values={"n": 3, "where": where})
    [pets] = owner.selections
    assert (pets.field_name, pets.arguments) == ("pets", {"first": 3, "where": where}) and pets.arguments["where"] is where
    assert [(d.name, d.arguments) for d in pets.selections[0].directives] == [("shout", {"times": 2})]
    assert [(f.field_name, f.type_condition) for f in hits.selections] == [("id", "Pet")]


def outcome(call, *args):
    try:
        return call(*args)
    except GraphQLError as error:
        return error.code.name, error.message, error.locations


TWO = "query A { owner { id } } query B { nope }"


@pytest.mark.parametrize(
    "query, operation_name, expected",
    [
        ("{ owner { id } }", None, None),
        (TWO, "A", None),
        (TWO, "B", ("UNKNOWN_FIELD", "field 'nope' does not exist on type 'Query'", [(1, 36)])),
        ('{ owner { pets(first: "2") { name } } }', None,
         ("ARGUMENT_TYPE_MISMATCH", "argument 'first' on 'pets' expected an integer, got a string", [(1, 23)])),
        ("{ owner { ...F @shout } } fragment F on Owner { id }", None,
         ("INVALID_DIRECTIVE_LOCATION", "directive '@shout' is not allowed at this location (FRAGMENT_SPREAD)",
          [(1, 16)])),
    ],
)
def test_validate_query_and_validate_document_agree(query, operation_name, expected):
    assert outcome(native.validate_query, query, SCHEMA, operation_name) == expected
    assert outcome(native.validate_document, native.parse_query(query), SCHEMA, operation_name) == expected


# ---- compile_schema -------------------------------------------------------------


def test_later_definitions_replace_earlier_ones():
    query = native.process_type(Tag, kind="type", name="Query", directives=[])
    union = native.describe_union(Annotated[Union[Pet, Owner], UnionDefinition("OwnerPet")])
    sdl = native.render_sdl(compiled(Query, query, Node, Owner, Pet, UNION, union))
    assert "type Query {\n  label: String!\n}" in sdl and "union OwnerPet = Pet | Owner" in sdl


def window(after: datetime.time) -> str:
    return ""


@host_type()
class Event:
    at: datetime.datetime
    window: str = field(resolver=window)


def stamp(value: DirectiveValue[str], at: decimal.Decimal) -> str:
    return value


STAMP = native.describe_operation_directive(stamp, locations=["FIELD"])


@pytest.mark.parametrize(
    "scalar_names, descriptions, types, listed, described",
    [
        ([], [("DateTime", "mine")], [], True, "Date with time (isoformat)"),
        (["DateTime"], [], [], True, None),
        (["DateTime", "DateTime"], [("DateTime", "mine"), ("DateTime", None)], [], True, "mine"),
        # A type of that name wins.
        ([], [], [native.process_type(Tag, kind="type", name="DateTime", directives=[])], False, None),
    ],
)
def test_standard_library_scalars_are_added_when_a_field_uses_them(scalar_names, descriptions, types, listed,
                                                                    described):
    schema = compiled(Event, STAMP, *types, scalar_names=scalar_names, scalar_descriptions=descriptions)
    # Time comes from an argument; Decimal, used only by a directive, is not added.
    assert schema.scalar_names.count("DateTime") == listed and "Time" in schema.scalar_names
    assert "Decimal" not in schema.scalar_names and schema.scalar_descriptions.get("DateTime") == described


def test_scalar_names_sort_by_bytes_and_getters_give_new_objects():
    schema = compiled(scalar_names=("b", "B", "a", "é", "Z"), scalar_descriptions=[("a", "x"), ("a", "y")])
    assert schema.scalar_names == ["B", "Z", "a", "b", "é"]
    schema.scalar_names.clear()
    schema.scalar_descriptions.clear()
    assert schema.scalar_names is not schema.scalar_names and len(schema.scalar_names) == 5
    assert schema.scalar_descriptions == {"a": "y"}


@host_type()
class Empty:
    pass


@pytest.mark.parametrize(
    "described, keywords, message",
    [
        ((Empty, Query), {}, "object type 'Empty' defines no fields, but the GraphQL specification requires one or more"),
        ((Pet,), {}, "'Pet' implements interface 'Node', which is not a registered type"),
        ((Node, Pet, UNION), {}, "union 'OwnerPet' has member 'Owner', which is not a registered type"),
        ((), {"scalar_directives": [("ID", [TAG]), ("Int", [directive("d", locations=["OBJECT"])])]},
         "directive '@d' cannot be applied to 'Int' (SCALAR); declared locations: OBJECT"),
        ((), {"schema_applied_directives": [directive("d", locations=["SCALAR", "OBJECT"])]},
         "directive '@d' cannot be applied to 'schema' (SCHEMA); declared locations: SCALAR, OBJECT"),
    ],
)
def test_schema_errors(described, keywords, message):
    with pytest.raises(native.SchemaError) as info:
        compiled(*described, **keywords)
    assert info.value.args == (message,)


# ---- hostile input ---------------------------------------------------------------


@dataclasses.dataclass
class Link:
    value: int


def test_a_schema_of_twenty_thousand_types():
    types = [native.process_type(Link, kind="type", name=f"T{i}", directives=[]) for i in range(20_000)]
    schema = compiled(*types, query_type_name="T19999")
    assert native.render_sdl(schema).count("\n  value: Int!\n") == 20_000
    assert native.validate_query("{ value }", schema) is None


@pytest.mark.parametrize("name", ["Größe", "名前", "e\u0301", "\U0001F600", "", "a\x00b", "\u202e\ufeff"])
def test_names_with_odd_unicode_round_trip(name):
    schema = compiled(native.process_type(Link, kind="type", name=name, directives=[]), query_type_name=name,
                      scalar_names=[name + "S"], scalar_descriptions=[(name + "S", name)])
    assert (schema.scalar_names, schema.scalar_descriptions) == ([name + "S"], {name + "S": name})
    assert f"\n\ntype {name} {{\n  value: Int!\n}}\n\n" in native.render_sdl(schema)
    assert native.validate_query("{ value }", schema) is None


@host_type()
class Orphan:
    pet: Pet
    hits: list[Union[Owner, Pet]]


def test_dangling_type_references_compile_print_and_validate(graphql_error):
    schema = compiled(Orphan, query_type_name="Orphan", mutation_type_name="Gone")
    assert "type Orphan {\n  pet: Pet!\n  hits: [OwnerPet!]!\n}" in native.render_sdl(schema)
    assert native.validate_query("{ pet { name } hits { __typename } }", schema) is None
    graphql_error("INVALID_FRAGMENT_TARGET", native.validate_query, "{ ... on Pet { name } }", schema)
    error = graphql_error("GRAPHQL_VALIDATION_FAILED", native.validate_query, "mutation { pet }", schema)
    assert error.message == "schema's root type 'Gone' is not registered"
