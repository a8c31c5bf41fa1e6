import enum
import json
import math
import subprocess
import sys
import textwrap
from pathlib import Path
from decimal import Decimal
from types import SimpleNamespace

import pytest
from fakes import NOT_STR, check_failure, raising
from hypothesis import given
from hypothesis import strategies as st

import quenfel._quenfel as native
import quenfel_testhooks as hooks

INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def json_value(obj):
    """obj as the engine sees it: JSON, read back keeping an integer apart from a double."""
    return json.loads(hooks.json_text(obj))


def lowered_argument(literal):
    """The value that lowering gives the argument written as `literal`."""
    _, (field,) = native.lower_query(f"{{ f(a: {literal}) }}", variable_values={})
    return field.arguments["a"]


def same(converted, original, key_order=list):
    """Equal with the same types throughout, and each dict's keys in key_order(original)."""
    if isinstance(original, dict):
        return list(converted) == key_order(original) and all(same(converted[k], v, key_order) for k, v in original.items())
    if isinstance(original, list):
        return len(converted) == len(original) and all(same(c, o, key_order) for c, o in zip(converted, original))
    return type(converted) is type(original) and converted == original


Index = type("Index", (), {"__index__": lambda self: -7})
# Only "not an integer": __float__ decides.
IndexFailsButFloat = type("IndexFailsButFloat", (), {"__index__": raising(ValueError), "__float__": lambda self: 0.25})
Color = enum.IntEnum("Color", "RED")


def unserializable(type_name):
    return ValueError(f"value of type '{type_name}' is not JSON-serializable")


# A value without a JSON form has no literal either.
@pytest.mark.parametrize("value, expected, literal", [
    (INT64_MAX, INT64_MAX, "9223372036854775807"), (INT64_MIN, INT64_MIN, "-9223372036854775808"),
    (2**63, 9223372036854775808.0, "9.223372036854776e+18"), (2**64 + 1, float(2**64), "1.8446744073709552e+19"),
    (Decimal("1.5"), 1.5, "1.5"), (Color.RED, 1, "1"), (Index(), -7, "-7"), (IndexFailsButFloat(), 0.25, "0.25"),
    (math.nan, None, "null"), (-math.inf, None, "null"), (Decimal("NaN"), None, "null"),
    ((1,), unserializable("tuple"), None), ([1, (2,)], unserializable("tuple"), None),
    ({"a": [{"b": {1, 2}}]}, unserializable("set"), None), (object(), unserializable("object"), None),
    (2**1100, unserializable("int"), None), ("\ud800", unserializable("str"), None),
    ({"a": 1, 2: "b"}, TypeError(NOT_STR), None),
])
def test_values_keep_their_kind_in_json_and_as_literals(value, expected, literal):
    if isinstance(expected, Exception):
        check_failure(lambda: hooks.json_text(value), type(expected), str(expected))
    else:
        assert same(json_value(value), expected)
    assert hooks.default_literal(value) == literal


def test_keys_sort_by_utf8():
    # U+FFFF sorts before U+10000 in UTF-8 but after it in UTF-16.
    assert list(json_value(dict.fromkeys(["\U00010000", "\uffff", "b", "B", "a"], 0))) == ["B", "a", "b", "\uffff", "\U00010000"]


def test_nesting_past_the_bound_is_a_recursion_error_whatever_the_interpreter_allows():
    # In a fresh interpreter: before the bound, these crashed the process.
    code = textwrap.dedent("""
        import sys
        sys.setrecursionlimit(10**6)
        import quenfel._quenfel as native, quenfel_testhooks as hooks
        from fakes import directive, resolve
        import enum
        deep, alias = [], int
        for _ in range(35_000):
            deep = [deep]
        for _ in range(2_000):
            alias = list[alias]
        def default(x: list = deep): ...
        for call in [
            lambda: native.lower_query("query($v: Boolean) { a @skip(if: $v) }", variable_values={"v": deep}),
            lambda: hooks.json_text({"k": deep}),
            lambda: native.process_enum(enum.Enum("E", "A"), directives=[directive("d", v=deep)]),
            lambda: native.describe_operation_directive(default, locations=["FIELD"]),
            lambda: resolve(alias),
        ]:
            try:
                call()
            except RecursionError as error:
                print(error)
    """)
    out = subprocess.run([sys.executable, "-c", code], cwd=Path(__file__).parent, capture_output=True, text=True,
                         timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == [f"maximum recursion depth exceeded while {where}" for where in (
        "converting a list to JSON", "converting a list to JSON", "converting a list to JSON",
        "writing a list default", "resolving a type annotation")]


Interrupting = type("Interrupting", (), {"__index__": raising(KeyboardInterrupt)})
OutOfMemory = type("OutOfMemory", (), {"__float__": raising(MemoryError)})


def lower_with(value):
    """Lowering, which reads the variable's JSON form for the directive."""
    return native.lower_query("{ a @include(if: $v) }", variable_values={"v": value})


@pytest.mark.parametrize("convert", [hooks.json_text, lower_with])
@pytest.mark.parametrize("value, error", [([Interrupting()], KeyboardInterrupt), ({"a": OutOfMemory()}, MemoryError)])
def test_real_failures_inside_a_kind_test_are_not_swallowed(convert, value, error):
    with pytest.raises(error):
        convert(value)


def test_containers_changed_by_their_own_conversion(panics):
    items, values = [], {}
    items.extend([type("Shrinking", (), {"__float__": lambda self: items.clear() or 1.0})(), 2, 3])
    assert json_value(items) == [1.0]
    values["a"] = type("Growing", (), {"__float__": lambda self: values.update(more=1) or 1.0})()
    with panics("dictionary changed size during iteration"):
        hooks.json_text(values)


scalars = st.none() | st.booleans() | st.integers(INT64_MIN, INT64_MAX) | st.floats(allow_nan=False, allow_infinity=False) | st.text()
names = st.from_regex(r"[_A-Za-z][_0-9A-Za-z]{0,8}", fullmatch=True)


@given(st.recursive(scalars, lambda inner: st.lists(inner) | st.dictionaries(st.text(), inner), max_leaves=30))
def test_json_like_data_round_trips(value):
    assert same(json_value(value), value, key_order=lambda d: sorted(d, key=str.encode))


@given(st.recursive(scalars, lambda inner: st.lists(inner) | st.dictionaries(names, inner), max_leaves=25))
def test_default_literal_reads_back_as_the_same_value(value):
    # Written as a default, read back by the query parser: the text must be a GraphQL literal of exactly that value.
    literal = hooks.default_literal(value)
    assert same(lowered_argument(literal), value), literal


@pytest.mark.parametrize("literal, expected", [
    ("9223372036854775807", INT64_MAX), ("9223372036854775808", 2.0**63), ("RED", "RED"),
    ("{b: 1, a: {d: 2, c: 3}, b: true}", {"b": True, "a": {"d": 2, "c": 3}})])
def test_literals_become_python_values(literal, expected):
    assert same(lowered_argument(literal), expected)


def decorate(cls, kind="enum", **graphql_names):
    values = [SimpleNamespace(name=name, graphql_name=graphql) for name, graphql in graphql_names.items()]
    cls.__quenfel_type_info__ = SimpleNamespace(kind=kind, enum_values=values)
    return cls


def test_enum_members_are_written_by_their_graphql_names():
    episode = decorate(enum.Enum("Episode", "NEW_HOPE EMPIRE JEDI"), NEW_HOPE="newHope", EMPIRE=None)
    rank = decorate(enum.IntEnum("Rank", "LOW"), LOW="low")
    named = [episode.NEW_HOPE, episode.EMPIRE, episode.JEDI, [rank.LOW, {"e": episode.JEDI}]]  # the name wins over 1
    assert [hooks.default_literal(value) for value in named] == ["newHope", "EMPIRE", "JEDI", "[low, {e: JEDI}]"]
    # Not a decorated enum's member, and no other kind of value either: no literal.
    described = decorate(type("Described", (), {}), kind="object", name="n")
    assert [hooks.default_literal(value) for value in (enum.Enum("Plain", "A").A, described(), episode)] == [None] * 3


def test_a_failing_marker_lookup_means_not_decorated_unless_it_is_a_real_failure():
    def instance_whose_type_raises(raised):
        return type("Meta", (type,), {"__getattr__": raising(raised)})("Odd", (), {})()

    assert hooks.default_literal(instance_whose_type_raises(RuntimeError)) is None
    with pytest.raises(KeyboardInterrupt):
        hooks.default_literal(instance_whose_type_raises(KeyboardInterrupt))


@pytest.mark.parametrize("info, error", [
    (SimpleNamespace(kind=5, enum_values=[]), TypeError), (SimpleNamespace(enum_values=[]), AttributeError),
    (SimpleNamespace(kind="enum"), AttributeError), (SimpleNamespace(kind="enum", enum_values=3), TypeError),
    (SimpleNamespace(kind="enum", enum_values=[SimpleNamespace(graphql_name="x")]), AttributeError),
    (SimpleNamespace(kind="enum", enum_values=[SimpleNamespace(name="A", graphql_name=7)]), TypeError),
])
def test_errors_reading_a_decorated_enum_are_raised(info, error):
    Broken = enum.Enum("Broken", "A")
    Broken.__quenfel_type_info__ = info
    with pytest.raises(error):
        hooks.default_literal({"a": [Broken.A]})
