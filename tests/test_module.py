import importlib
import inspect
import os
import subprocess
import sys
from functools import partial

import pytest

import quenfel
import quenfel._quenfel as native
from fakes import NOT_STR, compiling, directive, failure_test

TYPES = [name for name in native.__all__ if isinstance(getattr(native, name), type)]
CLASSES = [name for name in TYPES if not issubclass(getattr(native, name), BaseException)]


def test_module_is_an_abi3_build_exporting_only_its_init():
    assert native.__file__.endswith(".abi3.so")
    out = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True, check=True)
    assert [line.split()[-1] for line in out.stdout.splitlines() if " T " in line] == ["PyInit__quenfel"]


def test_all_lists_the_public_names_and_a_reimport_shares_the_types(monkeypatch):
    assert sorted(native.__all__) == sorted(name for name in dir(native) if not name.startswith("_"))
    for name in ("SchemaError", "GraphQLError"):
        assert issubclass(getattr(native, name), Exception) and getattr(native, name).__module__ == "_quenfel"
    monkeypatch.delitem(sys.modules, "quenfel._quenfel")
    monkeypatch.setattr(quenfel, "_quenfel", native)  # restored afterwards, as sys.modules is
    again = importlib.import_module("quenfel._quenfel")
    assert again is not native and again.__all__ == native.__all__
    assert all(getattr(again, name) is getattr(native, name) for name in TYPES)
    assert again.parse_query.__module__ == "quenfel._quenfel"


def test_another_interpreter_cannot_load_the_module():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    package_parent = os.path.dirname(os.path.dirname(native.__file__))  # this very build, whatever sys.path holds
    code = f"import sys; sys.path.insert(0, {package_parent!r}); import quenfel._quenfel"
    interp = interpreters.create()
    try:
        with pytest.raises(interpreters.RunFailedError) as failure:
            interpreters.run_string(interp, code)
    finally:
        interpreters.destroy(interp)
    message = str(failure.value)
    assert "ImportError" in message and message.endswith(
        ": quenfel._quenfel cannot be loaded in more than one interpreter per process: interpreter 0 has it loaded")


# A daemon thread inside a call while the interpreter shuts down: the
# interpreter ends it when it asks for the lock back, which must not abort.
DAEMON_AT_EXIT = """
import gc, threading, time
import quenfel._quenfel as native
from quenfel._lazy import LazyType
entered = threading.Event()
class Slow(LazyType):
    def resolve_type(self):
        entered.set()
        time.sleep(0.3)
        raise LookupError
threading.Thread(target=lambda: native.describe_union(Slow("Late", __name__)), daemon=True).start()
entered.wait()
class SlowTeardown:
    def __del__(self, sleep=time.sleep):
        sleep(0.6)  # the shutdown's last collection is still running when the thread wakes
gc.disable()
keep = SlowTeardown()
keep.cycle = keep
del keep
"""


def test_a_daemon_thread_inside_a_call_at_shutdown_ends_quietly():
    run = subprocess.run([sys.executable, "-c", DAEMON_AT_EXIT], capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stderr) == (0, "")


@pytest.mark.parametrize("name", CLASSES)
def test_classes_are_read_only_and_not_constructible(name):
    cls = getattr(native, name)
    assert cls.__module__ == "quenfel._quenfel"
    with pytest.raises(TypeError, match="cannot create"):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1


FUNCTIONS = [name for name in native.__all__ if not isinstance(getattr(native, name), type)]


def twin(name):
    """A Python function with the signature that the module function's docstring gives."""
    namespace = {}
    exec(f"def {name}{inspect.signature(getattr(native, name))}: pass", namespace)
    return namespace[name]


def wrong_calls(python):
    """Calls whose arguments do not fit the signature: none, too many, unknown, twice, without a keyword."""
    parameters = inspect.signature(python).parameters.values()
    positional = [p.name for p in parameters if p.kind is p.POSITIONAL_OR_KEYWORD]
    keywords = [p.name for p in parameters if p.kind is p.KEYWORD_ONLY and p.default is p.empty]
    yield (), {}
    yield (0,) * (len(positional) + 1), dict.fromkeys(keywords[:1], 0)
    yield (0,) * len(positional), {"bogus": 0}
    yield (0,), dict.fromkeys(positional[:1], 0)
    if keywords:
        yield (0,) * len(positional), {}


@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_take_their_arguments_as_their_docstrings_say(name):
    function, python = getattr(native, name), twin(name)
    for args, kwargs in wrong_calls(python):
        with pytest.raises(TypeError) as expected:
            python(*args, **kwargs)
        with pytest.raises(TypeError) as actual:
            function(*args, **kwargs)
        assert str(actual.value) == str(expected.value)


DOCUMENT = native.parse_query("{ a }")
COMPILE = compiling()
SCHEMA = COMPILE()


WRONG_KINDS = [
    (partial(native.parse_query, 1), NOT_STR, "query"),
    (partial(native.lower_query, "{ a }", variable_values=None),
     "'None' is not an instance of 'dict'", "variable_values"),
    # The first parameter in order is reported.
    (partial(native.lower_query, 1, variable_values=None, operation_name=2), NOT_STR, "query"),
    (partial(native.lower_document, DOCUMENT, variable_values={}, operation_name=1), NOT_STR, "operation_name"),
    (partial(COMPILE, mutation_type_name=1, types="x"), NOT_STR, "mutation_type_name"),
    (partial(COMPILE, types=[DOCUMENT]), "'ParsedDocument' object is not an instance of 'TypeInfo'", "types"),
    (partial(COMPILE, scalar_directives=None), "'None' is not an instance of 'Sequence'", "scalar_directives"),
    (partial(COMPILE, scalar_descriptions=[["ID", "x"]]),
     "'list' object is not an instance of 'tuple'", "scalar_descriptions"),
    (partial(COMPILE, scalar_descriptions=[("ID", "x", "y")]),
     "expected tuple of length 2, but got tuple of length 3", "scalar_descriptions"),
    # Every argument is converted before any work: the directive's bad location is never looked at.
    (partial(COMPILE, scalar_directives=[("ID", [directive("d", locations=[])])], auto_camel_case=1),
     "'int' object is not an instance of 'bool'", "auto_camel_case"),
    (partial(native.parse_query_document, None), "'None' is not an instance of 'str'", "query"),
    (partial(native.validate_document, "{ a }", SCHEMA),
     "'str' object is not an instance of 'ParsedDocument'", "document"),
    (partial(native.validate_query, "{", DOCUMENT),
     "'ParsedDocument' object is not an instance of 'CompiledSchema'", "schema"),
    (partial(native.render_sdl, None), "'None' is not an instance of 'CompiledSchema'", "schema"),
    (partial(native.resolve_persisted_query, "h", SCHEMA, validate=None),
     "'None' is not an instance of 'bool'", "validate"),
]
FAILURES = [(call, TypeError, message, parameter) for call, message, parameter in WRONG_KINDS]


test_wrong_argument_kinds_name_the_parameter = failure_test(FAILURES)
