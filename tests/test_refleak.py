"""Every module function, called many times on each of its paths, leaves nothing behind.

`make refleak` runs this under a debug interpreter (reference count and live blocks) or, with QUENFEL_REFLEAK=rss,
watches resident memory. CASES holds per function a row that succeeds and one that raises TypeError; the other
files' failure tables join it."""

import dataclasses
import gc
import os
import sys
import types
from collections.abc import Iterator
from typing import Annotated, Optional, Union

import pytest
import test_applied_directives
import test_compile_schema
import test_enums
import test_module
import test_parameters
import test_schema_descriptions
import test_types
from fakes import SCHEMA, SCHEMA_OPTIONS, SCHEMA_PARTS, Color, Tag, User, decorated, directive, raising, \
    schema_keywords, sha, shout

import quenfel._error as host
import quenfel._quenfel as native
from quenfel._lazy import LazyReference
from quenfel._union import UnionDefinition

DEBUG = hasattr(sys, "gettotalrefcount")
RSS = os.environ.get("QUENFEL_REFLEAK") == "rss"

IndexRaises = type("IndexRaises", (), {"__index__": raising(MemoryError)})
FloatRaises = type("FloatRaises", (), {"__float__": raising(ValueError("not a number"))})


def resize_variables(self):
    """Adds a key to the variables holding it, or takes it out again, while it is converted."""
    if RESIZING.pop("extra", self) is self:
        RESIZING["extra"] = None
    return 1.0


RESIZING = {"v": type("Resizes", (), {"__float__": resize_variables})()}


SKIPPED = "query($v: Boolean!) { a @skip(if: $v) b(x: $w, y: [1, {z: 2.5}]) }"
RICH = """
query Q($id: ID!, $n: Int = 3) @live {
  node(id: $id) { ...F ... on User @defer(label: "u") { name } }
  list(first: $n) @stream(initialCount: 1) { id }
}
fragment F on Node { id alias: id @include(if: true) }
mutation M { do(input: {a: "b", c: [ENUM, null]}) }
"""
TWO_OPERATIONS = "query A { a } query B { b }"
PLACED = "{ a(x: $v, y: [$l, {k: $v}]) @custom(z: $l) @include(if: $on) { b(w: $v) } }"
OPAQUE = object()
DOCUMENT = native.parse_query(SKIPPED)

A, B = decorated("A"), decorated("B")
RaisingGetattr = type("RaisingGetattr", (), {"__getattr__": raising(ZeroDivisionError)})
Postponed = dataclasses.make_dataclass("Postponed", [("a", "Missing"), ("b", list[Optional[int]], 1)])
Unreadable = dataclasses.make_dataclass("Unreadable", [("x", RaisingGetattr())])


class UnreadableSignature:
    __call__ = shout
    __signature__ = property(raising(RuntimeError))


PARTS = schema_keywords(*SCHEMA_PARTS, **SCHEMA_OPTIONS)
VALID, INVALID = "query Q { greeting count }", "{ nope }"
VALID_HASH = sha(VALID)
native.resolve_persisted_query(VALID_HASH, SCHEMA, query=VALID)  # for the hash-only rows
NO_JSON_FORM = directive("d", locations=["SCALAR"], v=())


def case(function, *args, raises=None, id="ok", **kwargs):
    """A row: the call, and the name of the exception it raises (None: it succeeds)."""
    return pytest.param(function, args, kwargs, raises, id=f"{function.__name__}:{id}")


CASES = [
    case(native.parse_query, RICH),
    case(native.parse_query, "{ a(", raises="GraphQLError", id="parse-error"),
    case(native.parse_query, "{ a }", query="{ a }", raises="TypeError", id="twice"),
    case(native.parse_query, "{ a(x: \"\ud800\") }", raises="UnicodeEncodeError", id="surrogate"),
    case(native.parse_query_document, RICH),
    case(native.parse_query_document, "query A { a } query A { b }", raises="GraphQLError", id="parse-error"),
    case(native.lower_query, RICH, variable_values={"id": "1", "n": 2}, operation_name="Q"),
    case(native.lower_query, PLACED, variable_values={"v": OPAQUE, "l": [1], "on": True}, id="variables"),
    case(native.lower_query, "{ a(", variable_values={}, raises="GraphQLError", id="parse-error"),
    case(native.lower_query, TWO_OPERATIONS, variable_values={}, raises="GraphQLError", id="no-operation-name"),
    # Failures after some of the caller's values were placed, and in the engine's own view of them.
    case(native.lower_query, "{ a(x: $v, y: [$v, $u]) }", variable_values={"v": OPAQUE}, raises="GraphQLError",
         id="undefined-variable"),
    case(native.lower_query, PLACED, variable_values={"v": OPAQUE, "l": [1], "on": [1]}, raises="GraphQLError",
         id="not-a-boolean"),
    case(native.lower_query, SKIPPED, variable_values={"v": FloatRaises()}, raises="GraphQLError", id="float-raises"),
    case(native.lower_query, SKIPPED, variable_values={"v": IndexRaises()}, raises="MemoryError", id="index-raises"),
    # A variable's name is converted before the engine would fail on the query.
    case(native.lower_query, "{ ...F }", variable_values={"v": True, 1: 2}, raises="TypeError", id="int-key"),
    case(native.lower_query, "{ a }", variable_values={"\ud800": 1}, raises="UnicodeEncodeError", id="surrogate"),
    case(native.lower_query, SKIPPED, variable_values=RESIZING, raises="PanicException", id="dict-resized"),
    case(native.lower_document, DOCUMENT, variable_values={"v": True}),
    case(native.lower_document, DOCUMENT, variable_values={"v": IndexRaises()}, raises="MemoryError", id="index-raises"),
    case(native.lower_document, DOCUMENT, variable_values={}, operation_name="A", raises="GraphQLError", id="unknown-op"),
    case(native.lower_document, DOCUMENT, {}, raises="TypeError", id="positional"),
    case(native.process_enum, Color, description="Paints", directives=[Tag("x")]),
    case(native.describe_union, Annotated[Union[A, B], UnionDefinition("Pet", description="Pets", resolve_type=len)]),
    case(native.describe_union, Union[A, Annotated["B", LazyReference(__name__)]], id="lazy"),
    case(native.describe_union, RaisingGetattr(), raises="ZeroDivisionError", id="raising-annotation"),
    case(native.describe_schema_directive, Postponed, locations=["OBJECT", "SCALAR"], description="C", repeatable=True),
    case(native.describe_schema_directive, Unreadable, locations=[], raises="ZeroDivisionError", id="raising-hint"),
    case(native.process_type, User, kind="type", description="P", directives=[Tag("x")]),
    case(native.describe_operation_directive, shout, locations=["FIELD", "QUERY"], name="s", description="L"),
    case(native.describe_operation_directive, UnreadableSignature(), locations=["FIELD"], raises="RuntimeError",
         id="raising-signature"),
    case(native.compile_schema, **PARTS, mutation_type_name=None, scalar_descriptions=[("ID", "Id")],
         schema_applied_directives=[Tag("x")]),
    case(native.compile_schema, **{**PARTS, "scalar_directives": [("ID", [NO_JSON_FORM])]}, raises="ValueError",
         id="no-json-form"),
    case(native.compile_schema, **{**PARTS, "scalar_names": ["\ud800"]}, raises="UnicodeEncodeError", id="surrogate"),
    case(native.validate_query, VALID, SCHEMA),
    case(native.validate_query, INVALID, SCHEMA, raises="GraphQLError", id="invalid"),
    case(native.validate_query, "{ a(", SCHEMA, raises="GraphQLError", id="parse-error"),
    case(native.validate_document, native.parse_query(VALID), SCHEMA, "Q"),
    case(native.validate_document, native.parse_query(INVALID), SCHEMA, raises="GraphQLError", id="invalid"),
    case(native.render_sdl, SCHEMA),
    case(native.resolve_persisted_query, VALID_HASH, SCHEMA, query=VALID, operation_name="Q", id="register"),
    case(native.resolve_persisted_query, VALID_HASH, SCHEMA, id="replay"),
    case(native.resolve_persisted_query, "0" * 64, SCHEMA, raises="GraphQLError", id="not-found"),
    case(native.resolve_persisted_query, "0" * 64, SCHEMA, query=VALID, raises="GraphQLError", id="mismatch"),
    case(native.resolve_persisted_query, sha(INVALID), SCHEMA, query=INVALID, raises="GraphQLError", id="invalid"),
]


def given(value, found):
    """`value` and what its lists, tuples and dicts hold, but for the interpreter's shared constants."""
    if value is not None and type(value) not in (bool, int):
        found.append(value)
        items = [*value.keys(), *value.values()] if isinstance(value, dict) else value
        for item in items if isinstance(value, (dict, list, tuple)) else ():
            given(item, found)
    return found


# The failure tables of the other tests' files, but for rows whose iterators one call would use up.
for table in (test_applied_directives, test_compile_schema, test_enums, test_module, test_parameters,
              test_schema_descriptions, test_types):
    for number, (call, error, *_) in enumerate(table.FAILURES):
        if not any(isinstance(item, Iterator) for item in given((call.args, call.keywords), [])):
            CASES.append(case(call.func, *call.args, raises=error.__qualname__, id=f"{table.__name__}-{number}",
                              **call.keywords))


def test_every_function_has_a_success_row_and_a_type_error_row():
    outcomes = {}
    for row in CASES:
        function, _, _, raises = row.values
        outcomes.setdefault(function.__name__, set()).add(raises)
    functions = [name for name in native.__all__ if isinstance(getattr(native, name), types.BuiltinFunctionType)]
    missing = sorted(name for name in functions if not {None, "TypeError"} <= outcomes.get(name, set()))
    assert not missing, f"add rows for {missing} to CASES in tests/test_refleak.py"


def walk(value):
    """Reads every attribute of the module's objects in a result, so that the getters are called too."""
    if isinstance(value, (tuple, list, dict)):
        for item in value.values() if isinstance(value, dict) else value:
            walk(item)
    elif type(value).__module__ == native.__name__:
        assert getattr(native, type(value).__name__) is type(value), "not exported"
        for name in dir(type(value)):
            if not name.startswith("_"):
                walk(getattr(value, name))


def outcome(function, args, kwargs):
    """The name of the exception that the call raises, or None once its result is walked."""
    try:
        walk(function(*args, **kwargs))
    except BaseException as error:
        return type(error).__qualname__


def debug_counts():
    """The total reference count and live blocks, once cycles and the interpreter's type cache are freed."""
    gc.collect()
    sys._clear_type_cache()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("function, args, kwargs, raises", CASES)
def test_calls_leave_nothing_behind(function, args, kwargs, raises):
    def call(count):
        for _ in range(count):
            assert outcome(function, args, kwargs) == raises

    def growth(count, measure):
        before = measure()
        call(count)
        return [after - first for after, first in zip(measure(), before)]

    call(1)  # a panic's report to stderr goes to pytest's capture of it
    if DEBUG:
        # What the first calls cache stays; a leak grows with the count.
        call(1000)
        once, twice = growth(1000, debug_counts), growth(2000, debug_counts)
        refs, blocks = twice[0] - once[0], twice[1] - once[1]
        assert refs < 10 and blocks < 10, f"1000 more calls kept {refs} references and {blocks} blocks"
    elif RSS:
        call(10_000)
        [grown] = growth(100_000, lambda: [resident_bytes()])
        assert grown < 1 << 20, f"100,000 calls grew resident memory by {grown} bytes"
    else:
        # No object that the calls were given, nor the host's error class or codes, gains a reference per call.
        watched = given((args, kwargs), [host.GraphQLError, *host.ErrorCode])
        grown = growth(20, lambda: gc.collect(0) and 0 or [sys.getrefcount(x) for x in watched])
        assert max(grown) < 10, [(x, n) for x, n in zip(watched, grown) if n >= 10]
