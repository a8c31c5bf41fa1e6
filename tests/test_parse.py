import pytest

import quenfel._quenfel as native
from fakes import compiled


class Text(str):
    pass


def test_parse_query_returns_a_handle_with_its_text():
    text = "query Q($id: ID!) { node(id: $id) { id } }"
    document = native.parse_query(text)
    assert type(document) is native.ParsedDocument and document.query_text == text
    with pytest.raises(AttributeError):
        document.query_text = "{ b }"
    document = native.parse_query(query=Text("{ a }"))
    assert type(document.query_text) is str and document.query_text == "{ a }"


ENTRY_POINTS = {
    "parse_query": native.parse_query,
    "parse_query_document": native.parse_query_document,
    "lower_query": lambda text: native.lower_query(text, variable_values={}),
    "validate_query": lambda text, schema=compiled(): native.validate_query(text, schema),
}
DEFINITION = "expected a definition ('query', 'mutation', 'subscription', 'fragment' or '{')"


@pytest.mark.parametrize("entry", ENTRY_POINTS)
@pytest.mark.parametrize(
    "text, message, locations",
    [
        ("{", "syntax error: unexpected end of input, expected a selection", [(1, 2)]),
        ("\n  query { a(x: ) }", "syntax error: expected a value, found ')'", [(2, 16)]),
        ("{ a } }", f"syntax error: {DEFINITION}, found '}}'", [(1, 7)]),
        ("", f"syntax error: unexpected end of input, {DEFINITION}", [(1, 1)]),
        ('{ a("\n', "syntax error: unterminated string, expected '\"' before the end of the line", [(1, 5), (1, 6)]),
        ("query A { a } query A { b }", "operation A is defined twice", [(1, 1), (1, 15)]),
        ("{ ...F }\nfragment F on T { a }\nfragment F on T { b }", "fragment F is defined twice", [(2, 1), (3, 1)]),
        ("fragment F on T { a }", "document does not contain an operation", None),
        pytest.param("{ a " * 10_000 + "}" * 10_000, "recursion limit exceeded.", None, id="nesting"),
    ],
)
def test_parse_errors_keep_message_and_positions(graphql_error, entry, text, message, locations):
    error = graphql_error("GRAPHQL_PARSE_FAILED", ENTRY_POINTS[entry], text)
    assert (error.message, error.locations) == (message, locations)
