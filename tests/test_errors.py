import sys
import types

import pytest
from fakes import raising

import quenfel._error as host
import quenfel._quenfel as native
import quenfel_testhooks as hooks


def test_host_class_gets_the_message_the_code_member_and_locations_only_when_present(monkeypatch):
    calls = []
    monkeypatch.setattr(host, "GraphQLError", type("Recorder", (Exception,), {
        "__init__": lambda self, *args, **kwargs: calls.append((args, kwargs))}))
    for call in (lambda: native.parse_query('{ a("\n'), lambda: native.lower_query("{ a(x: [$v]) }", variable_values={})):
        with pytest.raises(host.GraphQLError):
            call()
    assert calls == [
        (("syntax error: unterminated string, expected '\"' before the end of the line",),
         {"code": host.ErrorCode.GRAPHQL_PARSE_FAILED, "locations": [(1, 5), (1, 6)]}),
        (("query references undefined variable '$v'",), {"code": host.ErrorCode.GRAPHQL_VALIDATION_FAILED}),
    ]
    assert type(calls[0][1]["locations"][0]) is tuple


@pytest.mark.parametrize("names, error, match", [
    ({"GraphQLError": host.GraphQLError}, AttributeError, "ErrorCode"),
    ({}, AttributeError, "GraphQLError"),  # the class is looked up first
    ({"GraphQLError": host.GraphQLError, "ErrorCode": types.SimpleNamespace()}, AttributeError, "GRAPHQL_PARSE_FAILED"),
    ({"GraphQLError": raising(LookupError("constructor failed")), "ErrorCode": host.ErrorCode}, LookupError,
     "constructor failed"),
    ({"GraphQLError": lambda message, **kwargs: 42, "ErrorCode": host.ErrorCode}, TypeError,
     "exceptions must derive from BaseException"),
    (None, ImportError, "quenfel._error"),
])
def test_a_failure_to_build_the_host_exception_is_raised_instead(monkeypatch, names, error, match):
    module = None if names is None else types.ModuleType("quenfel._error")
    if module is not None:
        module.__dict__.update(names)
    monkeypatch.setitem(sys.modules, "quenfel._error", module)
    with pytest.raises(error, match=match):
        native.parse_query("{")


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
