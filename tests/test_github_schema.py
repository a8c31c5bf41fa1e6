"""The GitHub schema of the benchmark corpus, declared in Python, compiled and checked against graphql-core: the SDL
we print builds the same schema, and the corpus queries that graphql-core finds valid are valid for us too."""

import sys
from pathlib import Path

import graphql
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "bench"))
from compare import corpus_dir  # noqa: E402
from declare_schema import load, python_source  # noqa: E402

from quenfel._error import GraphQLError  # noqa: E402
from quenfel._quenfel import render_sdl, validate_query  # noqa: E402


@pytest.fixture(scope="module")
def github():
    """(graphql-core's schema from the GitHub SDL, ours from its Python declarations)"""
    peer = graphql.build_schema((corpus_dir() / "github-schema.graphql").read_text())
    host = load(python_source(peer, "github_schema_test"), "github_schema_test").host
    return peer, host.compile(*host.describe())


def test_printed_sdl_builds_the_schema_it_was_declared_from(github):
    """graphql-core builds the SDL we print, and it is the GitHub schema but for union descriptions (we print none)."""
    peer, ours = github
    rebuilt = graphql.build_schema(render_sdl(ours))
    assert rebuilt.type_map.keys() == peer.type_map.keys()
    peer = graphql.lexicographic_sort_schema(peer)
    for type_ in peer.type_map.values():
        if isinstance(type_, graphql.GraphQLUnionType):
            type_.description = None
    assert graphql.print_schema(graphql.lexicographic_sort_schema(rebuilt)) == graphql.print_schema(peer)


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
    assert {"github-medium.graphql:IssueTriage", "schema-query.graphql:IntrospectionQuery"} <= set(checked)
    assert not refused
