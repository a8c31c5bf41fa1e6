import enum
import math
from decimal import Decimal
from types import SimpleNamespace

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quenfel._error as host
import quenfel._quenfel as native
import quenfel_testhooks as hooks

INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def lowered_argument(literal, **variables):
    """The value that lowering gives the argument written as `literal`."""
    _, (field,) = native.lower_query(f"{{ f(a: {literal}) }}", variable_values=variables)
    return field.arguments["a"]


# ---- Python to JSON ----------------------------------------------------------


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Floating:
    def __float__(self):
        return 2.5


class BrokenIndexButFloat:
    """__index__ raises: only "not an integer"; __float__ decides."""

    def __index__(self):
        raise ValueError("no index")

    def __float__(self):
        return 0.25


class Color(enum.IntEnum):
    RED = 1


def test_scalars_keep_their_json_kind():
    cases = [
        (True, True),
        (False, False),
        (None, None),
        (0, 0),
        (INT64_MAX, INT64_MAX),
        (INT64_MIN, INT64_MIN),
        (2**63, 9223372036854775808.0),
        (2**64 + 1, float(2**64)),
        (1.5, 1.5),
        (Decimal("1.5"), 1.5),
        (Color.RED, 1),
        (Index(-7), -7),
        (Floating(), 2.5),
        (BrokenIndexButFloat(), 0.25),
        ("text", "text"),
    ]
    for given_value, expected in cases:
        converted = hooks.json_value(given_value)
        assert converted == expected and type(converted) is type(expected), given_value


@pytest.mark.parametrize("value", [math.nan, math.inf, -math.inf, Decimal("NaN"), Decimal("-Infinity")])
def test_non_finite_numbers_become_null(value):
    assert hooks.json_value(value) is None


def test_containers_and_their_subclasses():
    class Items(list):
        def __iter__(self):
            raise AssertionError("the list's own items are read")

    class Mapping(dict):
        def __missing__(self, key):
            raise AssertionError("not a lookup")

    class Text(str):
        pass

    value = Mapping(b=Items([1, Text("x")]), a={"z": None, "y": [True]})
    converted = hooks.json_value(value)
    assert converted == {"a": {"y": [True], "z": None}, "b": [1, "x"]}
    assert list(converted) == ["a", "b"] and list(converted["a"]) == ["y", "z"]


def test_keys_sort_by_utf8_bytes():
    # U+FFFF sorts before U+10000 in UTF-8 but after it in UTF-16.
    keys = ["\U00010000", "\uffff", "b", "B", "a"]
    assert list(hooks.json_value(dict.fromkeys(keys, 0))) == ["B", "a", "b", "\uffff", "\U00010000"]


@pytest.mark.parametrize(
    "value, type_name",
    [
        ((1,), "tuple"),
        ([1, (2,)], "tuple"),
        ({"a": [{"b": {1, 2}}]}, "set"),
        (b"bytes", "bytes"),
        (object(), "object"),
        (2**1100, "int"),
        ("lone \ud800 surrogate", "str"),
    ],
)
def test_values_without_a_json_form(value, type_name):
    with pytest.raises(ValueError) as info:
        hooks.json_value(value)
    assert str(info.value) == f"value of type '{type_name}' is not JSON-serializable"


def test_non_str_key_is_a_type_error():
    with pytest.raises(TypeError) as info:
        hooks.json_value({"a": 1, 2: "b"})
    assert str(info.value) == "'int' object is not an instance of 'str'"
    assert not hasattr(info.value, "__notes__")


def test_self_containing_list_raises_recursion_error():
    loop = []
    loop.append(loop)
    with pytest.raises(RecursionError):
        hooks.json_value(loop)


def test_real_failures_inside_a_kind_test_are_not_swallowed():
    class Interrupting:
        def __index__(self):
            raise KeyboardInterrupt

    class OutOfMemory:
        def __float__(self):
            raise MemoryError

    with pytest.raises(KeyboardInterrupt):
        hooks.json_value([Interrupting()])
    with pytest.raises(MemoryError):
        hooks.json_value({"a": OutOfMemory()})


def test_dict_resized_by_its_own_conversion_is_a_fatal_error():
    values = {}

    class Growing:
        def __float__(self):
            values["more"] = 1
            return 1.0

    values["a"] = Growing()
    with pytest.raises(BaseException, match="dictionary changed size during iteration") as info:
        hooks.json_value(values)
    assert info.type.__qualname__ == "PanicException"


def test_list_shrunk_by_its_own_conversion_is_read_safely():
    items = []

    class Shrinking:
        def __float__(self):
            items.clear()
            return 1.0

    items.extend([Shrinking(), 2, 3])
    assert hooks.json_value(items) == [1.0]


scalars = (
    st.none()
    | st.booleans()
    | st.integers(INT64_MIN, INT64_MAX)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text()
)
json_like = st.recursive(scalars, lambda inner: st.lists(inner) | st.dictionaries(st.text(), inner), max_leaves=30)


def same_json(converted, original):
    """Equal, with every integer still an int and every object's keys sorted by UTF-8."""
    if isinstance(original, dict):
        return list(converted) == sorted(original, key=lambda k: k.encode()) and all(
            same_json(converted[k], v) for k, v in original.items()
        )
    if isinstance(original, list):
        return len(converted) == len(original) and all(map(same_json, converted, original))
    return type(converted) is type(original) and converted == original


@given(json_like)
def test_json_like_data_round_trips(value):
    assert same_json(hooks.json_value(value), value)


# ---- Query values to Python --------------------------------------------------


def test_literals_become_python_values():
    cases = [
        ("null", None),
        ("true", True),
        ("9223372036854775807", INT64_MAX),
        ("-9223372036854775808", INT64_MIN),
        ("1.5", 1.5),
        ("1e3", 1000.0),
        ('"a\\"b\\u00e9\\n"', 'a"b\u00e9\n'),
        ('"""\n  block\n    text\n"""', "block\n  text"),
        ("RED", "RED"),
        ("[1, [null], {}]", [1, [None], {}]),
    ]
    for literal, expected in cases:
        value = lowered_argument(literal)
        assert value == expected and type(value) is type(expected), literal


def test_unsigned_integer_beyond_int64_becomes_float():
    value = lowered_argument("18446744073709551615")
    assert type(value) is float and value == 18446744073709551615.0
    assert lowered_argument("9223372036854775808") == 9223372036854775808.0


def test_object_literal_keeps_the_written_order():
    value = lowered_argument("{b: 1, a: {d: 2, c: 3}, b: 4}")
    assert value == {"b": 4, "a": {"d": 2, "c": 3}}
    assert list(value) == ["b", "a"] and list(value["a"]) == ["d", "c"]


def test_variables_inside_literals_are_the_callers_objects():
    marker = object()
    value = lowered_argument("[$v, {k: $v, n: $none}]", v=marker, none=None)
    assert value[0] is marker and value[1]["k"] is marker and value[1]["n"] is None


def test_absent_variable_inside_a_literal_is_an_error():
    with pytest.raises(host.GraphQLError) as info:
        lowered_argument("{k: [$missing]}")
    assert info.value.message == "query references undefined variable '$missing'"
    assert info.value.code is host.ErrorCode.GRAPHQL_VALIDATION_FAILED
    assert info.value.locations is None


# ---- Default values as GraphQL literals --------------------------------------


def test_default_literals():
    cases = [
        ([1, 2], "[1, 2]"),
        ({"a": 1}, "{a: 1}"),
        ({"b": [True, None], "a": {"c": "x"}}, '{b: [true, null], a: {c: "x"}}'),
        ([], "[]"),
        ({}, "{}"),
        ("say \"hi\"\n", '"say \\"hi\\"\\n"'),
        (None, "null"),
        (math.nan, "null"),
        (math.inf, "null"),
        (True, "true"),
        (False, "false"),
        (-5, "-5"),
        (1.5, "1.5"),
        (2**64, "1.8446744073709552e+19"),
        (Decimal("0.25"), "0.25"),
        (Color.RED, "1"),
    ]
    for value, literal in cases:
        assert hooks.default_literal(value) == literal, value


@pytest.mark.parametrize(
    "value", [(1, 2), {1: "a"}, [1, (2,)], {"a": {"b": {3}}}, b"x", object(), 2**1100, "\ud800"]
)
def test_values_without_a_literal(value):
    assert hooks.default_literal(value) is None


names = st.from_regex(r"[_A-Za-z][_0-9A-Za-z]{0,8}", fullmatch=True)
literal_like = st.recursive(
    scalars, lambda inner: st.lists(inner) | st.dictionaries(names, inner), max_leaves=25
)


def same_value(lowered, original):
    """Equal, with dict entries in the same order and the same types."""
    if isinstance(original, dict):
        return list(lowered) == list(original) and all(same_value(lowered[k], v) for k, v in original.items())
    if isinstance(original, list):
        return len(lowered) == len(original) and all(map(same_value, lowered, original))
    return type(lowered) is type(original) and lowered == original


@given(literal_like)
def test_default_literal_reads_back_as_the_same_value(value):
    # Written as a default, read back by the query parser: the text must be a
    # GraphQL literal of exactly that value.
    literal = hooks.default_literal(value)
    assert same_value(lowered_argument(literal), value), literal


# ---- Enum members ------------------------------------------------------------


def decorate(cls, kind="enum", **graphql_names):
    values = [SimpleNamespace(name=name, graphql_name=graphql) for name, graphql in graphql_names.items()]
    cls.__quenfel_type_info__ = SimpleNamespace(kind=kind, enum_values=values)
    return cls


class Episode(enum.Enum):
    NEW_HOPE = 4
    EMPIRE = 5
    JEDI = 6


decorate(Episode, NEW_HOPE="newHope", EMPIRE=None)


class Rank(enum.IntEnum):
    LOW = 1


decorate(Rank, LOW="low")


def test_enum_member_names():
    assert hooks.enum_literal(Episode.NEW_HOPE) == "newHope"
    assert hooks.enum_literal(Episode.EMPIRE) == "EMPIRE"
    assert hooks.enum_literal(Episode.JEDI) == "JEDI"  # not among the described values
    assert hooks.enum_literal(Rank.LOW) == "low"
    assert hooks.default_literal(Rank.LOW) == "low"  # the name wins over the integer
    assert hooks.default_literal([Episode.NEW_HOPE, {"e": Episode.JEDI}]) == "[newHope, {e: JEDI}]"


def test_not_a_decorated_enum_member():
    class Plain(enum.Enum):
        A = 1

    class Described:
        pass

    decorate(Described, kind="object", name="n")
    for value in (Plain.A, Color.RED, Described(), 1, "A", None, Episode):
        assert hooks.enum_literal(value) is None
    assert hooks.default_literal(Plain.A) is None


def test_failing_marker_lookup_means_not_decorated():
    class Meta(type):
        def __getattr__(cls, name):
            raise RuntimeError("lookup failed")

    class Odd(metaclass=Meta):
        pass

    assert hooks.enum_literal(Odd()) is None


def test_interrupted_marker_lookup_is_not_swallowed():
    class Meta(type):
        def __getattr__(cls, name):
            raise KeyboardInterrupt

    class Odd(metaclass=Meta):
        pass

    with pytest.raises(KeyboardInterrupt):
        hooks.enum_literal(Odd())


@pytest.mark.parametrize(
    "info, error",
    [
        (SimpleNamespace(kind=5, enum_values=[]), TypeError),
        (SimpleNamespace(enum_values=[]), AttributeError),
        (SimpleNamespace(kind="enum"), AttributeError),
        (SimpleNamespace(kind="enum", enum_values=3), TypeError),
        (SimpleNamespace(kind="enum", enum_values=[SimpleNamespace(graphql_name="x")]), AttributeError),
        (SimpleNamespace(kind="enum", enum_values=[SimpleNamespace(name="A", graphql_name=7)]), TypeError),
    ],
)
def test_errors_reading_a_decorated_enum_are_raised(info, error):
    class Broken(enum.Enum):
        A = 1

    Broken.__quenfel_type_info__ = info
    with pytest.raises(error):
        hooks.enum_literal(Broken.A)
    with pytest.raises(error):
        hooks.default_literal({"a": [Broken.A]})
