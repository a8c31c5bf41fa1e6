import datetime
import gc
import pathlib
import shutil
import subprocess
import sys
import types
import typing
from collections.abc import AsyncGenerator, AsyncIterable, AsyncIterator
from decimal import Decimal
from typing import Annotated, List, Optional, Union
from uuid import UUID

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from fakes import MEMBER_ERROR, NOT_STR, Lazy, check_failure, decorated, raising, resolve

import quenfel
import quenfel._quenfel as native
from quenfel._lazy import LazyType
from quenfel._maybe import Maybe
from quenfel._resolver import Streamable
from quenfel._union import UnionDefinition

A, B, C = decorated("A"), decorated("B"), decorated("C", graphql_name="Sea")
BadName = decorated("BadName", graphql_name=5)
NoInfoName = type("NoInfoName", (), {"__quenfel_type_info__": object()})
Text = type("Text", (str,), {})
Opaque = type("Opaque", (), {"__name__": 5, "__str__": lambda self: "opaque"})


SCALARS = [(str, "String"), (bool, "Boolean"), (int, "Int"), (float, "Float"), (quenfel.ID, "ID"),
           (datetime.datetime, "DateTime"), (datetime.date, "Date"), (datetime.time, "Time"),
           (Decimal, "Decimal"), (UUID, "UUID")]

BAD_LAZY = Lazy("Missing", __name__)
BAD_LAZY.type_name = 5

# What the model below does not make: typing's own aliases, leaves that are
# neither scalars nor decorated, lazy references gone wrong (named by their
# type_name when resolve_type raises or the class's info name is no str), and failures.
RESOLVED = [
    (List[A], "[A!]!"), (Text, "Text!"), (list, "list!"), (Opaque(), "opaque!"), ("Later", "Later!"),
    (Annotated[Optional[A], UnionDefinition("U")], "A"),
    (type("Hashless", (), {"__hash__": raising(TypeError), "__str__": lambda self: "hashless"})(), "hashless!"),
    (Lazy("BadName", __name__), "BadName!"), (Lazy("Elsewhere", "no.such.module"), "Elsewhere!"),
    (List, IndexError("tuple index out of range")), (BadName, TypeError(NOT_STR)), (BAD_LAZY, TypeError(NOT_STR)),
    (Lazy("NoInfoName", __name__), AttributeError("'object' object has no attribute 'name'")),
]


@pytest.mark.parametrize("annotation, expected", RESOLVED)
def test_annotation_resolves(annotation, expected):
    if isinstance(expected, str):
        assert resolve(annotation) == expected
    else:
        check_failure(lambda: resolve(annotation), type(expected), str(expected))


def test_an_annotated_without_arguments_is_refused(monkeypatch):
    empty = Annotated[int, "empty"]
    get_args = typing.get_args
    monkeypatch.setattr(typing, "get_args", lambda tp: () if tp is empty else get_args(tp))
    for annotation in (empty, Optional[empty]):
        with pytest.raises(native.SchemaError, match=r"^Annotated\[...\] annotation has no underlying type$"):
            resolve(annotation)


# ---- The rules as a model, against random nested annotations -----------------

UNIONS = (Union, types.UnionType)
LEAVES = [scalar for scalar, _ in SCALARS] + [A, B, C, Lazy("A", __name__), Lazy("Missing", __name__)]


def leaf_name(leaf):
    if isinstance(leaf, LazyType):
        leaf = getattr(sys.modules[__name__], leaf.type_name, leaf.type_name)
        if isinstance(leaf, str):
            return leaf
    info = getattr(leaf, "__quenfel_type_info__", None)
    return dict(SCALARS).get(leaf) or (info.name if info else leaf.__name__)


def union_name(annotation):
    """What describe_union names the annotation, or the SchemaError it raises."""
    base, *metadata = typing.get_args(annotation) if typing.get_origin(annotation) is Annotated else (annotation,)
    members = typing.get_args(base) if typing.get_origin(base) in UNIONS else (base,)
    for member in members:
        if getattr(getattr(member, "__quenfel_type_info__", None), "kind", None) != "type":
            raise native.SchemaError(MEMBER_ERROR.format(leaf_name(member)))
    return next((m.name for m in metadata if isinstance(m, UnionDefinition)), "".join(map(leaf_name, members)))


def model(annotation):
    """(SDL text before the outer non-null, nullable)."""
    origin, args = typing.get_origin(annotation), typing.get_args(annotation)
    union = annotation
    if origin is Annotated:
        union = args[0]
        if not any(isinstance(m, UnionDefinition) for m in args[1:]) and typing.get_origin(union) not in UNIONS:
            return model(union)
    elif origin is Maybe:
        return model(args[0])[0], True
    elif origin in (AsyncGenerator, AsyncIterator, AsyncIterable):
        return model(args[0])
    elif origin in (Streamable, list, tuple):
        return f"[{sdl(args[0])}]", False
    elif origin not in UNIONS:
        return leaf_name(annotation), False
    rest = [arg for arg in typing.get_args(union) if arg is not type(None)] if typing.get_origin(union) in UNIONS else []
    return (model(rest[0])[0], True) if len(rest) == 1 else (union_name(annotation), False)


def sdl(annotation):
    text, nullable = model(annotation)
    return text if nullable else text + "!"


unions = st.lists(st.sampled_from([A, B, C]), min_size=2, max_size=3, unique=True).map(lambda m: Union[tuple(m)])
leaves = st.one_of(
    st.sampled_from(LEAVES),
    unions,
    unions.map(lambda u: Annotated[u, "doc", UnionDefinition("U")]),
    st.sampled_from([A, C]).map(lambda m: Annotated[m, UnionDefinition("One")]),
)
wrappers = [
    lambda t: Optional[t] if isinstance(t, LazyType) else t | None, lambda t: Optional[t], lambda t: list[t],
    lambda t: tuple[t, int], lambda t: Annotated[t, "doc"], lambda t: Maybe[t], lambda t: AsyncGenerator[t, None],
    lambda t: AsyncIterator[t], lambda t: AsyncIterable[t], lambda t: Streamable[t],
]
annotations = st.recursive(leaves, lambda inner: st.tuples(st.sampled_from(wrappers), inner).map(lambda p: p[0](p[1])))


@settings(max_examples=300, deadline=None)
@given(annotations)
def test_resolution_follows_the_rules(annotation):
    try:
        expected = sdl(annotation)
    except native.SchemaError as error:
        check_failure(lambda: resolve(annotation), native.SchemaError, str(error))
    else:
        assert resolve(annotation) == expected


# ---- Hostile annotations -------------------------------------------------------

fail = raising(ZeroDivisionError)


def self_referencing():
    alias = List[int]
    alias.__args__ = (alias,)
    return alias


def test_hostile_annotations_raise_their_own_errors_and_keep_their_counts(monkeypatch):
    cases = [(types.GenericAlias(type("RaisingEq", (), {"__eq__": fail, "__hash__": object.__hash__})(), (int,)),
              ZeroDivisionError),  # its origin fails ==
             (type("RaisingGetattr", (), {"__getattr__": fail})(), ZeroDivisionError),  # __name__ lookup fails
             (self_referencing(), RecursionError)]
    before = [sys.getrefcount(annotation) for annotation, _ in cases]
    for case in cases * 50:
        with pytest.raises(case[1]):
            resolve(case[0])
    gc.collect()
    assert [sys.getrefcount(annotation) for annotation, _ in cases] == before
    monkeypatch.setattr(quenfel._union, "UnionDefinition", type("M", (type,), {"__instancecheck__": fail})("M", (), {}))
    with pytest.raises(ZeroDivisionError):
        resolve(Annotated[int, "doc"])


# ---- The process-wide caches, at first use ------------------------------------

FRESH = """
import dataclasses, importlib, sys, time, types
from concurrent.futures import ThreadPoolExecutor
import quenfel._quenfel as native
def resolve(annotation):
    probe = dataclasses.make_dataclass("Probe", [("x", annotation)])
    return native.describe_schema_directive(probe, locations=[]).fields[0].graphql_type
def slow_reads(module, hook):
    # A read of a cached name calls hook(name), slowly enough for a second thread to wait.
    class Slow(types.ModuleType):
        def __getattribute__(self, name):
            if name in ("Streamable", "LazyType", "ID"):
                time.sleep(0.05)
                hook(name)
            return super().__getattribute__(name)
    importlib.import_module(module).__class__ = Slow
def in_threads(call):
    with ThreadPoolExecutor(2) as pool:
        return list(pool.map(lambda _: call(), range(2)))
def attempt():
    try:
        return resolve(int)
    except (ImportError, AttributeError, RuntimeError) as error:
        return type(error).__name__ + ":" + str(error).replace(" ", "_")
"""


@pytest.mark.parametrize("code, expected", [
    # Two threads at first use: neither waits for the other's fill, so each
    # cached name is read at least once, and at most once on each thread.
    ("""import threading
reads = []
for module in ("quenfel._resolver", "quenfel._lazy", "quenfel"):
    slow_reads(module, lambda name: reads.append((threading.get_ident(), name)))
results = in_threads(attempt)
print(*results, *sorted({name for _, name in reads}), len(set(reads)) == len(reads))""",
     ["Int!", "Int!", "ID", "LazyType", "Streamable", "True"]),
    # Without the host module every call fails. Then the first fill fails while
    # another thread runs its own, which fills the cache.
    ("""sys.modules["quenfel._resolver"] = None
print(attempt())
del sys.modules["quenfel._resolver"]
failures = iter([True])
def fail_once(name):
    if next(failures, False):
        raise AttributeError(name)
slow_reads("quenfel._resolver", fail_once)
print(*sorted(in_threads(attempt)))""", ["ModuleNotFoundError:import_of_quenfel._resolver_halted;_None_in_sys.modules",
                                     "AttributeError:Streamable", "Int!"]),
    # A fill that re-enters its own cache fails instead of waiting for itself.
    ("""slow_reads("quenfel._resolver", lambda name: resolve(list[int]))
print(attempt())""", ["RuntimeError:the_cache_of_typing_origins_was_re-entered_while_it_is_being_filled"]),
], ids=["two-threads", "failed-fill", "re-entered"])
def test_caches_at_first_use(code, expected):
    out = subprocess.run([sys.executable, "-c", FRESH + code], capture_output=True, text=True, timeout=60)
    assert (out.returncode, out.stdout.split()) == (0, expected), out.stderr


# Added to a copy of the host's __init__: it describes a type at import while
# another thread makes the module's first call, whose fills then need the
# host's import lock, held by the importing thread.
HOST_IMPORT = """
import dataclasses, threading, time
from typing import Optional
from quenfel import _quenfel as _native


@dataclasses.dataclass
class PageInfo:
    has_next_page: bool
    end_cursor: Optional[str]
    node: ID


_Probe = dataclasses.make_dataclass("Probe", [("x", Optional[int])])
first_call = []
_other = threading.Thread(
    target=lambda: first_call.append(_native.describe_schema_directive(_Probe, locations=[]).fields[0].graphql_type))
_other.start()
time.sleep(0.001)  # lets the other thread's call start first
PAGE_INFO = _native.process_type(PageInfo, kind="type", directives=[])
"""

IMPORT_HOST = """import sys
sys.path.insert(0, sys.argv[1])
import quenfel
quenfel._other.join()
print(*[field.graphql_type for field in quenfel.PAGE_INFO.fields], *quenfel.first_call)"""


def test_first_use_during_the_host_import(tmp_path):
    package = tmp_path / "quenfel"
    shutil.copytree(pathlib.Path(quenfel.__file__).parent, package, ignore=shutil.ignore_patterns("__pycache__"))
    with open(package / "__init__.py", "a") as init:
        init.write(HOST_IMPORT)
    for run in range(1, 6):
        try:
            out = subprocess.run([sys.executable, "-c", IMPORT_HOST, str(tmp_path)],
                                 capture_output=True, text=True, timeout=30)
        except subprocess.TimeoutExpired:
            pytest.fail(f"run {run} hung")
        assert (out.returncode, out.stdout.split()) == (0, ["Boolean!", "String", "ID!", "Int"]), out.stderr
