"""Parses a realistic query, prints its structure, lowers it into the plan that
execution follows and shows what a parse error carries; then describes an enum,
a union and a schema directive as the host's decorators would.

Run with `make demo`.
"""

import dataclasses
import enum
from types import SimpleNamespace
from typing import Annotated, Optional, Union

from quenfel._enum import EnumValueDefinition
from quenfel._error import GraphQLError
from quenfel._quenfel import (
    SchemaError,
    describe_schema_directive,
    describe_union,
    lower_document,
    parse_query,
    parse_query_document,
    process_enum,
)
from quenfel._union import UnionDefinition

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


class Episode(enum.Enum):
    NEW_HOPE = EnumValueDefinition(4, graphql_name="NEWHOPE", description="Released in 1977.")
    EMPIRE = 5
    THE_EMPIRE_STRIKES_BACK = 5  # an alias of EMPIRE: GraphQL never sees it
    JEDI = EnumValueDefinition(6, deprecation_reason="Spell it out in the next version.")


def describe_enum():
    info = process_enum(Episode, description="A film of the original trilogy.", directives=[])
    print(f"\nprocess_enum: {info.kind} {info.name} -- {info.description}")
    for value in info.enum_values:
        notes = [f"as {value.graphql_name}"] if value.graphql_name else []
        notes += [f"{value.description!r}"] if value.description else []
        notes += [f"deprecated: {value.deprecation_reason!r}"] if value.deprecation_reason else []
        print(f"  {value.name}" + (f"   [{'; '.join(notes)}]" if notes else ""))


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

    describe_enum()
    describe_union_and_directive()


def object_type(name):
    """A class as the host's @quenfel.type leaves it: its description under __quenfel_type_info__."""
    return type(name, (), {"__quenfel_type_info__": SimpleNamespace(name=name, kind="type")})


User, Bot, Organization = object_type("User"), object_type("Bot"), object_type("Organization")


@dataclasses.dataclass
class CacheControl:
    max_age: int
    scopes: Optional[list[str]] = None


def describe_union_and_directive():
    print("\ndescribe_union:")
    declared = UnionDefinition("Actor", description="Who acted")
    for written, annotation in [
        ("Union[User, Bot]", Union[User, Bot]),
        ("Annotated[Union[User, Bot, Organization], union('Actor', ...)]",
         Annotated[Union[User, Bot, Organization], declared]),
        ("Union[User, int]", Union[User, int]),
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


if __name__ == "__main__":
    main()
