import quenfel._quenfel as native

NONE = dict.fromkeys(("field_name", "alias", "fragment_name", "type_condition"))


def only_operation(text):
    (operation,) = native.parse_query_document(text).operations
    return operation


def shape(selection):
    """A selection as plain data, its children as shapes too."""
    data = {name: getattr(selection, name) for name in ("kind", *NONE, "directive_names")}
    return {**data, "selections": [shape(child) for child in selection.selections]}


def field(name, alias=None, *children, directives=()):
    return {**NONE, "kind": "field", "field_name": name, "alias": alias, "directive_names": list(directives), "selections": list(children)}


def test_operations_and_their_fields():
    operation = only_operation("{ a }")
    assert (operation.operation_type, operation.name, operation.variables) == ("query", None, [])
    assert [shape(s) for s in operation.selections] == [field("a")]
    operation = only_operation("mutation M { b: a @x { c } }")
    assert (operation.operation_type, operation.name) == ("mutation", "M")
    assert [shape(s) for s in operation.selections] == [field("a", "b", field("c"), directives=["x"])]
    document = native.parse_query_document("query A { a } subscription B { b } mutation C { c }")
    assert sorted((o.name, o.operation_type) for o in document.operations) == [("A", "query"), ("B", "subscription"), ("C", "mutation")]
    assert document.fragments == []


def test_variables_keep_the_declared_type():
    operation = only_operation('query Q($ids: [ ID ! ] !, $slug: String = "x", $n: [[Int]]) { a }')
    variables = [(v.name, v.type_str, v.has_default) for v in operation.variables]
    assert variables == [("ids", "[ID!]!", False), ("slug", "String", True), ("n", "[[Int]]", False)]


def test_spreads_and_inline_fragments_are_not_expanded():
    text = """
    query { ...F @skip(if: true) ...Missing ... { x } ... on T @a @b @a { y } }
    fragment F on T { z }
    fragment Unused on U { w }
    """
    spread = {**NONE, "kind": "fragment_spread", "fragment_name": "F", "directive_names": ["skip"], "selections": []}
    inline = {**NONE, "kind": "inline_fragment", "directive_names": []}
    assert [shape(s) for s in only_operation(text).selections] == [
        spread,
        {**spread, "fragment_name": "Missing", "directive_names": []},
        {**inline, "selections": [field("x")]},
        {**inline, "type_condition": "T", "directive_names": ["a", "b", "a"], "selections": [field("y")]},
    ]
    fragments = {f.name: (f.type_condition, [shape(s) for s in f.selections]) for f in native.parse_query_document(text).fragments}
    assert fragments == {"F": ("T", [field("z")]), "Unused": ("U", [field("w")])}


def test_list_attributes_are_new_lists_of_the_same_objects():
    document = native.parse_query_document("query Q($v: Int) { a @x { b } }")
    assert document.operations is not document.operations and document.operations[0] is document.operations[0]
    operation = document.operations[0]
    first, second = operation.selections, operation.selections
    assert first is not second and first[0] is second[0]
    assert operation.variables[0] is operation.variables[0]
    assert first[0].directive_names is not first[0].directive_names
    first.clear()
    assert len(operation.selections) == 1
