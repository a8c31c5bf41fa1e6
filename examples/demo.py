"""Parses a realistic query, prints its structure, lowers it into the plan that
execution follows and shows what a parse error carries; then declares a small
schema (an enum, an interface with two implementers, an input type, a resolver
with arguments, a union and two directives) and prints what the module saw of
it, as the host's decorators would have it described.

Run with `make demo`.
"""

import dataclasses
import enum
from typing import Annotated, Optional, Union

from quenfel._enum import EnumValueDefinition
from quenfel._error import GraphQLError
from quenfel import ID
from quenfel._quenfel import (
    SchemaError,
    describe_operation_directive,
    describe_schema_directive,
    describe_union,
    lower_document,
    parse_query,
    parse_query_document,
    process_enum,
    process_type,
)
from quenfel._resolver import Info, Parent
from quenfel._union import UnionDefinition
from quenfel.directive import DirectiveValue

QUERY = """
query RepositoryIssues($owner: String!, $name: String!, $first: Int = 10, $withLabels: Boolean!) {
  repository(owner: $owner, name: $name) {
    ...RepositoryHeader
    issues(first: $first, states: [OPEN]) @connection(key: "issues") {
      totalCount
      nodes {
        number
        title
        author {
          login
          ... on User { name }
          ... on Bot @skip(if: $withLabels) { id }
        }
        labels(first: 5) @include(if: $withLabels) {
          nodes @stream(initialCount: 2, label: "labels") { name color }
        }
        ... @defer(label: "reactions") {
          reactions(content: THUMBS_UP) { totalCount }
        }
      }
    }
  }
}

fragment RepositoryHeader on Repository {
  nameWithOwner
  stargazers: stargazerCount
  owner { login avatarUrl(size: 64) }
}
"""

VARIABLES = {"owner": "octo-org", "name": "hello-world", "withLabels": True}

BROKEN = """query Broken {
  repository(owner: ) { name }
}"""


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


def main():
    handle = parse_query(QUERY)
    print(f"parse_query: a {type(handle).__name__} holding {len(handle.query_text)} characters of query text\n")

    document = parse_query_document(QUERY)
    print("parse_query_document:")
    for operation in document.operations:
        variables = ", ".join(
            f"${v.name}: {v.type_str}" + (" = ..." if v.has_default else "") for v in operation.variables
        )
        print(f"{operation.operation_type} {operation.name or '(anonymous)'}({variables})")
        print_selections(operation.selections, 1)
    for fragment in document.fragments:
        print(f"fragment {fragment.name} on {fragment.type_condition}")
        print_selections(fragment.selections, 1)

    print(f"\nlower_document with variables {VARIABLES}:")
    operation_type, fields = lower_document(handle, variable_values=VARIABLES)
    print(operation_type)
    print_plan(fields, 1)
    print("($first was not supplied, so issues has no 'first' argument: its default is for execution to apply.)")

    print("\nA parse error:")
    print("  " + BROKEN.replace("\n", "\n  "))
    try:
        parse_query(BROKEN)
    except GraphQLError as error:
        print(f"message:   {error.message}")
        print(f"code:      {error.code.name}")
        print(f"locations: {error.locations}")

    describe_schema()


class Episode(enum.Enum):
    NEW_HOPE = EnumValueDefinition(4, graphql_name="NEWHOPE", description="Released in 1977.")
    EMPIRE = 5
    THE_EMPIRE_STRIKES_BACK = 5  # an alias of EMPIRE: GraphQL never sees it
    JEDI = EnumValueDefinition(6, deprecation_reason="Spell it out in the next version.")


Episode.__quenfel_type_info__ = process_enum(Episode, description="A film of the original trilogy.", directives=[])


def schema_type(kind="type", **options):
    """What the host's class decorators do: make a dataclass, describe it, keep the description on it."""

    def decorate(cls):
        cls = dataclasses.dataclass(cls)
        cls.__quenfel_type_info__ = process_type(cls, kind=kind, directives=[], **options)
        return cls

    return decorate


class ResolvedField(dataclasses.Field):
    """A dataclass field with a resolver, as the host's quenfel.field(resolver=...) makes one."""

    __slots__ = ("resolver",)


def resolved_by(resolver):
    made = ResolvedField(dataclasses.MISSING, dataclasses.MISSING, True, True, None, True, None, False)
    made.resolver = resolver
    return made


@schema_type("interface")
class Character:
    id: ID
    name: str


def friends_of(root: Parent["Human"], info: Info, first: int = 10,
               appears_in: Optional[Episode] = None) -> list[Character]:
    return []


@schema_type(description="A person of the films.")
class Human(Character):
    friends: list[Character] = resolved_by(friends_of)
    mentor: Optional["Human"] = None  # the implementer itself, not the interface it inherits from
    home_planet: Optional[str] = None


@schema_type()
class Droid(Character):
    primary_function: str


@schema_type("input", name="ReviewInput")
class Review:
    stars: int
    commentary: Optional[str] = None
    episode: Episode = Episode.JEDI


def shout(value: DirectiveValue[str], info: Info, times: int = 1) -> str:
    return value.upper() * times


def argument_text(argument):
    default = f" = {argument.default_value}" if argument.default_value is not None else ""
    name = argument.graphql_name or argument.name
    return f"{name}: {argument.graphql_type}{default}"


def describe_schema():
    enum_info = Episode.__quenfel_type_info__
    print(f"\nprocess_enum: {enum_info.kind} {enum_info.name} -- {enum_info.description}")
    for value in enum_info.enum_values:
        notes = [f"as {value.graphql_name}"] if value.graphql_name else []
        notes += [f"{value.description!r}"] if value.description else []
        notes += [f"deprecated: {value.deprecation_reason!r}"] if value.deprecation_reason else []
        print(f"  {value.name}" + (f"   [{'; '.join(notes)}]" if notes else ""))

    print("\nprocess_type (Python field names; camel-casing comes with the schema):")
    for cls in (Character, Human, Droid, Review):
        info = cls.__quenfel_type_info__
        print(f"  {info.kind} {info.name}" + (f" -- {info.description}" if info.description else ""))
        for field in info.fields:
            arguments = ", ".join(map(argument_text, field.arguments))
            line = f"    {field.name}" + (f"({arguments})" if field.has_resolver else "") + f": {field.graphql_type}"
            line += f" = {field.default_value}" if field.default_value is not None else ""
            if field.has_resolver:
                line += f"   [resolver; parent in {field.parent_parameter!r}, info in {field.info_parameter!r}]"
            print(line)

    print("\ndescribe_union:")
    declared = UnionDefinition("SearchResult", description="What a search finds")
    for written, annotation in [
        ("Union[Human, Droid]", Union[Human, Droid]),
        ("Annotated[Union[Human, Droid], union('SearchResult', ...)]", Annotated[Union[Human, Droid], declared]),
        ("Union[Human, Character]", Union[Human, Character]),
    ]:
        print(f"  {written}")
        try:
            info = describe_union(annotation)
        except SchemaError as error:
            print(f"    SchemaError: {error}")
            continue
        print(f"    union {info.name} = {' | '.join(info.member_names)}"
              f"   (description {info.description!r}, custom resolve_type {info.has_custom_resolve_type})")

    directive = describe_schema_directive(CacheControl, locations=["OBJECT", "FIELD_DEFINITION"], repeatable=True)
    arguments = ", ".join(f"{field.name}: {field.graphql_type}" for field in directive.fields)
    print("\ndescribe_schema_directive:")
    print(f"  directive @{directive.name}({arguments})"
          f"{' repeatable' if directive.repeatable else ''} on {' | '.join(directive.locations)}")

    directive = describe_operation_directive(shout, locations=["FIELD"])
    print("\ndescribe_operation_directive:")
    print(f"  directive @{directive.name}({', '.join(map(argument_text, directive.arguments))})"
          f" on {' | '.join(directive.locations)}   [value in {directive.value_parameter!r}]")


@dataclasses.dataclass
class CacheControl:
    max_age: int
    scopes: Optional[list[str]] = None

if __name__ == "__main__":
    main()
