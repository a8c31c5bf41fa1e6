import dataclasses
import datetime
import decimal
import enum
import uuid
from typing import Annotated, Optional, Union

import pytest
from fakes import compiled, directive, field, host_type

import quenfel._quenfel as native
from quenfel import ID
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


LIBRARY = (Node, Color, Filter, Pet, Owner, Query, native.describe_union(Union[Owner, Pet]),
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
    query = """query Q($n: Int!, $where: Filter) {
      owner { fullName pets(first: $n, where: $where) { name @shout(times: 2) } }
      hits { ... on Pet { id } }
    }"""
    document = native.parse_query(query)
    assert native.validate_document(document, SCHEMA) is None
    where = {"color": "GREEN"}
    _, (owner, hits) = native.lower_document(document, variable_values={"n": 3, "where": where})
    full_name, pets = owner.selections
    assert (full_name.field_name, pets.field_name, pets.arguments) == ("fullName", "pets", {"first": 3, "where": where})
    assert pets.arguments["where"] is where
    [name] = pets.selections
    assert [(d.name, d.arguments) for d in name.directives] == [("shout", {"times": 2})]
    assert [(f.field_name, f.type_condition) for f in hits.selections] == [("id", "Pet")]


@pytest.mark.parametrize(
    "query, operation_name, code, message, locations",
    [
        ("{ owner { id } }", None, None, None, None),
        ("query A { owner { id } } query B { nope }", "A", None, None, None),
        ("query A { owner { id } } query B { nope }", "B", "UNKNOWN_FIELD", "field 'nope' does not exist on type 'Query'",
         [(1, 36)]),
        ("{ owner { pets(first: \"2\") { name } } }", None, "ARGUMENT_TYPE_MISMATCH", None, [(1, 23)]),
        ("{ owner { ...F @shout } } fragment F on Owner { id }", None, "INVALID_DIRECTIVE_LOCATION", None, [(1, 16)]),
        ("{ owner {", None, "GRAPHQL_PARSE_FAILED", "syntax error: unexpected end of input, expected a selection", [(1, 10)]),
    ],
)
def test_validate_query_and_validate_document_agree(graphql_error, query, operation_name, code, message, locations):
    if code is None:
        assert native.validate_query(query, SCHEMA, operation_name) is None
        assert native.validate_document(native.parse_query(query), SCHEMA, operation_name=operation_name) is None
        return
    error = graphql_error(code, native.validate_query, query, SCHEMA, operation_name)
    assert message is None or error.message == message
    assert locations is None or error.locations == locations
    if code != "GRAPHQL_PARSE_FAILED":
        again = graphql_error(code, native.validate_document, native.parse_query(query), SCHEMA, operation_name)
        assert (again.message, again.locations) == (error.message, error.locations)


def test_validate_query_refuses_a_wrong_schema_before_parsing():
    with pytest.raises(TypeError) as info:
        native.validate_query("{", native.parse_query("{ a }"))
    assert info.value.__notes__ == ["while processing 'schema'"]


# ---- compile_schema's arguments -------------------------------------------------


def compile_with(**keywords):
    return compiled(Node, Pet, Query, Owner, **keywords)


UNION = native.describe_union(Union[Owner, Pet])


@pytest.mark.parametrize(
    "keywords, message, parameter",
    [
        ({"query_type_name": None}, "'None' is not an instance of 'str'", "query_type_name"),
        ({"mutation_type_name": 1, "types": "x"}, "'int' object is not an instance of 'str'", "mutation_type_name"),
        ({"types": "Query"}, "Can't extract `str` to `Vec`", "types"),
        ({"types": {Query.__quenfel_type_info__}}, "'set' object is not an instance of 'Sequence'", "types"),
        ({"types": [UNION]}, "'UnionInfo' object is not an instance of 'TypeInfo'", "types"),
        ({"unions": [Query.__quenfel_type_info__]}, "'TypeInfo' object is not an instance of 'UnionInfo'", "unions"),
        ({"directives": [LIBRARY[-1]]}, "'SchemaDirectiveInfo' object is not an instance of 'OperationDirectiveInfo'",
         "directives"),
        ({"schema_directives": (LIBRARY[-2],)},
         "'OperationDirectiveInfo' object is not an instance of 'SchemaDirectiveInfo'", "schema_directives"),
        ({"scalar_names": ["ID", b"Int"]}, "'bytes' object is not an instance of 'str'", "scalar_names"),
        ({"scalar_directives": None}, "'None' is not an instance of 'Sequence'", "scalar_directives"),
        ({"scalar_directives": [(1, [])]}, "'int' object is not an instance of 'str'", "scalar_directives"),
        ({"scalar_descriptions": [["ID", "x"]]}, "'list' object is not an instance of 'tuple'", "scalar_descriptions"),
        ({"scalar_descriptions": [("ID", "x", "y")]}, "expected tuple of length 2, but got tuple of length 3",
         "scalar_descriptions"),
        ({"scalar_specified_by_urls": [("ID", 1)]}, "'int' object is not an instance of 'str'",
         "scalar_specified_by_urls"),
        # Every argument is converted before any work: the directive's bad location is never looked at.
        ({"scalar_directives": [("ID", [directive("d", locations=[])])], "auto_camel_case": 1},
         "'int' object is not an instance of 'bool'", "auto_camel_case"),
    ],
)
def test_compile_schema_argument_kinds(keywords, message, parameter):
    with pytest.raises(TypeError) as info:
        compile_with(**keywords)
    assert (str(info.value), info.value.__notes__) == (message, [f"while processing '{parameter}'"])


def test_compile_schema_takes_keywords_only():
    with pytest.raises(TypeError, match=r"^compile_schema\(\) missing 6 required keyword-only arguments: "
                                        r"'query_type_name', 'types', 'unions', 'directives', 'schema_directives', "
                                        r"and 'scalar_names'$"):
        native.compile_schema()
    with pytest.raises(TypeError, match=r"^compile_schema\(\) takes 0 positional arguments but 1 was given"):
        native.compile_schema("Query")


def sdl_of(schema, name):
    """The SDL block of the type, union or scalar `name`."""
    return next(block for block in native.render_sdl(schema).split("\n\n") if f" {name} " in block + " ")


def test_later_definitions_replace_earlier_ones_and_the_originals_stay_usable():
    other = native.process_type(Tag, kind="type", name="Query", directives=[])
    schema = compiled(Query, other, Node, Owner, Pet, UNION, native.describe_union(Annotated[Union[Pet, Owner], UnionDefinition("OwnerPet")]))
    assert sdl_of(schema, "Query").splitlines()[1:] == ["  label: String!", "}"]
    assert sdl_of(schema, "OwnerPet") == "union OwnerPet = Pet | Owner"
    assert sdl_of(compiled(Query, Node, Owner, Pet), "Query").startswith("type Query {\n  owner: Owner")


def window(after: datetime.time) -> str:
    return ""


@host_type()
class Event:
    at: datetime.datetime
    key: uuid.UUID
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
    assert schema.scalar_names.count("DateTime") == listed and {"Time", "UUID"} & set(schema.scalar_names)
    assert "Decimal" not in schema.scalar_names
    assert (schema.scalar_descriptions.get("DateTime"), schema.scalar_descriptions["UUID"]) == (described, "UUID")


def test_scalar_names_sort_by_bytes_and_getters_give_new_objects():
    schema = compiled(scalar_names=("b", "B", "a", "é", "Z"), scalar_descriptions=[("a", "x"), ("a", "y")])
    assert schema.scalar_names == ["B", "Z", "a", "b", "é"]
    schema.scalar_names.clear()
    schema.scalar_descriptions.clear()
    assert schema.scalar_names is not schema.scalar_names and len(schema.scalar_names) == 5
    assert schema.scalar_descriptions == {"a": "y"}


@pytest.mark.parametrize(
    "keywords, message",
    [
        ({"scalar_directives": [("ID", [TAG]), ("Int", [directive("d", locations=["OBJECT"])])]},
         "directive '@d' cannot be applied to 'Int' (SCALAR); declared locations: OBJECT"),
        ({"schema_applied_directives": [directive("d", locations=["SCALAR", "OBJECT"])]},
         "directive '@d' cannot be applied to 'schema' (SCHEMA); declared locations: SCALAR, OBJECT"),
    ],
)
def test_applied_directives_must_declare_their_location(keywords, message):
    with pytest.raises(native.SchemaError, match=f"^{message}$".replace("(", r"\(").replace(")", r"\)")):
        compiled(**keywords)


@host_type()
class Empty:
    pass


@pytest.mark.parametrize(
    "described, message",
    [
        ((Empty, Query), "object type 'Empty' defines no fields, but the GraphQL specification requires one or more"),
        ((Pet,), "'Pet' implements interface 'Node', which is not a registered type"),
        ((Node, Pet, UNION), "union 'OwnerPet' has member 'Owner', which is not a registered type"),
    ],
)
def test_shape_violations_raise_schema_error(described, message):
    with pytest.raises(native.SchemaError) as info:
        compiled(*described)
    assert info.value.args == (message,)
