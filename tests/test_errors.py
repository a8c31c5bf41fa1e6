import sys
import types

import pytest

import quenfel._error as host
import quenfel._quenfel as native
import quenfel_testhooks as hooks


class Recorder(Exception):
    calls = []

    def __init__(self, *args, **kwargs):
        super().__init__(*args)
        Recorder.calls.append((args, kwargs))


class Exploding(Exception):
    def __init__(self, *args, **kwargs):
        raise LookupError("constructor failed")


def test_host_class_gets_the_message_the_code_member_and_locations_only_when_present(monkeypatch):
    monkeypatch.setattr(host, "GraphQLError", Recorder)
    Recorder.calls = []
    for message, locations in ((b"no place", None), (b"empty", []), (b"caf\xc3 au lait", [(3, 7), (4, 1)])):
        with pytest.raises(Recorder):
            hooks.raise_engine_error(message, code="GRAPHQL_VALIDATION_FAILED", locations=locations)
    code = host.ErrorCode.GRAPHQL_VALIDATION_FAILED
    assert Recorder.calls == [
        (("no place",), {"code": code}),
        (("empty",), {"code": code, "locations": []}),
        (("caf\ufffd au lait",), {"code": code, "locations": [(3, 7), (4, 1)]}),
    ]
    assert type(Recorder.calls[2][1]["locations"][0]) is tuple
    Recorder.calls = []
    for member in host.ErrorCode:
        with pytest.raises(Recorder):
            hooks.raise_engine_error(b"m", code=member.name)
    assert [kwargs["code"] for _, kwargs in Recorder.calls] == list(host.ErrorCode)


@pytest.mark.parametrize(
    "names, error, match",
    [
        ({"GraphQLError": host.GraphQLError}, AttributeError, "ErrorCode"),
        ({}, AttributeError, "GraphQLError"),  # the class is looked up first
        ({"GraphQLError": host.GraphQLError, "ErrorCode": types.SimpleNamespace()}, AttributeError, "GRAPHQL_PARSE_FAILED"),
        ({"GraphQLError": Exploding, "ErrorCode": host.ErrorCode}, LookupError, "constructor failed"),
        ({"GraphQLError": lambda message, **kwargs: 42, "ErrorCode": host.ErrorCode}, TypeError, "exceptions must derive from BaseException"),
        (None, ImportError, "quenfel._error"),
    ],
)
def test_a_failure_to_build_the_host_exception_is_raised_instead(monkeypatch, names, error, match):
    module = None if names is None else types.ModuleType("quenfel._error")
    if module is not None:
        module.__dict__.update(names)
    monkeypatch.setitem(sys.modules, "quenfel._error", module)
    with pytest.raises(error, match=match):
        native.parse_query("{")


def test_raising_leaves_no_references_behind():
    member = host.ErrorCode.UNKNOWN_FIELD
    before = sys.getrefcount(member), sys.getrefcount(host.GraphQLError)
    for _ in range(100):
        with pytest.raises(host.GraphQLError):
            hooks.raise_engine_error(b"m", code="UNKNOWN_FIELD", locations=[(1, 2)])
    assert (sys.getrefcount(member), sys.getrefcount(host.GraphQLError)) == before


@pytest.mark.parametrize("thrown, message", [("invariant broken", "invariant broken"), ("unknown", "unknown C++ exception")])
def test_cxx_exception_becomes_panic_exception_and_is_reported(capfd, panics, thrown, message):
    with panics(message) as info:
        hooks.panic(thrown)
    assert info.type.__module__ == "_quenfel"
    assert message in capfd.readouterr().err
    with pytest.raises(MemoryError):
        hooks.panic("bad_alloc")


def test_panic_while_releasing_goes_to_the_unraisable_hook(monkeypatch, capfd):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    obj = hooks.panicking_object("release failed")
    del obj
    assert [(s.exc_type.__qualname__, str(s.exc_value)) for s in seen] == [("PanicException", "release failed")]
    assert "release failed" in capfd.readouterr().err
