import quenfel._quenfel as native

SELECTION_ATTRIBUTES = ("kind", "field_name", "alias", "fragment_name", "type_condition", "directive_names", "selections")


def only_operation(text):
    document = native.parse_query_document(text)
    assert type(document) is native.QueryDocument
    (operation,) = document.operations
    return operation


def shape(selection):
    return {name: getattr(selection, name) for name in SELECTION_ATTRIBUTES[:-1]}


def test_shorthand_query():
    operation = only_operation("{ a }")
    assert (operation.operation_type, operation.name, operation.variables) == ("query", None, [])
    (field,) = operation.selections
    assert shape(field) == {
        "kind": "field",
        "field_name": "a",
        "alias": None,
        "fragment_name": None,
        "type_condition": None,
        "directive_names": [],
    }
    assert field.selections == []


def test_named_mutation_and_alias():
    operation = only_operation("mutation M { b: a { c } }")
    assert (operation.operation_type, operation.name) == ("mutation", "M")
    (field,) = operation.selections
    assert (field.field_name, field.alias) == ("a", "b")
    assert [child.field_name for child in field.selections] == ["c"]


def test_variables_keep_the_declared_type():
    operation = only_operation('query Q($ids: [ ID ! ] !, $slug: String = "x", $n: [[Int]]) { a }')
    variables = [(v.name, v.type_str, v.has_default) for v in operation.variables]
    assert variables == [("ids", "[ID!]!", False), ("slug", "String", True), ("n", "[[Int]]", False)]
    assert type(operation.variables[0]) is native.QueryVariableDefinition


def test_spreads_and_inline_fragments_are_not_expanded():
    text = """
    query { ...F @skip(if: true) ...Missing ... { x } ... on T @a @b @a { y } }
    fragment F on T { z }
    fragment Unused on U { w }
    """
    spread, missing, bare, typed = only_operation(text).selections
    assert shape(spread) == {
        "kind": "fragment_spread",
        "field_name": None,
        "alias": None,
        "fragment_name": "F",
        "type_condition": None,
        "directive_names": ["skip"],
    }
    assert spread.selections == []
    assert missing.fragment_name == "Missing"
    assert (bare.kind, bare.type_condition, [s.field_name for s in bare.selections]) == ("inline_fragment", None, ["x"])
    assert (typed.type_condition, typed.directive_names) == ("T", ["a", "b", "a"])
    assert (typed.field_name, typed.fragment_name) == (None, None)

    fragments = {f.name: f for f in native.parse_query_document(text).fragments}
    assert set(fragments) == {"F", "Unused"}
    assert fragments["Unused"].type_condition == "U"
    assert [s.field_name for s in fragments["F"].selections] == ["z"]
    assert type(fragments["F"]) is native.QueryFragment


def test_several_named_operations():
    document = native.parse_query_document("query A { a } subscription B { b } mutation C { c }")
    assert sorted((o.name, o.operation_type) for o in document.operations) == [
        ("A", "query"),
        ("B", "subscription"),
        ("C", "mutation"),
    ]
    assert document.fragments == []


def test_list_attributes_are_new_lists_of_the_same_objects():
    document = native.parse_query_document("query Q($v: Int) { a @x { b } }")
    assert document.operations is not document.operations
    assert document.operations[0] is document.operations[0]
    operation = document.operations[0]
    first, second = operation.selections, operation.selections
    assert first is not second and first[0] is second[0]
    assert operation.variables[0] is operation.variables[0]
    assert first[0].directive_names is not first[0].directive_names
    first.clear()
    assert len(operation.selections) == 1
    assert operation.name is operation.name
