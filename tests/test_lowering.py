import gc
import inspect
import sys
import weakref

import pytest
import quenfel._error as host
import quenfel._quenfel as native

FIELD_ATTRIBUTES = (
    "response_key field_name type_condition arguments directives selections line column "
    "is_deferred defer_label is_streamed stream_initial_count stream_label"
).split()


def lower(query, operation_name=None, **variables):
    return native.lower_query(query, variable_values=variables, operation_name=operation_name)


def fields(query, **variables):
    operation_type, lowered = lower(query, **variables)
    assert operation_type == "query"
    return lowered


def plan(field):
    """A field as plain data, children and directives included."""
    data = {name: getattr(field, name) for name in FIELD_ATTRIBUTES}
    data["directives"] = [(d.name, d.arguments) for d in field.directives]
    data["selections"] = [plan(child) for child in field.selections]
    return data


def keys(lowered):
    return [field.response_key for field in lowered]


def lowering_error(query, operation_name=None, **variables):
    with pytest.raises(host.GraphQLError) as info:
        lower(query, operation_name, **variables)
    assert info.value.locations is None
    return info.value


# ---- The module's surface ----------------------------------------------------


def test_signatures_and_docstrings():
    for function, first in ((native.lower_query, "query"), (native.lower_document, "document")):
        assert str(inspect.signature(function)) == f"({first}, *, variable_values, operation_name=None)"
        assert function.__doc__.strip()
    assert "LoweredField" in native.lower_query.__doc__
    assert "ParsedDocument" in native.lower_document.__doc__


def test_class_attributes_in_order():
    attributes = [name for name in vars(native.LoweredField) if not name.startswith("__")]
    assert attributes == FIELD_ATTRIBUTES
    documented = [name for name in attributes if getattr(native.LoweredField, name).__doc__]
    assert documented == ["line", "is_deferred", "is_streamed"]
    assert "@skip/@include" in native.LoweredField.__doc__
    assert [name for name in vars(native.LoweredDirective) if not name.startswith("__")] == ["name", "arguments"]
    assert native.LoweredDirective.__doc__ is None


@pytest.mark.parametrize(
    "query, operation_type",
    [("{ a }", "query"), ("query { a }", "query"), ("mutation { a }", "mutation"), ("subscription { a }", "subscription")],
)
def test_operation_type(query, operation_type):
    result = lower(query)
    assert type(result) is tuple and len(result) == 2
    assert result[0] == operation_type and type(result[0]) is str
    assert type(result[1]) is list


# ---- Arguments of the functions ----------------------------------------------


@pytest.mark.parametrize(
    "call, message, parameter",
    [
        (lambda: native.lower_query(1, variable_values={}), "'int' object is not an instance of 'str'", "query"),
        (lambda: native.lower_document("{ a }", variable_values={}), "'str' object is not an instance of 'ParsedDocument'", "document"),
        (lambda: native.lower_query("{ a }", variable_values=[]), "'list' object is not an instance of 'dict'", "variable_values"),
        (lambda: native.lower_query("{ a }", variable_values=None), "'None' is not an instance of 'dict'", "variable_values"),
        (lambda: native.lower_query("{ a }", variable_values={}, operation_name=b"Q"), "'bytes' object is not an instance of 'str'", "operation_name"),
        # The first parameter in order is reported.
        (lambda: native.lower_query(1, variable_values=None, operation_name=2), "'int' object is not an instance of 'str'", "query"),
    ],
)
def test_wrong_argument_kinds_name_the_parameter(call, message, parameter):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        (("{ a }",), {}, "lower_query() missing 1 required keyword-only argument: 'variable_values'"),
        (("{ a }", {}), {}, "lower_query() takes 1 positional argument but 2 were given"),
    ],
)
def test_argument_errors_match_the_interpreter(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        native.lower_query(*args, **kwargs)
    assert str(info.value) == message


def test_every_parameter_by_keyword_and_a_dict_subclass():
    class Variables(dict):
        pass

    _, lowered = native.lower_query(query="query Q { a } query R { b }", variable_values=Variables(), operation_name="R")
    assert keys(lowered) == ["b"]


def test_non_str_variable_name_fails_before_lowering():
    # The query would fail to lower; the key is reported first.
    with pytest.raises(TypeError) as info:
        native.lower_query("{ ...Missing }", variable_values={"ok": 1, 2: "x"})
    assert str(info.value) == "'int' object is not an instance of 'str'"
    with pytest.raises(UnicodeEncodeError):
        native.lower_query("{ a }", variable_values={"\ud800": 1})


def test_syntax_error_is_a_parse_failure():
    with pytest.raises(host.GraphQLError) as info:
        lower("{ a(")
    assert info.value.code is host.ErrorCode.GRAPHQL_PARSE_FAILED
    assert info.value.locations


def test_operation_choice():
    query = "query A { a } mutation B { b }"
    assert lower(query, "B")[0] == "mutation"
    assert lowering_error(query).message == "document contains multiple operations; operation_name is required"
    assert lowering_error(query, "C").message == "no operation named 'C'"


# ---- The plan ------------------------------------------------------------------

QUERY = """
query Q($id: ID, $on: Boolean!, $n: Int) {
  node(id: $id, limit: 3) @custom(tag: "x", on: $on) {
    ...Parts
    ... on User @include(if: $on) { name nick: name }
    ... @skip(if: true) { hidden }
  }
  list @stream(initialCount: $n, label: "s")
}
fragment Parts on Node {
  id
  ... @defer(label: "later") { slow }
}
"""


def plan_of(name, *, line, column, condition=None, response_key=None, **values):
    data = dict.fromkeys(FIELD_ATTRIBUTES[8:])  # the markers: None, then False for the flags
    data.update(is_deferred=False, is_streamed=False, arguments={}, directives=[], selections=[])
    data.update(response_key=response_key or name, field_name=name, type_condition=condition, line=line, column=column)
    data.update(values)
    return data


def test_a_plan_in_full():
    _, (node, stream) = lower(QUERY, "Q", id="7", on=True, n=2)
    assert plan(node) == plan_of(
        "node",
        line=3,
        column=3,
        arguments={"id": "7", "limit": 3},
        directives=[("custom", {"tag": "x", "on": True})],
        selections=[
            plan_of("id", condition="Node", line=11, column=3),
            plan_of("slow", condition="Node", line=12, column=32, is_deferred=True, defer_label="later"),
            plan_of("name", condition="User", line=5, column=37),
            plan_of("name", condition="User", line=5, column=42, response_key="nick"),
        ],
    )
    assert plan(stream) == plan_of("list", line=8, column=3, is_streamed=True, stream_initial_count=2, stream_label="s")


def test_lower_document_matches_lower_query():
    document = native.parse_query(QUERY)
    variables = {"id": "7", "on": False, "n": 0}
    _, by_text = lower(QUERY, "Q", **variables)
    operation_type, by_handle = native.lower_document(document, variable_values=variables, operation_name="Q")
    assert operation_type == "query"
    assert [plan(f) for f in by_handle] == [plan(f) for f in by_text]
    # The handle is unchanged and lowers again, under other variables.
    _, again = native.lower_document(document, variable_values={**variables, "on": True}, operation_name="Q")
    assert len(again[0].selections) == len(by_handle[0].selections) + 2


def test_skip_and_include():
    query = "{ a @skip(if: $s) b @include(if: $i) c @include(if: true) @skip(if: false) d @include(if: false) }"
    assert keys(fields(query, s=False, i=True)) == ["a", "b", "c"]
    assert keys(fields(query, s=True, i=False)) == ["c"]
    # A pruned spread of an undefined fragment is no error; a fragment's own @include counts.
    assert keys(fields("{ ...Missing @skip(if: true) ...F } fragment F on T @include(if: false) { x }")) == []


def test_type_conditions_and_fragments():
    query = """{
      ... on A { ...F  ... { inner } }
      child { plain }
      ...F ...F
    }
    fragment F on B { f }"""
    lowered = fields(query)
    assert [(f.response_key, f.type_condition) for f in lowered] == [
        ("f", "B"), ("inner", "A"), ("child", None), ("f", "B"), ("f", "B"),
    ]
    assert lowered[2].selections[0].type_condition is None


def test_defer_flattening():
    labelled = fields('{ ... @defer(label: "x") { a } ... @defer(label: "y") { b } }')
    assert [(f.is_deferred, f.defer_label) for f in labelled] == [(True, "x"), (True, "y")]
    # A response key also selected elsewhere is not deferred.
    assert [f.is_deferred for f in fields("{ a ... @defer { a } }")] == [False, False]
    assert [f.is_deferred for f in fields("{ ... @defer(if: $d) { a } }", d=False)] == [False]


def test_stream_settings():
    cases = [
        ("@stream", (True, 0, None)),
        ('@stream(if: $off, initialCount: "x")', (False, None, None)),
    ]
    for directives, expected in cases:
        (field,) = fields(f"{{ items {directives} }}", off=False)
        assert (field.is_streamed, field.stream_initial_count, field.stream_label) == expected, directives
    (field,) = fields("{ items @stream(initialCount: $n) }", n=2**63 - 1)
    assert field.stream_initial_count == 2**63 - 1


@pytest.mark.parametrize(
    "query, variables, message, code",
    [
        ("{ ...Missing }", {}, "undefined fragment 'Missing'", "GRAPHQL_VALIDATION_FAILED"),
        ("{ ...F } fragment F on T { a { ...F } }", {}, "Fragment cycle detected involving 'F'", "INVALID_FRAGMENT_TARGET"),
        ("{ a @include(if: $v) }", {"v": None}, "variable '$v' used in @include(if: ...) must be a boolean", "GRAPHQL_VALIDATION_FAILED"),
        ("{ a @stream(initialCount: $n) }", {"n": 3.0}, "variable '$n' used in @stream(initialCount: ...) must be an integer", "GRAPHQL_VALIDATION_FAILED"),
        ("{ a @stream(initialCount: $n) }", {"n": 2**63}, "variable '$n' used in @stream(initialCount: ...) must be an integer", "GRAPHQL_VALIDATION_FAILED"),
        # A declared default is never applied.
        ("query($f: Boolean = false) { a @skip(if: $f) }", {}, "@skip(if: $f) references undefined variable '$f'", "GRAPHQL_VALIDATION_FAILED"),
    ],
)
def test_lowering_errors(query, variables, message, code):
    error = lowering_error(query, **variables)
    assert error.message == message
    assert error.code is host.ErrorCode[code]


def test_plans_beyond_the_limits_are_refused():
    # Each fragment doubles the plan: 2**20 fields from a few lines of text.
    levels = ["fragment F0 on T { a b }"]
    levels += [f"fragment F{i} on T {{ ...F{i - 1} ...F{i - 1} }}" for i in range(1, 20)]
    error = lowering_error("{ ...F19 }\n" + "\n".join(levels))
    assert error.message == "lowering would produce more than 100000 field plans"
    # A chain of spreads nests deeper than any one selection set may.
    chain = "\n".join(f"fragment C{i} on T {{ ...C{i + 1} }}" for i in range(600))
    error = lowering_error("{ ...C0 }\n" + chain + "\nfragment C600 on T { a }")
    assert error.message == "lowering would nest selection sets and fragments more than 512 levels deep"
    # Just inside the bound: a plan 250 fields deep is built and released.
    chain = "\n".join(f"fragment D{i} on T {{ a{i} {{ ...D{i + 1} }} }}" for i in range(250))
    (field,) = fields("{ ...D0 }\n" + chain + "\nfragment D250 on T { leaf }")
    depth = 0
    while field.selections:
        (field,) = field.selections
        depth += 1
    assert (depth, field.field_name) == (250, "leaf")


# ---- Variables in arguments ------------------------------------------------------


def test_bare_variable_absent_leaves_the_argument_out():
    (field,) = fields("{ f(a: $x, b: 1) }")
    assert field.arguments == {"b": 1}
    (field,) = fields("{ f(a: $x, b: 1) }", x=None)
    assert field.arguments == {"a": None, "b": 1}


def test_directive_arguments_follow_the_same_rules():
    (field,) = fields("{ f @custom(a: $x, b: $y) @other }", y=[1])
    assert [(d.name, d.arguments) for d in field.directives] == [("custom", {"b": [1]}), ("other", {})]
    with pytest.raises(host.GraphQLError, match=r"'\$x'"):
        lower("{ f @custom(a: {k: $x}) }")


def test_directive_errors_come_before_those_of_children_and_arguments():
    error = lowering_error("{ f(a: [$field]) @custom(a: [$directive]) { g(a: [$child]) } }")
    assert error.message == "query references undefined variable '$directive'"
    error = lowering_error("{ f(a: [$field]) { g(a: [$child]) } }")
    assert error.message == "query references undefined variable '$child'"


def test_a_value_without_json_form():
    class Opaque:
        pass

    value = Opaque()
    (field,) = fields("{ f(a: $v, b: [$v]) @custom(c: $v) }", v=value)
    assert field.arguments["a"] is value and field.arguments["b"][0] is value
    assert field.directives[0].arguments["c"] is value
    error = lowering_error("{ f @include(if: $v) }", v=value)
    assert error.message == "@include(if: $v) references undefined variable '$v'"
    error = lowering_error("{ f @stream(initialCount: $v) }", v=(1,))
    assert error.message == "@stream(initialCount: $v) references undefined variable '$v'"


def test_dict_subclass_missing_hook_is_not_called():
    class Defaulting(dict):
        def __missing__(self, key):
            return True

        def __getitem__(self, key):
            raise AssertionError("a plain lookup is expected")

    variables = Defaulting(present=5)
    _, (field,) = native.lower_query("{ f(a: $absent, b: $present) }", variable_values=variables)
    assert field.arguments == {"b": 5}
    with pytest.raises(host.GraphQLError, match="undefined variable"):
        native.lower_query("{ f @include(if: $absent) }", variable_values=variables)


def test_keys_of_a_str_subclass_reach_the_directives():
    class Name(str):
        def __hash__(self):
            return 1

        def __eq__(self, other):
            return str(self) == str(other)

    assert keys(fields("{ a @include(if: $on) b }", **{Name("on"): False})) == ["b"]


# ---- Only the variables the directives read are converted -------------------------


class Counting:
    """Counts how often lowering asks for its JSON form (an int through __index__)."""

    def __init__(self, value):
        self.value = value
        self.calls = 0

    def __index__(self):
        self.calls += 1
        return self.value


def test_only_directive_variables_are_converted_and_each_once():
    unused, used = Counting(1), Counting(2)
    query = "{ a(x: $unused) b @stream(initialCount: $n) ...F ...F } fragment F on T { c @stream(initialCount: $n) }"
    lowered = fields(query, unused=unused, n=used)
    assert [f.stream_initial_count for f in lowered] == [None, 2, 2, 2]
    assert (unused.calls, used.calls) == (0, 1)
    assert lowered[0].arguments["x"] is unused


def test_real_failure_in_a_directive_variable_is_raised_after_lowering():
    class Interrupting:
        def __index__(self):
            raise KeyboardInterrupt

    class Exhausting:
        def __float__(self):
            raise MemoryError

    with pytest.raises(KeyboardInterrupt):
        lower("{ a @stream(initialCount: $n) }", n=Interrupting())
    with pytest.raises(MemoryError):
        lower("{ a @include(if: $b) }", b=[Exhausting()])


def test_ordinary_failure_in_a_directive_variable_means_absent():
    class Failing:
        def __index__(self):
            raise RuntimeError("no")

    error = lowering_error("{ a @stream(initialCount: $n) }", n=Failing())
    assert error.message == "@stream(initialCount: $n) references undefined variable '$n'"


def test_variables_resized_while_converting_is_a_fatal_error():
    variables = {}

    class Growing:
        def __index__(self):
            variables["more"] = 1
            return 1

    variables["n"] = Growing()
    with pytest.raises(BaseException, match="dictionary changed size during iteration") as info:
        native.lower_query("{ a @stream(initialCount: $n) }", variable_values=variables)
    assert info.type.__qualname__ == "PanicException"


# ---- Identity and garbage collection --------------------------------------------


def test_identity_rules():
    (field,) = fields("{ a(x: 1) @custom(y: 2) @bare { b c } d }")[:1]
    assert field.arguments is field.arguments
    assert field.selections is not field.selections
    assert all(x is y for x, y in zip(field.selections, field.selections))
    assert field.directives is not field.directives
    assert field.directives[0] is field.directives[0]
    for directive in field.directives:
        assert directive.arguments is directive.arguments
    assert field.directives[1].arguments == {}
    leaf = field.selections[0]
    assert leaf.arguments is leaf.arguments and leaf.arguments == {}
    # The dicts are the caller's to change, each its own.
    field.arguments["z"] = 3
    assert field.arguments == {"x": 1, "z": 3}
    assert leaf.arguments is not field.selections[1].arguments


class Sentinel:
    pass


def test_the_callers_values_keep_their_reference_counts():
    value, items = Sentinel(), [1]
    variables = {"v": value, "l": items, "on": True}
    watched = (value, items, variables)
    before = [sys.getrefcount(x) for x in watched]
    query = "{ a(x: $v, y: [$l, {k: $v}]) @custom(z: $l) @include(if: $on) { b(w: $v) } }"
    for _ in range(100):
        _, lowered = native.lower_query(query, variable_values=variables)
        lowered[0].directives[0].arguments, lowered[0].selections[0].arguments
        del lowered
        # Failures after some values were placed, and in the engine's own view.
        for failing in ("{ a(x: $v, y: [$v, $missing]) }", "{ a @include(if: $l) }"):
            with pytest.raises(host.GraphQLError):
                native.lower_query(failing, variable_values=variables)
    gc.collect()
    assert [sys.getrefcount(x) for x in watched] == before


def collected(make_cycle):
    """Whether a cycle that make_cycle builds around a Sentinel is freed by the collector."""
    sentinel = Sentinel()
    make_cycle(sentinel)
    ref = weakref.ref(sentinel)
    del sentinel
    gc.collect()
    return ref() is None


def test_cycles_through_arguments_are_collected():
    def through_field(sentinel):
        (field,) = fields("{ a(x: 1) }")
        field.arguments["s"], sentinel.field = sentinel, field

    def through_leaf_read_late(sentinel):
        (field,) = fields("{ a }")
        field.arguments["s"], sentinel.field = sentinel, field

    def through_directive(sentinel):
        (field,) = fields("{ a @custom }")
        directive = field.directives[0]
        directive.arguments["s"], sentinel.field = sentinel, field

    def parent_in_child(sentinel):
        (parent,) = fields("{ a { b { c } } }")
        grandchild = parent.selections[0].selections[0]
        grandchild.arguments["parent"], grandchild.arguments["s"] = parent, sentinel

    def caller_object(sentinel):
        (field,) = fields("{ a(x: $v) }", v=sentinel)
        sentinel.field = field

    def caller_list_in_a_child(sentinel):
        # No getter of the child is called: it holds the caller's list from the start.
        holder = [sentinel]
        (parent,) = fields("{ a { b { c(x: [$v]) } } }", v=holder)
        holder.append(parent)

    makers = (through_field, through_leaf_read_late, through_directive, parent_in_child, caller_object, caller_list_in_a_child)
    for make_cycle in makers:
        assert collected(make_cycle), make_cycle.__name__
