import pytest

import quenfel._quenfel as native


def test_parse_query_returns_a_handle_with_its_text():
    document = native.parse_query(query=type("Text", (str,), {})("{ a }"))
    assert type(document) is native.ParsedDocument and type(document.query_text) is str and document.query_text == "{ a }"
    with pytest.raises(AttributeError):
        document.query_text = "{ b }"


# ---- parse_query_document: the structure of a query, for code generation ------

NONE = dict.fromkeys(("field_name", "alias", "fragment_name", "type_condition"))


def shape(selection):
    """A selection as plain data, its children as shapes too."""
    data = {name: getattr(selection, name) for name in ("kind", *NONE, "directive_names")}
    return {**data, "selections": [shape(child) for child in selection.selections]}


def field(name, alias=None, *children, directives=()):
    return {**NONE, "kind": "field", "field_name": name, "alias": alias, "directive_names": list(directives),
            "selections": list(children)}


def test_operations_and_their_variables():
    (operation,) = native.parse_query_document("{ a }").operations
    assert (operation.operation_type, operation.name, operation.variables) == ("query", None, [])
    document = native.parse_query_document('query A($ids: [ ID ! ] !, $slug: String = "x", $n: [[Int]]) { a } '
                                           "subscription B { b } mutation C { b: a @x { c } }")
    assert sorted((o.name, o.operation_type) for o in document.operations) == [
        ("A", "query"), ("B", "subscription"), ("C", "mutation")]
    operations = {o.name: o for o in document.operations}
    assert [(v.name, v.type_str, v.has_default) for v in operations["A"].variables] == [
        ("ids", "[ID!]!", False), ("slug", "String", True), ("n", "[[Int]]", False)]
    assert [shape(s) for s in operations["C"].selections] == [field("a", "b", field("c"), directives=["x"])]
    assert document.fragments == []


def test_spreads_and_inline_fragments_are_not_expanded():
    text = """
    query { ...F @skip(if: true) ...Missing ... { x } ... on T @a @b @a { y } }
    fragment F on T { z }
    fragment Unused on U { w }
    """
    document = native.parse_query_document(text)
    spread = {**NONE, "kind": "fragment_spread", "fragment_name": "F", "directive_names": ["skip"], "selections": []}
    inline = {**NONE, "kind": "inline_fragment", "directive_names": []}
    assert [shape(s) for s in document.operations[0].selections] == [
        spread,
        {**spread, "fragment_name": "Missing", "directive_names": []},
        {**inline, "selections": [field("x")]},
        {**inline, "type_condition": "T", "directive_names": ["a", "b", "a"], "selections": [field("y")]},
    ]
    fragments = {f.name: (f.type_condition, [shape(s) for s in f.selections]) for f in document.fragments}
    assert fragments == {"F": ("T", [field("z")]), "Unused": ("U", [field("w")])}
    # Lists are new on every read, of the same objects.
    operation = document.operations[0]
    assert document.operations is not document.operations and document.operations[0] is operation
    assert operation.selections is not operation.selections and operation.selections[0] is operation.selections[0]
    operation.selections.clear()
    assert len(operation.selections) == 4
