"""The GitHub schema of the benchmark corpus, declared in Python, compiled and
checked against graphql-core: the SDL we print builds the same schema, and the
corpus queries that graphql-core finds valid are valid for us too."""

import sys
from pathlib import Path

import graphql
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "bench"))
from compare import corpus_dir  # noqa: E402
from declare_schema import load, python_source  # noqa: E402

from quenfel._error import GraphQLError  # noqa: E402
from quenfel._quenfel import render_sdl, validate_query  # noqa: E402


# Names that Python keywords, the generated module's own names, enum.Enum or
# another name of the same scope take; each must keep its GraphQL name.
AWKWARD_NAMES = """
type Query {
  from: Int
  class(in: Int, is: Boolean = true, bodyHTML: String, orderBy: Order = {field: name, dir: None}): String
  field: Optional
  bodyHTML: String
  body_html: String
  str: str
  u: U
}
input Order { field: str = mro, dir: str }
type Optional implements host { id: ID! }
interface host { id: ID! }
union U = Optional
enum str { None, True, mro, _sunder, name }
"""


def declared(peer, module_name):
    """Our compiled schema, declared in Python after graphql-core's `peer`."""
    host = load(python_source(peer, module_name), module_name).host
    return host.compile(*host.describe())


@pytest.fixture(scope="module")
def github():
    """(graphql-core's schema from the GitHub SDL, ours from its Python declarations)"""
    peer = graphql.build_schema((corpus_dir() / "github-schema.graphql").read_text())
    return peer, declared(peer, "github_schema_test")


def assert_prints_back(peer, ours):
    """graphql-core builds the SDL we print, and it is `peer` but for union descriptions (we print none)."""
    rebuilt = graphql.build_schema(render_sdl(ours))
    assert rebuilt.type_map.keys() == peer.type_map.keys()
    peer = graphql.lexicographic_sort_schema(peer)
    for type_ in peer.type_map.values():
        if isinstance(type_, graphql.GraphQLUnionType):
            type_.description = None
    assert graphql.print_schema(graphql.lexicographic_sort_schema(rebuilt)) == graphql.print_schema(peer)


def test_printed_sdl_builds_the_schema_it_was_declared_from(github):
    assert_prints_back(*github)


def test_names_that_python_takes_keep_their_graphql_names():
    peer = graphql.build_schema(AWKWARD_NAMES)
    assert_prints_back(peer, declared(peer, "awkward_names_test"))


def test_queries_that_graphql_core_finds_valid_are_valid(github):
    peer, ours = github
    corpus, checked, refused = corpus_dir(), [], []
    for path in sorted([*corpus.glob("*.graphql"), *corpus.glob("parser-valid/*.graphql")]):
        try:
            document = graphql.parse(text := path.read_text())
        except graphql.GraphQLError:
            continue
        if path.name == "github-schema.graphql" or graphql.validate(peer, document):
            continue
        for name in [o.name and o.name.value for o in document.definitions if isinstance(o, graphql.OperationDefinitionNode)]:
            checked.append(f"{path.name}:{name}")
            try:
                validate_query(text, ours, name)
            except GraphQLError as error:
                refused.append(f"{path.name}:{name}: {error.message}")
    assert {"github-medium.graphql:IssueTriage", "introspection-query.graphql:IntrospectionQuery"} <= set(checked)
    assert not refused
