import gc
import weakref

import pytest
from fakes import raising

import quenfel._quenfel as native

LEAF = {"type_condition": None, "arguments": {}, "directives": [], "selections": [], "is_deferred": False,
        "defer_label": None, "is_streamed": False, "stream_initial_count": None, "stream_label": None}


def lower(query, operation_name=None, **variables):
    return native.lower_query(query, variable_values=variables, operation_name=operation_name)


def fields(query, **variables):
    operation_type, lowered = lower(query, **variables)
    assert operation_type == "query"
    return lowered


def plan(field):
    """A field as plain data, children and directives included."""
    data = {name: getattr(field, name) for name in ("response_key", "field_name", "line", "column", *LEAF)}
    data["directives"] = [(d.name, d.arguments) for d in field.directives]
    return {**data, "selections": [plan(child) for child in field.selections]}


def plan_of(name, line, column, **values):
    return {**LEAF, "response_key": name, "field_name": name, "line": line, "column": column, **values}


QUERY = """
query Q($id: ID, $on: Boolean!, $n: Int) {
  node(id: $id, limit: 3) @custom(tag: "x", on: $on) {
    ... on Node { id ... @defer(label: "later") { slow } }
    ... on User { name nick: name }
  }
  list @stream(initialCount: $n, label: "s")
}
"""


def test_a_plan_in_full():
    operation_type, (node, stream) = lower(QUERY, "Q", id="7", on=True, n=2**63 - 1)
    assert operation_type == "query"
    assert plan(node) == plan_of("node", 3, 3, arguments={"id": "7", "limit": 3}, selections=[
        plan_of("id", 4, 19, type_condition="Node"),
        plan_of("slow", 4, 51, type_condition="Node", is_deferred=True, defer_label="later"),
        plan_of("name", 5, 19, type_condition="User"), plan_of("name", 5, 24, type_condition="User", response_key="nick"),
    ], directives=[("custom", {"tag": "x", "on": True})])
    assert plan(stream) == plan_of("list", 7, 3, is_streamed=True, stream_initial_count=2**63 - 1, stream_label="s")


def test_operation_types_and_arguments_by_keyword():
    operation_type, lowered = native.lower_query(query="query Q { a } mutation R { b }",
                                                 variable_values=type("V", (dict,), {})(), operation_name="R")
    assert operation_type == "mutation" and [field.response_key for field in lowered] == ["b"]


Opaque = type("Opaque", (), {})


# A value without a JSON form is absent to the directives.
@pytest.mark.parametrize("value", [Opaque(), type("Failing", (), {"__index__": raising(RuntimeError("no"))})()])
def test_values_without_a_json_form_are_absent(graphql_error, value):
    error = graphql_error("GRAPHQL_VALIDATION_FAILED", lower, "{ f @include(if: $v) }", v=value)
    assert (error.message, error.locations) == ("@include(if: $v) references undefined variable '$v'", None)


def test_arguments_hold_the_callers_objects_and_leave_an_absent_bare_variable_out():
    assert fields("{ f(a: $x, b: 1) }")[0].arguments == {"b": 1}
    assert fields("{ f(a: $x, b: 1) }", x=None)[0].arguments == {"a": None, "b": 1}
    value = Opaque()
    (field,) = fields("{ f(a: $v, b: [$v], c: $x) @custom(a: $v, b: $x) @other }", v=value)
    assert field.arguments == {"a": value, "b": [value]} and field.arguments["b"][0] is value
    assert [(d.name, d.arguments) for d in field.directives] == [("custom", {"a": value}), ("other", {})]
    assert field.directives[0].arguments["a"] is value


def test_directive_errors_come_before_those_of_children_and_arguments(graphql_error):
    error = graphql_error("GRAPHQL_VALIDATION_FAILED", lower, "{ f(a: [$field]) @custom(a: [$directive]) { g(a: [$child]) } }")
    assert error.message == "query references undefined variable '$directive'"
    error = graphql_error("GRAPHQL_VALIDATION_FAILED", lower, "{ f(a: [$field]) { g(a: [$child]) } }")
    assert error.message == "query references undefined variable '$child'"


def test_variables_are_read_without_dict_hooks(graphql_error):
    variables = type("Defaulting", (dict,), {"__missing__": lambda self, key: True})(present=5)
    _, (field,) = native.lower_query("{ f(a: $absent, b: $present) }", variable_values=variables)
    assert field.arguments == {"b": 5}
    graphql_error("GRAPHQL_VALIDATION_FAILED", native.lower_query, "{ f @include(if: $absent) }",
                  variable_values=variables)


def test_identity_rules():
    (field,) = fields("{ a(x: 1) @custom(y: 2) @bare { b c } }")
    assert field.arguments is field.arguments
    assert field.selections is not field.selections and field.selections[0] is field.selections[0]
    assert field.directives is not field.directives and field.directives[0] is field.directives[0]
    assert all(d.arguments is d.arguments for d in field.directives)
    leaf = field.selections[0]
    assert leaf.arguments is leaf.arguments and leaf.arguments == {}
    # The dicts are the caller's to change, each its own.
    field.arguments["z"] = 3
    assert field.arguments == {"x": 1, "z": 3}
    assert leaf.arguments is not field.selections[1].arguments


@pytest.mark.parametrize("query, reach", [
    ("{ a(x: 1) }", lambda field: field.arguments),  # a dict made by lowering
    ("{ a }", lambda field: field.arguments),  # a dict made on the first read
    ("{ a @custom }", lambda field: field.directives[0].arguments),
    ("{ a { b { c } } }", lambda field: field.selections[0].selections[0].arguments),
    # No getter is called: the objects hold the caller's list from the start.
    ("{ a(x: $v) }", None), ("{ a { b { c(x: [$v]) } } }", None),
], ids=["lowered-dict", "lazy-dict", "directive", "grandchild", "caller-object", "caller-list-in-child"])
def test_cycles_through_lowered_objects_are_collected(query, reach):
    sentinel = Opaque()
    holder = [sentinel]
    (field,) = fields(query, v=holder)
    if reach is not None:
        reach(field)["s"] = holder
    holder.append(field)
    ref = weakref.ref(sentinel)
    del sentinel, holder, field
    gc.collect()
    assert ref() is None


# Short names, and long ones whose hash reads them in blocks and a last part.
@pytest.mark.parametrize("width", [6, 1100])
def test_names_that_differ_only_inside_stay_apart_and_each_has_one_str(width):
    # Alike in length and in their first and last eight bytes; enough to grow every table.
    names = [f"aaaaaaaa{i:0{width}d}zzzzzzzz" for i in range(300)]
    spreads = " ".join(f"...{name}" for name in names)
    fragments = " ".join(f"fragment {name} on Q {{ {name}: f({name}: {{{name}: 1}}) }}" for name in names)
    lowered = fields(f"{{ {spreads} {spreads} }} {fragments}")
    assert [field.response_key for field in lowered] == names * 2
    for field, again in zip(lowered, lowered[len(names):]):
        (key,), (inner,) = field.arguments, field.arguments[field.response_key]
        assert key == inner == field.response_key and field.field_name == "f"
        assert key is inner is field.response_key is again.response_key
    view = native.parse_query_document(f"{{ {spreads} }} {fragments}")
    assert sorted(fragment.name for fragment in view.fragments) == names
    assert all(f.name is f.selections[0].alias for f in view.fragments)
