"""Every module function, called many times on its success path and on each
kind of error path, leaves nothing behind.

`make refleak` runs this file under a debug interpreter (a debug build of the
module), where the interpreter's total reference count and its count of live
blocks must not grow; with QUENFEL_REFLEAK=rss on an ordinary interpreter it
checks resident memory over 100,000 calls per row instead. Elsewhere each row
is called once and its outcome checked, which under `make sanitize` puts every
path under the sanitizers.

A new module function joins by adding its rows to CASES: at least one that
succeeds and one that raises TypeError for a wrong argument, and one for each
other way it can fail.
"""

import contextlib
import dataclasses
import datetime
import enum
import gc
import hashlib
import os
import sys
import types
from typing import Annotated, Optional, Union

import pytest
from fakes import decorated, directive, field, raising

import quenfel._quenfel as native
from quenfel._enum import EnumValueDefinition
from quenfel._lazy import LazyReference
from quenfel._maybe import Maybe
from quenfel._private import PrivateMarker
from quenfel._resolver import Argument, Info, Parent
from quenfel._union import UnionDefinition
from quenfel.directive import DirectiveValue

DEBUG = hasattr(sys, "gettotalrefcount")
RSS = os.environ.get("QUENFEL_REFLEAK") == "rss"


class IndexRaises:
    def __index__(self):
        raise MemoryError


class FloatRaises:
    def __float__(self):
        raise ValueError("not a number")


class ResizesItsDict:
    """Adds a key to the dict holding it, or takes it out again, while it is converted."""

    def __init__(self, owner):
        self.owner = owner

    def __float__(self):
        if self.owner.pop("extra", self) is self:
            self.owner["extra"] = None
        return 1.0


def resizing_variables():
    values = {}
    values["v"] = ResizesItsDict(values)
    return values


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
DOCUMENT = native.parse_query(SKIPPED)

A, B = decorated("A"), decorated("B")
KEY = directive("key", locations=["ENUM"], fields="id", weights={"a": [1, 2.5]})
RaisingGetattr = type("RaisingGetattr", (), {"__getattr__": raising(ZeroDivisionError)})
Hostile = type("Hostile", (EnumValueDefinition,), {"description": property(raising(LookupError), lambda *_: None)})


class Color(enum.Enum):
    RED = EnumValueDefinition(1, graphql_name="CRIMSON", description="Warm", deprecation_reason="Loud",
                              directives=[directive("shared", locations=["ENUM_VALUE"])])
    GREEN = 2


def one_member_enum(**config):
    return enum.Enum("One", {"A": EnumValueDefinition(1, **config)})


@dataclasses.dataclass
class CacheControl:
    max_age: int = 1
    scopes: list[Optional[str]] = dataclasses.field(default_factory=list)
    later: "Missing" = None  # noqa: F821 - stays unresolved on purpose


Unreadable = dataclasses.make_dataclass("Unreadable", [("x", RaisingGetattr())])

TAG = directive("tag", locations=["FIELD_DEFINITION", "ARGUMENT_DEFINITION"], label="x")


def friends(root: Parent["Person"], info: Info,
            first: Annotated[int, Argument(name="count", description="How many", directives=[TAG])] = 10,
            near: Optional["Person"] = None) -> list["Person"]:
    return []


@dataclasses.dataclass
class Person:
    id: int
    name: str = field(graphql_name="fullName", description="Shown", deprecation_reason="Old", directives=[TAG])
    friends: list["Person"] = field(resolver=friends)
    secret: Annotated[str, PrivateMarker()] = ""
    score: Maybe[int] = 3


def one_field(annotation, value=None):
    return dataclasses.dataclass(type("Probe", (), {"__annotations__": {"x": annotation}, "x": value}))


def shout(value: DirectiveValue[str], info: Info, times: int = 2, suffix: Optional[str] = None) -> str:
    return value * times


def unresolved(value: "Missing"):  # noqa: F821 - stays unresolved on purpose
    pass


class UnreadableSignature:
    __call__ = shout
    __signature__ = property(raising(RuntimeError))


@dataclasses.dataclass
class Root:
    greeting: str
    day: datetime.date  # brings in a built-in scalar


ROOT = native.process_type(Root, kind="type", name="Query", directives=[])
EMPTY = native.process_type(dataclasses.make_dataclass("Empty", []), kind="type", directives=[])
SCALAR_TAG = directive("tag", locations=["SCALAR", "SCHEMA"], label="x")
NO_JSON_FORM = directive("tag", locations=["SCALAR"], label=())
SCHEMA_PARTS = {"query_type_name": "Query", "types": [ROOT], "unions": [], "directives": [], "schema_directives": [],
                "scalar_names": ["JSON"]}
SCHEMA = native.compile_schema(**SCHEMA_PARTS)
VALID, INVALID = "query Q { greeting day }", "{ nope }"
VALID_HASH = hashlib.sha256(VALID.encode()).hexdigest()
native.resolve_persisted_query(VALID_HASH, SCHEMA, query=VALID)  # for the hash-only rows


def case(function, *args, raises=None, id, **kwargs):
    """A row: the call, and the name of the exception it raises (None: it succeeds)."""
    return pytest.param(function, args, kwargs, raises, id=f"{function.__name__}:{id}")


CASES = [
    case(native.parse_query, RICH, id="ok"),
    case(native.parse_query, "{ a(", raises="GraphQLError", id="parse-error"),
    case(native.parse_query, 1, raises="TypeError", id="wrong-kind"),
    case(native.parse_query, raises="TypeError", id="missing"),
    case(native.parse_query, "{ a }", query="{ a }", raises="TypeError", id="twice"),
    case(native.parse_query, "{ a(x: \"\ud800\") }", raises="UnicodeEncodeError", id="surrogate"),
    case(native.parse_query_document, RICH, id="ok"),
    case(native.parse_query_document, TWO_OPERATIONS, id="operations"),
    case(native.parse_query_document, "query A { a } query A { b }", raises="GraphQLError", id="parse-error"),
    case(native.parse_query_document, b"{ a }", raises="TypeError", id="wrong-kind"),
    case(native.parse_query_document, "{ a }", extra=1, raises="TypeError", id="unexpected"),
    case(native.lower_query, RICH, variable_values={"id": "1", "n": 2}, operation_name="Q", id="ok"),
    case(native.lower_query, SKIPPED, variable_values={"v": False, "w": [{"k": 1}]}, id="variables"),
    case(native.lower_query, "{ a(", variable_values={}, raises="GraphQLError", id="parse-error"),
    case(native.lower_query, TWO_OPERATIONS, variable_values={}, raises="GraphQLError", id="no-operation-name"),
    case(native.lower_query, TWO_OPERATIONS, variable_values={}, operation_name="C", raises="GraphQLError", id="unknown-operation"),
    case(native.lower_query, "{ a(x: [$u]) }", variable_values={}, raises="GraphQLError", id="undefined-variable"),
    case(native.lower_query, SKIPPED, variable_values={"v": FloatRaises()}, raises="GraphQLError", id="float-raises"),
    case(native.lower_query, SKIPPED, variable_values={"v": IndexRaises()}, raises="MemoryError", id="index-raises"),
    case(native.lower_query, SKIPPED, variable_values={"v": True, 1: 2}, raises="TypeError", id="int-key"),
    case(native.lower_query, SKIPPED, variable_values=resizing_variables(), raises="PanicException", id="dict-resized"),
    case(native.lower_query, "{ a }", variable_values=[], raises="TypeError", id="wrong-kind"),
    case(native.lower_query, "{ a }", variable_values={}, operation_name=3, raises="TypeError", id="wrong-name-kind"),
    case(native.lower_query, "{ a }", raises="TypeError", id="missing"),
    case(native.lower_document, DOCUMENT, variable_values={"v": True}, id="ok"),
    case(native.lower_document, DOCUMENT, variable_values={"v": IndexRaises()}, raises="MemoryError", id="index-raises"),
    case(native.lower_document, DOCUMENT, variable_values={"v": False}, operation_name="A", raises="GraphQLError", id="unknown-operation"),
    case(native.lower_document, "{ a }", variable_values={}, raises="TypeError", id="wrong-kind"),
    case(native.lower_document, DOCUMENT, {}, raises="TypeError", id="positional"),
    case(native.process_enum, Color, description="Paints", directives=[KEY], id="ok"),
    case(native.process_enum, int, directives=[], raises="SchemaError", id="not-an-enum"),
    case(native.process_enum, Color, raises="TypeError", id="missing"),
    case(native.process_enum, Color, directives=5, raises="TypeError", id="wrong-kind"),
    case(native.process_enum, one_member_enum(description=5), directives=[], raises="TypeError", id="bad-member"),
    case(native.process_enum, one_member_enum(directives=[directive("d", v=())]), directives=[], raises="ValueError",
         id="no-json-form"),
    case(native.process_enum, enum.Enum("H", {"A": Hostile(1)}), directives=[], raises="LookupError", id="raising-member"),
    case(native.describe_union, Annotated[Union[A, B], UnionDefinition("Pet", description="Pets", resolve_type=len)],
         id="ok"),
    case(native.describe_union, Union[A, Annotated["B", LazyReference(__name__)]], id="lazy"),
    case(native.describe_union, Union[A, int], raises="SchemaError", id="not-a-type"),
    case(native.describe_union, Annotated[A, UnionDefinition(5)], raises="TypeError", id="wrong-kind"),
    case(native.describe_union, raises="TypeError", id="missing"),
    case(native.describe_union, RaisingGetattr(), raises="ZeroDivisionError", id="raising-annotation"),
    case(native.describe_schema_directive, CacheControl, locations=["OBJECT", "FIELD_DEFINITION"], description="C",
         repeatable=True, id="ok"),
    case(native.describe_schema_directive, CacheControl, locations=["object"], raises="SchemaError", id="location"),
    case(native.describe_schema_directive, int, locations=[], raises="TypeError", id="not-a-dataclass"),
    case(native.describe_schema_directive, CacheControl, locations="OBJECT", raises="TypeError", id="wrong-kind"),
    case(native.describe_schema_directive, CacheControl, locations=[], repeatable=1, raises="TypeError", id="flag"),
    case(native.describe_schema_directive, Unreadable, locations=[], raises="ZeroDivisionError", id="raising-hint"),
    case(native.process_type, Person, kind="type", description="P", directives=[TAG], id="ok"),
    case(native.process_type, one_field("int"), kind="input", directives=[], one_of=True, id="input"),
    case(native.process_type, Person, kind="Type", directives=[], raises="SchemaError", id="kind"),
    case(native.process_type, int, kind="type", directives=[], raises="TypeError", id="not-a-dataclass"),
    case(native.process_type, Person, raises="TypeError", id="missing"),
    case(native.process_type, Person, kind="type", directives=[], one_of=1, raises="TypeError", id="flag"),
    case(native.process_type, one_field("Missing"), kind="type", directives=[], raises="SchemaError", id="unresolved"),
    case(native.process_type, one_field("1/0"), kind="type", directives=[], allow_unresolved_annotations=True,
         raises="ZeroDivisionError", id="raising-hint"),
    case(native.process_type, one_field("int", field(directives=[directive("d", v=())])), kind="type", directives=[],
         raises="ValueError", id="no-json-form"),
    case(native.process_type, one_field("int", field(resolver=5)), kind="type", directives=[], raises="TypeError",
         id="resolver"),
    case(native.process_type, one_field("int", field(resolver=len)), kind="input", directives=[],
         raises="SchemaError", id="input-resolver"),
    case(native.describe_operation_directive, shout, locations=["FIELD", "QUERY"], name="shout", description="Loud",
         id="ok"),
    case(native.describe_operation_directive, shout, locations=["field"], raises="SchemaError", id="location"),
    case(native.describe_operation_directive, 5, locations=["FIELD"], raises="TypeError", id="not-callable"),
    case(native.describe_operation_directive, shout, locations="FIELD", raises="TypeError", id="wrong-kind"),
    case(native.describe_operation_directive, shout, raises="TypeError", id="missing"),
    case(native.describe_operation_directive, unresolved, locations=["FIELD"], raises="SchemaError", id="unresolved"),
    case(native.describe_operation_directive, UnreadableSignature(), locations=["FIELD"], raises="RuntimeError",
         id="raising-signature"),
    case(native.compile_schema, **{**SCHEMA_PARTS, "directives": [native.describe_operation_directive(
         shout, locations=["FIELD"])], "schema_directives": [native.describe_schema_directive(
         CacheControl, locations=["SCALAR"])]}, mutation_type_name=None, scalar_directives=[("JSON", [SCALAR_TAG])],
         scalar_descriptions=[("JSON", "Any")], scalar_specified_by_urls=[("JSON", "https://json.org")],
         schema_applied_directives=[SCALAR_TAG], id="ok"),
    case(native.compile_schema, **{**SCHEMA_PARTS, "types": [ROOT, EMPTY]}, raises="SchemaError", id="shape"),
    case(native.compile_schema, **SCHEMA_PARTS, scalar_directives=[("JSON", [KEY])], raises="SchemaError",
         id="location"),
    case(native.compile_schema, **SCHEMA_PARTS, scalar_directives=[("JSON", [NO_JSON_FORM])], raises="ValueError",
         id="no-json-form"),
    case(native.compile_schema, **{**SCHEMA_PARTS, "types": "Query"}, raises="TypeError", id="str-for-a-list"),
    case(native.compile_schema, **SCHEMA_PARTS, scalar_descriptions=[["JSON", "Any"]], raises="TypeError",
         id="pair-kind"),
    case(native.validate_query, VALID, SCHEMA, id="ok"),
    case(native.validate_query, INVALID, SCHEMA, raises="GraphQLError", id="invalid"),
    case(native.validate_query, "{ a(", SCHEMA, raises="GraphQLError", id="parse-error"),
    case(native.validate_query, VALID, None, raises="TypeError", id="wrong-kind"),
    case(native.validate_document, native.parse_query(VALID), SCHEMA, "Q", id="ok"),
    case(native.validate_document, native.parse_query(INVALID), SCHEMA, raises="GraphQLError", id="invalid"),
    case(native.validate_document, VALID, SCHEMA, raises="TypeError", id="wrong-kind"),
    case(native.render_sdl, SCHEMA, id="ok"),
    case(native.render_sdl, ROOT, raises="TypeError", id="wrong-kind"),
    case(native.resolve_persisted_query, VALID_HASH, SCHEMA, query=VALID, operation_name="Q", id="register"),
    case(native.resolve_persisted_query, VALID_HASH, SCHEMA, id="replay"),
    case(native.resolve_persisted_query, "0" * 64, SCHEMA, raises="GraphQLError", id="not-found"),
    case(native.resolve_persisted_query, "0" * 64, SCHEMA, query=VALID, raises="GraphQLError", id="mismatch"),
    case(native.resolve_persisted_query, hashlib.sha256(INVALID.encode()).hexdigest(), SCHEMA, query=INVALID,
         raises="GraphQLError", id="invalid"),
    case(native.resolve_persisted_query, VALID_HASH, SCHEMA, validate=None, raises="TypeError", id="wrong-kind"),
]


def functions_of(module):
    return {name for name in module.__all__ if isinstance(getattr(module, name), types.BuiltinFunctionType)}


def test_every_function_has_a_success_row_and_a_type_error_row():
    outcomes = {}
    for row in CASES:
        function, _, _, raises = row.values
        outcomes.setdefault(function.__name__, set()).add(raises)
    missing = sorted(name for name in functions_of(native) if not {None, "TypeError"} <= outcomes.get(name, set()))
    assert not missing, f"add rows for {missing} to CASES in tests/test_refleak.py"


def walk(value):
    """Reads every attribute of the module's objects in a result, so that the getters are called too."""
    if isinstance(value, (tuple, list)):
        for item in value:
            walk(item)
    elif isinstance(value, dict):
        for item in value.values():
            walk(item)
    elif type(value).__module__ == native.__name__:
        for name in dir(type(value)):
            if not name.startswith("_"):
                walk(getattr(value, name))


def repeat(function, args, kwargs, raises, count):
    for _ in range(count):
        if raises is None:
            walk(function(*args, **kwargs))
            continue
        try:
            function(*args, **kwargs)
        except BaseException as error:
            if type(error).__qualname__ != raises:
                raise


@contextlib.contextmanager
def stderr_silenced():
    """A panic writes its message to the process's stderr on every call."""
    saved = os.dup(2)
    with open(os.devnull, "w") as devnull:
        os.dup2(devnull.fileno(), 2)
    try:
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def settle():
    """Frees cycles, and the names that attribute lookups left in the interpreter's type cache."""
    gc.collect()
    sys._clear_type_cache()


def debug_growth(call, count):
    settle()
    refs, blocks = sys.gettotalrefcount(), sys.getallocatedblocks()
    call(count)
    settle()
    return sys.gettotalrefcount() - refs, sys.getallocatedblocks() - blocks


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("function, args, kwargs, raises", CASES)
def test_calls_leave_nothing_behind(function, args, kwargs, raises):
    def call(count):
        repeat(function, args, kwargs, raises, count)

    with stderr_silenced():
        try:
            walk(function(*args, **kwargs))
            outcome = None
        except BaseException as error:
            outcome = type(error).__qualname__
        assert outcome == raises
        if DEBUG:
            # What the first calls cache stays; a leak grows with the count.
            call(1000)
            once, twice = debug_growth(call, 1000), debug_growth(call, 2000)
            refs, blocks = twice[0] - once[0], twice[1] - once[1]
            assert refs < 10 and blocks < 10, f"1000 more calls kept {refs} references and {blocks} blocks"
        elif RSS:
            call(10_000)
            before = resident_bytes()
            call(100_000)
            grown = resident_bytes() - before
            assert grown < 1 << 20, f"100,000 calls grew resident memory by {grown} bytes"
