import json
import sys
from types import SimpleNamespace

import pytest

import quenfel._quenfel as native
import quenfel_testhooks as hooks
from fakes import directive, raising


def applied(directives, *location_and_target):
    """The applied directives of `directives` as [[name, [[argument, value], ...]], ...]."""
    return json.loads(hooks.applied_directives(directives, *location_and_target))


def changed(instance, **description):
    vars(type(instance).__quenfel_directive_info__).update(description)
    return instance


class Unlookable:
    __getattr__ = raising(RuntimeError("no attributes here"))


def test_extraction():
    key = directive("key", fields="id", resolvable=True)
    cache = directive("cache", renamed={"max_age": "maxAge"}, max_age=3, scope_name="x")
    assert applied(("text", 1, None, Unlookable(), key, cache, directive("bare"), key)) == [
        ["key", [["fields", "id"], ["resolvable", True]]],
        ["cache", [["maxAge", 3], ["scope_name", "x"]]],
        ["bare", []],
        ["key", [["fields", "id"], ["resolvable", True]]],
    ]
    assert applied([]) == applied([], "SCALAR", "Date") == []
    [[_, [[_, value]]]] = applied([directive("d", value={"b": 1, "a": [2.5, None]})])
    assert list(value) == ["a", "b"] and value == {"a": [2.5, None], "b": 1}


@pytest.mark.parametrize(
    "directives, error, message",
    [
        (5, TypeError, "'int' object is not iterable"),
        ([directive("d", v=(1, 2))], ValueError, "value of type 'tuple' is not JSON-serializable"),
        ([directive("d", v={1})], ValueError, "value of type 'set' is not JSON-serializable"),
        ([changed(directive("d"), name=1)], TypeError, "'int' object is not an instance of 'str'"),
        ([changed(directive("d"), fields=None)], TypeError, "'NoneType' object is not iterable"),
        ([changed(directive("d"), fields=[SimpleNamespace(name="v", graphql_name=2)])], TypeError,
         "'int' object is not an instance of 'str'"),
        ([changed(directive("d"), fields=[SimpleNamespace(name="gone", graphql_name=None)])], AttributeError, "gone"),
        ([directive("d", members={"v": property(raising(LookupError("v failed")))})], LookupError, "v failed"),
        (map(raising(KeyError("midway")), [1]), KeyError, "midway"),
    ],
)
def test_extraction_failures(directives, error, message):
    with pytest.raises(error, match=message):
        hooks.applied_directives(directives)


def key_directive(locations=("OBJECT", "INTERFACE")):
    return directive("key", locations=locations, fields="id")


def then_failing(*items):
    yield from items
    raise KeyError("midway")


DATE_MISPLACED = "directive '@key' cannot be applied to 'Date' (SCALAR); declared locations: OBJECT, INTERFACE"


@pytest.mark.parametrize(
    "directives, error, message",
    [
        ([key_directive()], native.SchemaError, DATE_MISPLACED),
        ([key_directive(()), key_directive()], native.SchemaError, DATE_MISPLACED.replace("OBJECT, INTERFACE", "")),
        ([key_directive(["scalar"])], native.SchemaError, DATE_MISPLACED.replace("OBJECT, INTERFACE", "scalar")),
        ([key_directive(["SCALAR"]), key_directive(), directive("other", locations=())], native.SchemaError,
         DATE_MISPLACED),
        ([key_directive("SCALAR")], TypeError, "Can't extract `str` to `Vec`"),
        ([key_directive(5)], TypeError, "'int' object is not an instance of 'Sequence'"),
        ([key_directive([b"SCALAR"])], TypeError, "'bytes' object is not an instance of 'str'"),
        # The check runs over every item before the extraction reads any: the
        # first item's name is only read by the extraction.
        ([changed(key_directive(["SCALAR"]), name=1), key_directive("SCALAR")], TypeError,
         "Can't extract `str` to `Vec`"),
        (then_failing(key_directive()), native.SchemaError, DATE_MISPLACED),
        (then_failing(key_directive(["SCALAR"])), KeyError, "'midway'"),
    ],
)
def test_location_check(directives, error, message):
    with pytest.raises(error) as info:
        hooks.applied_directives(directives, "SCALAR", "Date")
    assert str(info.value) == message


def test_location_check_passes_what_is_declared():
    placed = [key_directive(["SCALAR"]), "not a directive", Unlookable(), key_directive(("OBJECT", "SCALAR"))]
    assert applied(placed, "SCALAR", "Date") == [["key", [["fields", "id"]]]] * 2


# Read twice, a generator would be empty for the extraction: its directives lost.
@pytest.mark.parametrize("wrap", [list, tuple, iter, lambda items: (item for item in items)])
def test_any_iterable_gives_every_directive(wrap):
    items = [key_directive(["SCALAR"]), directive("cache", locations=["SCALAR"], max_age=3)]
    expected = [["key", [["fields", "id"]]], ["cache", [["max_age", 3]]]]
    assert applied(wrap(items), "SCALAR", "Date") == applied(wrap(items)) == expected


def test_failures_leave_no_references_behind():
    unconvertible, misplaced = directive("d", v=(1, 2)), key_directive()
    before = sys.getrefcount(unconvertible), sys.getrefcount(misplaced)
    for _ in range(50):
        with pytest.raises(ValueError):
            hooks.applied_directives(iter([unconvertible]), "OBJECT", "T")
        with pytest.raises(native.SchemaError):
            hooks.applied_directives(iter([misplaced]), "SCALAR", "Date")
    assert (sys.getrefcount(unconvertible), sys.getrefcount(misplaced)) == before
