import importlib
import inspect
import subprocess
import sys

import pytest

import quenfel
import quenfel._quenfel as native
import quenfel_testhooks as hooks

REGISTERED = [
    "process_enum",
    "TypeInfo",
    "FieldInfo",
    "ArgumentInfo",
    "EnumValueInfo",
    "GraphQLTypeInfo",
    "SchemaError",
    "GraphQLError",
    "lower_query",
    "LoweredField",
    "LoweredDirective",
    "lower_document",
    "parse_query",
    "ParsedDocument",
    "parse_query_document",
    "QueryDocument",
    "QueryOperation",
    "QueryFragment",
    "QuerySelection",
    "QueryVariableDefinition",
]
CLASSES = ["TypeInfo", "FieldInfo", "ArgumentInfo", "EnumValueInfo", "GraphQLTypeInfo", "LoweredField", "LoweredDirective", "ParsedDocument", "QueryDocument", "QueryOperation", "QueryFragment", "QuerySelection", "QueryVariableDefinition"]
FUNCTIONS = {"parse_query": "(query)", "parse_query_document": "(query)"}


def test_module_is_an_abi3_build_exporting_only_its_init():
    assert native.__name__ == "quenfel._quenfel"
    assert native.__file__.endswith(".abi3.so")
    out = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True, check=True)
    exported = [line.split()[-1] for line in out.stdout.splitlines() if " T " in line]
    assert exported == ["PyInit__quenfel"]


def test_registers_its_names_in_order():
    assert native.__all__ == REGISTERED
    assert set(REGISTERED) <= set(dir(native))
    assert "PanicException" not in dir(native)


def test_exception_types():
    for name in ("SchemaError", "GraphQLError"):
        error = getattr(native, name)
        assert issubclass(error, Exception)
        assert error.__module__ == "_quenfel"
        assert error.__qualname__ == name
    assert native.SchemaError.__doc__ == "Raised for quenfel schema build-time errors."
    assert native.SchemaError("boom").args == ("boom",)


def test_reimport_keeps_the_type_objects(monkeypatch):
    monkeypatch.delitem(sys.modules, "quenfel._quenfel")
    monkeypatch.setattr(quenfel, "_quenfel", native)  # restored afterwards, as sys.modules is
    again = importlib.import_module("quenfel._quenfel")
    assert again is not native
    assert again.__all__ == REGISTERED
    for name in ["SchemaError", "GraphQLError", *CLASSES]:
        assert getattr(again, name) is getattr(native, name)
    assert again.parse_query.__module__ == "quenfel._quenfel"


def test_another_interpreter_cannot_load_the_module():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    code = f"import sys; sys.path[:] = {sys.path!r}; import quenfel._quenfel"
    interp = interpreters.create()
    try:
        with pytest.raises(interpreters.RunFailedError) as failure:
            interpreters.run_string(interp, code)
    finally:
        interpreters.destroy(interp)
    message = str(failure.value)
    assert "ImportError" in message
    assert message.endswith(
        ": quenfel._quenfel cannot be loaded in more than one interpreter per process: interpreter 0 has it loaded"
    )


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


@pytest.mark.parametrize("name, signature", FUNCTIONS.items())
def test_functions_carry_their_signature(name, signature):
    function = getattr(native, name)
    assert str(inspect.signature(function)) == signature
    assert function.__module__ == "quenfel._quenfel"
    assert function.__doc__.strip()


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{}() missing 1 required positional argument: 'query'"),
        (("{ a }", 1), {}, "{}() takes 1 positional argument but 2 were given"),
        (("{ a }",), {"x": 1}, "{}() got an unexpected keyword argument 'x'"),
        (("{ a }",), {"query": "{ a }"}, "{}() got multiple values for argument 'query'"),
        (("{ a }", 1), {"x": 1}, "{}() got an unexpected keyword argument 'x'"),
    ],
)
def test_argument_errors_match_the_interpreter(name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(native, name)(*args, **kwargs)
    assert str(info.value) == message.format(name)


def signature_probe(a, b, c=None, *, d, e=None):
    """The pure-Python twin of hooks.signature_probe."""


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {}),
        ((1,), {}),
        ((1, 2), {}),
        ((1, 2, 3, 4), {}),
        ((1, 2, 3, 4), {"d": 1}),
        ((1, 2, 3, 4, 5), {"d": 1, "e": 2}),
        ((1,), {"a": 1, "d": 1}),
        ((1, 2), {"d": 1, "f": 1}),
        ((1, 2, 3, 4), {"f": 1}),
        ((), {"d": 1, "e": 1}),
        ((), {"c": 1}),
    ],
)
def test_argument_errors_match_a_python_function(args, kwargs):
    with pytest.raises(TypeError) as expected:
        signature_probe(*args, **kwargs)
    with pytest.raises(TypeError) as actual:
        hooks.signature_probe(*args, **kwargs)
    assert str(actual.value) == str(expected.value)


def test_arguments_reach_their_parameters():
    assert hooks.signature_probe(1, 2, d=4) == {"a": 1, "b": 2, "d": 4}
    assert hooks.signature_probe(e=5, d=4, b=2, a=1) == {"a": 1, "b": 2, "d": 4, "e": 5}
    assert hooks.signature_probe(1, 2, 3, d=None) == {"a": 1, "b": 2, "c": 3, "d": None}


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize(
    "value, message",
    [
        (1, "'int' object is not an instance of 'str'"),
        (b"{ a }", "'bytes' object is not an instance of 'str'"),
        (None, "'None' is not an instance of 'str'"),
    ],
)
def test_wrong_argument_kind_names_the_parameter(name, value, message):
    with pytest.raises(TypeError) as info:
        getattr(native, name)(value)
    assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'query'"]


def test_wrong_kind_names_a_native_class():
    document = native.parse_query("{ a }")
    with pytest.raises(TypeError) as info:
        native.parse_query(document)
    assert str(info.value) == "'ParsedDocument' object is not an instance of 'str'"


def test_text_that_cannot_be_utf8_is_refused():
    with pytest.raises(UnicodeEncodeError):
        native.parse_query("{ a(x: \"\ud800\") }")
