"""The whole road through the module. Declares a small schema as the host's
decorators would (an enum, an interface with two implementers, an input type,
resolvers with arguments, a union, a schema directive and a query directive),
compiles it and prints its SDL; then serves a request: parses a query, shows
its structure, validates it, lowers it into the plan that execution follows,
shows what failing requests raise, and replays the query by its hash as a
persisted query.

Run with `make demo`.
"""

import dataclasses
import enum
import hashlib
from typing import Annotated, Optional, Union

from quenfel import ID
from quenfel._enum import EnumValueDefinition
from quenfel._error import GraphQLError
from quenfel._quenfel import (
    SchemaError,
    compile_schema,
    describe_operation_directive,
    describe_schema_directive,
    describe_union,
    lower_document,
    parse_query,
    parse_query_document,
    process_enum,
    process_type,
    render_sdl,
    resolve_persisted_query,
    validate_document,
    validate_query,
)
from quenfel._resolver import Info, Parent
from quenfel._union import UnionDefinition
from quenfel.directive import DirectiveValue

# ---- Declaring: what the host's decorators do ---------------------------------------


@dataclasses.dataclass
class CacheControl:
    seconds: int
    scopes: Optional[list[str]] = None


CacheControl.__quenfel_directive_info__ = describe_schema_directive(
    CacheControl, locations=["OBJECT", "FIELD_DEFINITION"], repeatable=True)


def schema_type(kind="type", directives=(), **options):
    """Make a dataclass, describe it, keep the description on it."""

    def decorate(cls):
        cls = dataclasses.dataclass(cls)
        cls.__quenfel_type_info__ = process_type(cls, kind=kind, directives=directives, **options)
        return cls

    return decorate


class ResolvedField(dataclasses.Field):
    """A dataclass field with a resolver, as the host's quenfel.field(resolver=...) makes one."""

    __slots__ = ("resolver",)


def resolved_by(resolver):
    made = ResolvedField(dataclasses.MISSING, dataclasses.MISSING, True, True, None, True, None, False)
    made.resolver = resolver
    return made


class Episode(enum.Enum):
    NEW_HOPE = EnumValueDefinition(4, graphql_name="NEWHOPE", description="Released in 1977.")
    EMPIRE = 5
    THE_EMPIRE_STRIKES_BACK = 5  # an alias of EMPIRE: GraphQL never sees it
    JEDI = EnumValueDefinition(6, deprecation_reason="Spell it out in the next version.")


Episode.__quenfel_type_info__ = process_enum(Episode, description="A film of the original trilogy.", directives=[])


@schema_type("interface")
class Character:
    id: ID
    name: str


def friends_of(root: Parent["Human"], info: Info, first: int = 10,
               appears_in: Optional[Episode] = None) -> list[Character]:
    return []


@schema_type(description="A person of the films.", directives=[CacheControl(seconds=60)])
class Human(Character):
    friends: list[Character] = resolved_by(friends_of)
    mentor: Optional["Human"] = None  # the implementer itself, not the interface it inherits from
    home_planet: Optional[str] = None


@schema_type()
class Droid(Character):
    primary_function: str


SearchResult = Annotated[Union[Human, Droid], UnionDefinition("SearchResult", description="What a search finds")]


@schema_type("input", name="ReviewInput")
class Review:
    stars: int
    commentary: Optional[str] = None
    episode: Episode = Episode.JEDI


def hero(episode: Optional[Episode] = None) -> Character:
    raise NotImplementedError  # execution is the host's


def search(text: str) -> list[SearchResult]:
    raise NotImplementedError


def rate_film(review: Review) -> int:
    raise NotImplementedError


@schema_type()
class Query:
    hero: Character = resolved_by(hero)
    search: list[SearchResult] = resolved_by(search)


@schema_type()
class Mutation:
    rate_film: int = resolved_by(rate_film)


def shout(value: DirectiveValue[str], info: Info, times: int = 1) -> str:
    return value.upper() * times


def compile_demo_schema(*types):
    return compile_schema(
        query_type_name="Query",
        mutation_type_name="Mutation",
        types=[cls.__quenfel_type_info__ for cls in types],
        unions=[describe_union(SearchResult)],
        directives=[describe_operation_directive(shout, locations=["FIELD"])],
        schema_directives=[CacheControl.__quenfel_directive_info__],
        scalar_names=[],
    )


# ---- Serving a request -------------------------------------------------------------

QUERY = """
query Hero($episode: Episode, $first: Int = 3, $withFriends: Boolean!) {
  hero(episode: $episode) {
    id
    name @shout(times: 2)
    ... on Human {
      homePlanet
      friends(first: $first) @include(if: $withFriends) { name }
    }
    ... @defer(label: "slow") { ...DroidParts }
  }
  search(text: "sky") {
    __typename
    ... on Droid @skip(if: $withFriends) { primaryFunction }
  }
}

fragment DroidParts on Droid { primaryFunction }
"""

VARIABLES = {"episode": "JEDI", "withFriends": True}

FAILING = [
    ("a field the type lacks", "{ hero { name homePlanet } }"),
    ("an argument of the wrong type", "{ hero(episode: 4) { name } }"),
    ("text that does not parse", "query Broken {\n  hero(episode: ) { name }\n}"),
]


def directives(selection):
    return "".join(f" @{name}" for name in selection.directive_names)


def print_selections(selections, depth):
    pad = "  " * depth
    for selection in selections:
        if selection.kind == "field":
            alias = f"{selection.alias}: " if selection.alias else ""
            print(f"{pad}{alias}{selection.field_name}{directives(selection)}")
        elif selection.kind == "fragment_spread":
            print(f"{pad}...{selection.fragment_name}{directives(selection)}")
        else:
            condition = f" on {selection.type_condition}" if selection.type_condition else ""
            print(f"{pad}...{condition}{directives(selection)}")
        print_selections(selection.selections, depth + 1)


def call_text(name, arguments):
    if not arguments:
        return name
    return f"{name}(" + ", ".join(f"{key}: {value!r}" for key, value in arguments.items()) + ")"


def print_plan(fields, depth):
    pad = "  " * depth
    for field in fields:
        key = f"{field.response_key}: " if field.response_key != field.field_name else ""
        line = pad + key + call_text(field.field_name, field.arguments)
        line += "".join(" @" + call_text(d.name, d.arguments) for d in field.directives)
        marks = []
        if field.type_condition:
            marks.append(f"on {field.type_condition}")
        if field.is_deferred:
            marks.append(f"deferred, label {field.defer_label!r}")
        if field.is_streamed:
            marks.append(f"streamed, initial count {field.stream_initial_count}, label {field.stream_label!r}")
        if marks:
            line += "   [" + "; ".join(marks) + "]"
        print(line)
        print_plan(field.selections, depth + 1)


def heading(text):
    print(f"\n==== {text}\n")


def main():
    heading("compile_schema, then render_sdl")
    schema = compile_demo_schema(Episode, Character, Human, Droid, Review, Query, Mutation)
    print(render_sdl(schema))
    try:
        compile_demo_schema(Episode, Human, Droid, Review, Query, Mutation)
    except SchemaError as error:
        print(f"\nWithout Character, compile_schema raises SchemaError: {error}")

    heading("parse_query_document: the query's structure")
    for operation in parse_query_document(QUERY).operations:
        variables = ", ".join(f"${v.name}: {v.type_str}" for v in operation.variables)
        print(f"{operation.operation_type} {operation.name}({variables})")
        print_selections(operation.selections, 1)

    heading(f"parse_query, validate_document, lower_document with {VARIABLES}")
    document = parse_query(QUERY)
    validate_document(document, schema)
    operation_type, fields = lower_document(document, variable_values=VARIABLES)
    print(operation_type)
    print_plan(fields, 1)
    print("($first was not supplied, so friends has no 'first' argument: its default is for execution to apply.)")

    heading("Requests that fail raise the host's GraphQLError")
    for what, text in FAILING:
        try:
            validate_query(text, schema)
        except GraphQLError as error:
            print(f"{what}: {error.code.name} at {error.locations}\n  {error.message}")

    heading("resolve_persisted_query: the same query by its SHA-256")
    digest = hashlib.sha256(QUERY.encode()).hexdigest()
    try:
        resolve_persisted_query(digest, schema)
    except GraphQLError as error:
        print(f"hash only, first time: {error.code.name} -- the client sends the text with the hash")
    registered = resolve_persisted_query(digest, schema, query=QUERY)
    print(f"hash and text: registered, cache_hit={registered.cache_hit}")
    replayed = resolve_persisted_query(digest, schema)
    print(f"hash only again: cache_hit={replayed.cache_hit}, query_text={replayed.document.query_text!r}")
    _, again = lower_document(replayed.document, variable_values={**VARIABLES, "withFriends": False})
    print("lowered with withFriends false, without parsing or validating again:")
    print_plan(again, 1)


if __name__ == "__main__":
    main()
