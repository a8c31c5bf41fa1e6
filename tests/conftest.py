import contextlib
import re
import sys

import pytest

import quenfel._error as host


@pytest.fixture
def graphql_error():
    """graphql_error(code, call, *args, **kwargs) -> the host exception that the call raises with that code."""

    def expect(code, call, *args, **kwargs):
        with pytest.raises(host.GraphQLError) as info:
            call(*args, **kwargs)
        assert info.value.code is host.ErrorCode[code]
        return info.value

    return expect


@pytest.fixture
def switching():
    """Threads switch as often as they can, inside the module's calls too."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


@pytest.fixture
def panics():
    """`with panics(message):` expects the module's PanicException (a BaseException) with that message."""

    @contextlib.contextmanager
    def expect(message):
        with pytest.raises(BaseException, match=f"^{re.escape(message)}$") as info:
            yield info
        assert info.type.__qualname__ == "PanicException" and not issubclass(info.type, Exception)

    return expect
