import gc
import sys
import types

import pytest
from fakes import raising

import quenfel._error as host
import quenfel._quenfel as native
import quenfel_testhooks as hooks


def test_host_class_gets_the_message_the_code_member_and_locations_only_when_present(monkeypatch):
    calls = []

    class Recorder(Exception):
        def __init__(self, *args, **kwargs):
            calls.append((args, kwargs))

    monkeypatch.setattr(host, "GraphQLError", Recorder)
    for message, locations in ((b"no place", None), (b"empty", []), (b"caf\xc3 au lait", [(3, 7), (4, 1)])):
        with pytest.raises(Recorder):
            hooks.raise_engine_error(message, code="UNKNOWN_FIELD", locations=locations)
    code = host.ErrorCode.UNKNOWN_FIELD
    assert calls == [(("no place",), {"code": code}), (("empty",), {"code": code, "locations": []}),
                     (("caf\ufffd au lait",), {"code": code, "locations": [(3, 7), (4, 1)]})]
    assert type(calls[2][1]["locations"][0]) is tuple
    calls.clear()
    for member in host.ErrorCode:
        with pytest.raises(Recorder):
            hooks.raise_engine_error(b"m", code=member.name)
    assert [kwargs["code"] for _, kwargs in calls] == list(host.ErrorCode)


@pytest.mark.parametrize(
    "names, error, match",
    [
        ({"GraphQLError": host.GraphQLError}, AttributeError, "ErrorCode"),
        ({}, AttributeError, "GraphQLError"),  # the class is looked up first
        ({"GraphQLError": host.GraphQLError, "ErrorCode": types.SimpleNamespace()}, AttributeError, "GRAPHQL_PARSE_FAILED"),
        ({"GraphQLError": type("E", (Exception,), {"__init__": raising(LookupError("constructor failed"))}), "ErrorCode": host.ErrorCode}, LookupError,
         "constructor failed"),
        ({"GraphQLError": lambda message, **kwargs: 42, "ErrorCode": host.ErrorCode}, TypeError,
         "exceptions must derive from BaseException"),
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
    def counts():
        gc.collect()
        return sys.getrefcount(host.ErrorCode.UNKNOWN_FIELD), sys.getrefcount(host.GraphQLError)

    before = counts()
    for _ in range(100):
        with pytest.raises(host.GraphQLError):
            hooks.raise_engine_error(b"m", code="UNKNOWN_FIELD", locations=[(1, 2)])
    assert counts() == before


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
    hooks.panicking_object("release failed")  # released at once
    assert [(s.exc_type.__qualname__, str(s.exc_value)) for s in seen] == [("PanicException", "release failed")]
    assert "release failed" in capfd.readouterr().err
