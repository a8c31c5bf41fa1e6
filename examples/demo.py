"""Parses a realistic query, prints its structure and shows what a parse error carries.

Run with `make demo`.
"""

from quenfel._error import GraphQLError
from quenfel._quenfel import parse_query, parse_query_document

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
          nodes { name color }
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

    print("\nA parse error:")
    print("  " + BROKEN.replace("\n", "\n  "))
    try:
        parse_query(BROKEN)
    except GraphQLError as error:
        print(f"message:   {error.message}")
        print(f"code:      {error.code.name}")
        print(f"locations: {error.locations}")


if __name__ == "__main__":
    main()
