import enum
from types import SimpleNamespace

import pytest
from fakes import compiled, directive, raising

import quenfel._quenfel as native


def applied(directives):
    """The directives as SDL prints them on a scalar, after the check for "SCALAR"."""
    sdl = native.render_sdl(compiled(scalar_names=["Date"], scalar_directives=[("Date", directives)]))
    return sdl.rpartition("scalar Date")[2]


def extracted(directives):
    """Extraction alone, as for an enum's own directives."""
    return native.process_enum(enum.Enum("E", "A"), directives=directives)


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


@pytest.mark.parametrize(
    "directives, error, message",
    [
        (5, TypeError, "'int' object is not iterable"),
        ([directive("d", v=(1, 2))], ValueError, "value of type 'tuple' is not JSON-serializable"),
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
        extracted(directives)


def then_failing(*items):
    yield from items
    raise KeyError("midway")


MISPLACED = "directive '@key' cannot be applied to 'Date' (SCALAR); declared locations: OBJECT, INTERFACE"


@pytest.mark.parametrize(
    "directives, error, message",
    [
        ([key()], native.SchemaError, MISPLACED),
        ([key(()), key()], native.SchemaError, MISPLACED.replace("OBJECT, INTERFACE", "")),
        ([key(["scalar"])], native.SchemaError, MISPLACED.replace("OBJECT, INTERFACE", "scalar")),
        ([key(["SCALAR"]), key(), directive("other", locations=())], native.SchemaError, MISPLACED),
        ([key("SCALAR")], TypeError, "Can't extract `str` to `Vec`"),
        ([key(5)], TypeError, "'int' object is not an instance of 'Sequence'"),
        ([key([b"SCALAR"])], TypeError, "'bytes' object is not an instance of 'str'"),
        # The check runs over every item before the extraction reads any: the
        # first item's name is only read by the extraction.
        ([changed(key(["SCALAR"]), name=1), key("SCALAR")], TypeError, "Can't extract `str` to `Vec`"),
        (then_failing(key()), native.SchemaError, MISPLACED),
        (then_failing(key(["SCALAR"])), KeyError, "'midway'"),
    ],
)
def test_location_check(directives, error, message):
    with pytest.raises(error) as info:
        applied(directives)
    assert str(info.value) == message


# Read twice, a generator would be empty for the extraction: its directives lost.
@pytest.mark.parametrize("wrap", [list, tuple, iter, lambda items: (item for item in items)])
def test_any_iterable_gives_every_directive(wrap):
    items = [key(["SCALAR"]), directive("cache", locations=["SCALAR"], max_age=3)]
    assert applied(wrap(items)) == ' @key(fields: "id") @cache(max_age: 3)'
