import sys
import types

import pytest

import quenfel._error as host
import quenfel._quenfel as native
import quenfel_testhooks as hooks


def host_module(monkeypatch, **names):
    """Replaces quenfel._error with a module holding only `names`."""
    module = types.ModuleType("quenfel._error")
    module.__dict__.update(names)
    monkeypatch.setitem(sys.modules, "quenfel._error", module)


class Recorder(Exception):
    calls = []

    def __init__(self, *args, **kwargs):
        super().__init__(*args)
        Recorder.calls.append((args, kwargs))


@pytest.fixture
def recorder(monkeypatch):
    Recorder.calls = []
    host_module(monkeypatch, GraphQLError=Recorder, ErrorCode=host.ErrorCode)
    return Recorder.calls


def test_engine_error_becomes_the_host_exception():
    with pytest.raises(host.GraphQLError) as info:
        hooks.raise_engine_error("bad field", code="UNKNOWN_FIELD", locations=[(3, 7), (4, 1)])
    error = info.value
    assert isinstance(error, native.GraphQLError)
    assert error.message == "bad field"
    assert error.code is host.ErrorCode.UNKNOWN_FIELD
    assert error.locations == [(3, 7), (4, 1)]


def test_host_class_gets_locations_only_when_present(recorder):
    with pytest.raises(Recorder):
        hooks.raise_engine_error("no place", code="GRAPHQL_VALIDATION_FAILED")
    with pytest.raises(Recorder):
        hooks.raise_engine_error("empty", code="PERSISTED_QUERY_NOT_FOUND", locations=[])
    with pytest.raises(Recorder):
        hooks.raise_engine_error("one", code="FIELD_RESOLUTION_FAILED", locations=[(1, 2)])
    assert recorder == [
        (("no place",), {"code": host.ErrorCode.GRAPHQL_VALIDATION_FAILED}),
        (("empty",), {"code": host.ErrorCode.PERSISTED_QUERY_NOT_FOUND, "locations": []}),
        (("one",), {"code": host.ErrorCode.FIELD_RESOLUTION_FAILED, "locations": [(1, 2)]}),
    ]
    assert all(type(pair) is tuple for pair in recorder[2][1]["locations"])


def test_every_code_maps_to_the_member_of_its_name(recorder):
    for member in host.ErrorCode:
        with pytest.raises(Recorder):
            hooks.raise_engine_error("m", code=member.name)
    assert [kwargs["code"] for _, kwargs in recorder] == list(host.ErrorCode)


def test_parse_failure_reaches_the_host_class(recorder):
    with pytest.raises(Recorder):
        native.parse_query("{")
    (message,), kwargs = recorder[0]
    assert kwargs["code"] is host.ErrorCode.GRAPHQL_PARSE_FAILED
    assert message


def test_parse_error_without_positions_passes_no_locations(recorder):
    with pytest.raises(Recorder):
        native.parse_query("fragment F on T { a }")
    assert recorder == [
        (("document does not contain an operation",), {"code": host.ErrorCode.GRAPHQL_PARSE_FAILED}),
    ]


def test_host_lacking_error_code_gives_attribute_error(monkeypatch):
    host_module(monkeypatch, GraphQLError=host.GraphQLError)
    with pytest.raises(AttributeError, match="ErrorCode"):
        native.parse_query("{")


def test_host_lacking_the_class_is_reported_first(monkeypatch):
    host_module(monkeypatch)
    with pytest.raises(AttributeError, match="GraphQLError"):
        native.parse_query_document("{")


def test_missing_code_member_gives_attribute_error(monkeypatch):
    host_module(monkeypatch, GraphQLError=host.GraphQLError, ErrorCode=types.SimpleNamespace())
    with pytest.raises(AttributeError, match="GRAPHQL_PARSE_FAILED"):
        native.parse_query("{")


def test_host_constructor_error_reaches_the_caller(monkeypatch):
    class Exploding(Exception):
        def __init__(self, *args, **kwargs):
            raise LookupError("constructor failed")

    host_module(monkeypatch, GraphQLError=Exploding, ErrorCode=host.ErrorCode)
    with pytest.raises(LookupError, match="constructor failed"):
        native.parse_query("{")


def test_host_returning_a_non_exception(monkeypatch):
    host_module(monkeypatch, GraphQLError=lambda message, **kwargs: 42, ErrorCode=host.ErrorCode)
    with pytest.raises(TypeError, match="exceptions must derive from BaseException"):
        native.parse_query("{")


def test_failed_host_import_is_raised(monkeypatch):
    monkeypatch.setitem(sys.modules, "quenfel._error", None)
    with pytest.raises(ImportError):
        native.parse_query("{")


def test_raising_leaves_no_references_behind():
    member = host.ErrorCode.UNKNOWN_FIELD
    before = sys.getrefcount(member), sys.getrefcount(host.GraphQLError)
    for _ in range(100):
        with pytest.raises(host.GraphQLError):
            hooks.raise_engine_error("m", code="UNKNOWN_FIELD", locations=[(1, 2)])
    assert (sys.getrefcount(member), sys.getrefcount(host.GraphQLError)) == before


def test_message_with_invalid_utf8_is_still_raised():
    with pytest.raises(host.GraphQLError) as info:
        hooks.raise_engine_error(b"caf\xc3 au lait", code="UNKNOWN_FIELD")
    assert info.value.message == "caf\ufffd au lait"


def test_cxx_exception_becomes_panic_exception(capfd):
    with pytest.raises(BaseException) as info:
        hooks.panic("invariant broken")
    panic = info.type
    assert not issubclass(panic, Exception)
    assert panic.__module__ == "_quenfel" and panic.__qualname__ == "PanicException"
    assert str(info.value) == "invariant broken"
    assert "invariant broken" in capfd.readouterr().err


def test_unknown_cxx_exception_becomes_panic_exception():
    with pytest.raises(BaseException, match="unknown C\\+\\+ exception") as info:
        hooks.panic_unknown()
    assert info.type.__qualname__ == "PanicException"


def test_bad_alloc_becomes_memory_error():
    with pytest.raises(MemoryError):
        hooks.exhaust_memory()


def test_panic_while_releasing_goes_to_the_unraisable_hook(monkeypatch, capfd):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    obj = hooks.panicking_object("release failed")
    del obj
    assert len(seen) == 1
    assert seen[0].exc_type.__qualname__ == "PanicException"
    assert str(seen[0].exc_value) == "release failed"
    assert "release failed" in capfd.readouterr().err
