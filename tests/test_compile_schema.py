import dataclasses
from typing import Annotated, Union

import pytest
from fakes import SCHEMA, SCHEMA_PARTS, Pet, Tag, User, compiled, compiling, directive, failure_test

import quenfel._quenfel as native
from quenfel._union import UnionDefinition

# Everything the declarations hold reaches the schema: the hidden records' directives and interfaces, an enum value's
# own name, defaults as literals, the standard-library scalars that fields and arguments use (Decimal only by a
# directive's argument).
SDL = '''schema @tag(label: "schema") {
  query: Query
}

"""Paints"""
enum Color @tag(label: "paint") {
  """Warm"""
  CRIMSON @deprecated(reason: "Too loud") @tag(label: "hue")
  GREEN
  BLUE
}

input Filter {
  color: Color! = CRIMSON
  since: Date = null
}

interface Node @tag(label: "node") {
  id: ID!
}

type Pet implements Node @tag(label: "pet") {
  id: ID!
  name: String!
}

type Query {
  me: User
  hits: [UserPet!]!
  greeting: String!
  count: Int!
}

"""A person"""
type User implements Node @cacheControl(maxAge: 30, cacheScope: null) {
  id: ID!
  """Shown"""
  fullName: String! @deprecated(reason: "Use handle") @tag(label: "name")
  friends("""How many""" count: Int! = 10 @tag(label: "arg"), near: Filter = null, since: Time = null): [User!]!
  bestFriend: User
  score: Int
  level: String
  tags: [String!]!
  seen: DateTime
}

union UserPet = User | Pet

"""Date (isoformat)"""
scalar Date

"""Date with time (isoformat)"""
scalar DateTime

"""Decimal (fixed-point)"""
scalar Decimal

scalar ID @specifiedBy(url: "https://id") @tag(label: "id")

"""Time (isoformat)"""
scalar Time

directive @shout(times: Int! = 1 @tag(label: "times"), by: Decimal = null) on FIELD

"""How long a result may be cached"""
directive @cacheControl(maxAge: Int!, cacheScope: String) on OBJECT

directive @tag(label: String!) on SCHEMA | SCALAR | OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | INTERFACE | ENUM | ENUM_VALUE'''


def test_declarations_compile_to_their_sdl():
    assert native.render_sdl(SCHEMA) == native.render_sdl(schema=SCHEMA) == SDL


def test_declarations_to_lowered_fields():
    document = native.parse_query("""query Q($n: Int!, $near: Filter) {
      me { friends(count: $n, near: $near) { fullName @shout(times: 2) } } hits { ... on Pet { id } } }""")
    assert native.validate_document(document, SCHEMA) is None
    near = {"color": "GREEN"}
    _, [me, hits] = native.lower_document(document, variable_values={"n": 3, "near": near})
    [friends] = me.selections
    assert friends.arguments == {"count": 3, "near": near} and friends.arguments["near"] is near
    assert [(d.name, d.arguments) for d in friends.selections[0].directives] == [("shout", {"times": 2})]
    assert [(f.field_name, f.type_condition) for f in hits.selections] == [("id", "Pet")]


def test_validate_query_and_validate_document_agree(graphql_error):
    text = "query A { me { id } } query B { nope }"
    for validate, given in [(native.validate_query, text), (native.validate_document, native.parse_query(text))]:
        assert validate(given, SCHEMA, "A") is None
        error = graphql_error("UNKNOWN_FIELD", validate, given, SCHEMA, operation_name="B")
        assert (error.message, error.locations) == ("field 'nope' does not exist on type 'Query'", [(1, 33)])


# ---- compile_schema -------------------------------------------------------------


def test_later_definitions_replace_earlier_ones():
    query = native.process_type(Tag, kind="type", name="Query", directives=[])
    union = native.describe_union(Annotated[Union[Pet, User], UnionDefinition("UserPet")])
    sdl = native.render_sdl(compiled(*SCHEMA_PARTS, query, union))
    assert "type Query {\n  label: String!\n}" in sdl and "union UserPet = Pet | User" in sdl


@pytest.mark.parametrize("scalar_names, descriptions, types, listed, described", [
    ([], [("DateTime", "mine")], [], True, "Date with time (isoformat)"),
    (["DateTime"], [], [], True, None),
    (["DateTime", "DateTime"], [("DateTime", "mine"), ("DateTime", None)], [], True, "mine"),
    # A type of that name wins.
    ([], [], [native.process_type(Tag, kind="type", name="DateTime", directives=[])], False, None),
])
def test_standard_library_scalars_yield_to_the_callers(scalar_names, descriptions, types, listed, described):
    schema = compiled(*SCHEMA_PARTS, *types, scalar_names=scalar_names, scalar_descriptions=descriptions)
    assert schema.scalar_names.count("DateTime") == listed and schema.scalar_descriptions.get("DateTime") == described


def test_scalar_names_sort_by_bytes_and_getters_give_new_objects():
    schema = compiled(scalar_names=("b", "B", "a", "é", "Z"), scalar_descriptions=[("a", "x"), ("a", "y")])
    assert schema.scalar_names == ["B", "Z", "a", "b", "é"]
    schema.scalar_names.clear()
    schema.scalar_descriptions.clear()
    assert schema.scalar_names is not schema.scalar_names and len(schema.scalar_names) == 5
    assert schema.scalar_descriptions == {"a": "y"}


FAILURES = [
    (compiling(native.process_type(dataclasses.make_dataclass("Empty", []), kind="type", directives=[])),
     native.SchemaError, "object type 'Empty' defines no fields, but the GraphQL specification requires one or more"),
    (compiling(scalar_directives=[("ID", [Tag("x")]), ("Int", [directive("d", locations=["OBJECT"])])]),
     native.SchemaError, "directive '@d' cannot be applied to 'Int' (SCALAR); declared locations: OBJECT"),
    (compiling(schema_applied_directives=[directive("d", locations=["SCALAR", "OBJECT"])]), native.SchemaError,
     "directive '@d' cannot be applied to 'schema' (SCHEMA); declared locations: SCALAR, OBJECT"),
]


test_failures = failure_test(FAILURES)


# ---- hostile input ---------------------------------------------------------------


def test_a_schema_of_twenty_thousand_types():
    types = [native.process_type(Tag, kind="type", name=f"T{i}", directives=[]) for i in range(20_000)]
    schema = compiled(*types, query_type_name="T19999")
    assert native.render_sdl(schema).count("\n  label: String!\n") == 20_000
    assert native.validate_query("{ label }", schema) is None


@pytest.mark.parametrize("name", ["Größe", "名前", "e\u0301", "\U0001F600", "", "a\x00b", "\u202e\ufeff"])
def test_names_with_odd_unicode_round_trip(name):
    schema = compiled(native.process_type(Tag, kind="type", name=name, directives=[]), query_type_name=name,
                      scalar_names=[name + "S"], scalar_descriptions=[(name + "S", name)])
    assert (schema.scalar_names, schema.scalar_descriptions) == ([name + "S"], {name + "S": name})
    assert f"\n\ntype {name} {{\n  label: String!\n}}\n\n" in native.render_sdl(schema)
    assert native.validate_query("{ label }", schema) is None

