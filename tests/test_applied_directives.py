import enum
import functools
from types import SimpleNamespace

import pytest
from fakes import NOT_STR, UNSERIALIZABLE, compiling, directive, failure_test, raising

import quenfel._quenfel as native


def checked(directives):
    """compile_schema, to be called, with the directives on a scalar: their check for "SCALAR", then extraction."""
    return compiling(scalar_names=["Date"], scalar_directives=[("Date", directives)])


def applied(directives):
    """The directives as SDL prints them on that scalar."""
    return native.render_sdl(checked(directives)()).rpartition("scalar Date")[2]


def extracted(directives):
    """Extraction alone, as for an enum's own directives, to be called."""
    return functools.partial(native.process_enum, enum.Enum("E", "A"), directives=directives)


def changed(instance, **description):
    vars(type(instance).__quenfel_directive_info__).update(description)
    return instance


def key(locations=("OBJECT", "INTERFACE")):
    return directive("key", locations=locations, fields="id")


class Unlookable:
    __getattr__ = raising(RuntimeError("no attributes here"))


def test_extraction():
    at = ["SCALAR"]
    resolvable = directive("key", locations=at, fields="id", resolvable=True)
    cache = directive("cache", locations=at, renamed={"max_age": "maxAge"}, max_age=3, scope_name="x")
    placed = ["text", 1, None, Unlookable(), resolvable, cache, directive("bare", locations=at), resolvable,
              key(("OBJECT", "SCALAR")), directive("d", locations=at, value={"b": 1, "a": [2.5, None]})]
    assert applied(placed) == ' @key(fields: "id", resolvable: true) @cache(maxAge: 3, scope_name: "x") @bare ' \
                              '@key(fields: "id", resolvable: true) @key(fields: "id") @d(value: {a: [2.5, null], b: 1})'
    assert applied([]) == ""


def then_failing(*items):
    yield from items
    raise KeyError("midway")


MISPLACED = "directive '@key' cannot be applied to 'Date' (SCALAR); declared locations: OBJECT, INTERFACE"
FAILURES = [
    (extracted(5), TypeError, "'int' object is not iterable"),
    (extracted([directive("d", v=(1, 2))]), ValueError, UNSERIALIZABLE.format("tuple")),
    (extracted([changed(directive("d"), name=1)]), TypeError, NOT_STR),
    (extracted([changed(directive("d"), fields=None)]), TypeError, "'NoneType' object is not iterable"),
    (extracted([changed(directive("d"), fields=[SimpleNamespace(name="v", graphql_name=2)])]), TypeError, NOT_STR),
    (extracted([changed(directive("d"), fields=[SimpleNamespace(name="gone", graphql_name=None)])]), AttributeError,
     "'d' object has no attribute 'gone'"),
    (extracted([directive("d", members={"v": property(raising(LookupError("v failed")))})]), LookupError, "v failed"),
    (extracted(map(raising(KeyError("midway")), [1])), KeyError, "'midway'"),
    (checked([key()]), native.SchemaError, MISPLACED),
    (checked([key(()), key()]), native.SchemaError, MISPLACED.replace("OBJECT, INTERFACE", "")),
    (checked([key(["scalar"])]), native.SchemaError, MISPLACED.replace("OBJECT, INTERFACE", "scalar")),
    (checked([key(["SCALAR"]), key(), directive("other", locations=())]), native.SchemaError, MISPLACED),
    (checked([key("SCALAR")]), TypeError, "Can't extract `str` to `Vec`"),
    # The check runs over every item before the extraction reads any: the
    # first item's name is only read by the extraction.
    (checked([changed(key(["SCALAR"]), name=1), key("SCALAR")]), TypeError, "Can't extract `str` to `Vec`"),
    (checked(then_failing(key())), native.SchemaError, MISPLACED),
    (checked(then_failing(key(["SCALAR"]))), KeyError, "'midway'"),
]


test_failures = failure_test(FAILURES)


# Read twice, a generator would be empty for the extraction: its directives lost.
@pytest.mark.parametrize("wrap", [list, tuple, iter, lambda items: (item for item in items)])
def test_any_iterable_gives_every_directive(wrap):
    items = [key(["SCALAR"]), directive("cache", locations=["SCALAR"], max_age=3)]
    assert applied(wrap(items)) == ' @key(fields: "id") @cache(max_age: 3)'
