import pytest

import quenfel._error as host
import quenfel._quenfel as native


class Text(str):
    pass


def test_parse_query_returns_a_handle_with_its_text():
    text = "query Q($id: ID!) { node(id: $id) { id } }"
    document = native.parse_query(text)
    assert type(document) is native.ParsedDocument
    assert document.query_text == text
    assert document.query_text is document.query_text
    with pytest.raises(AttributeError):
        document.query_text = "{ b }"


def test_str_subclass_is_accepted_and_kept_as_plain_str():
    document = native.parse_query(query=Text("{ a }"))
    assert type(document.query_text) is str
    assert document.query_text == "{ a }"


def parse_error(text):
    with pytest.raises(host.GraphQLError) as info:
        native.parse_query(text)
    assert info.value.code is host.ErrorCode.GRAPHQL_PARSE_FAILED
    return info.value


@pytest.mark.parametrize("text", ["{", "query { a(x: ) }", "{ a } }", "query Q($v: ) { a }", "{ ...on }"])
def test_syntax_error_has_one_or_two_locations(text):
    error = parse_error(text)
    assert error.message
    assert 1 <= len(error.locations) <= 2
    for line, column in error.locations:
        assert type(line) is int and type(column) is int and line >= 1 and column >= 1


def test_duplicate_definitions_locate_both():
    assert parse_error("query A { a } query A { b }").locations == [(1, 1), (1, 15)]
    assert parse_error("{ ...F }\nfragment F on T { a }\nfragment F on T { b }").locations == [(2, 1), (3, 1)]


def test_empty_text_fails_to_parse():
    parse_error("")
    with pytest.raises(host.GraphQLError) as info:
        native.parse_query_document("")
    assert info.value.code is host.ErrorCode.GRAPHQL_PARSE_FAILED


def test_nesting_beyond_the_limit_is_an_error_not_a_crash():
    error = parse_error("{ a " * 10_000 + "}" * 10_000)
    assert error.code is host.ErrorCode.GRAPHQL_PARSE_FAILED
    with pytest.raises(host.GraphQLError):
        native.parse_query_document("{ a " * 10_000 + "}" * 10_000)
