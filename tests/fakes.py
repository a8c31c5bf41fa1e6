"""Stand-ins for what the host package decorates, the tests' shared helpers, and one schema declared with them."""

import dataclasses
import datetime
import decimal
import enum
import functools
import hashlib
from types import SimpleNamespace
from typing import Annotated, Optional, Union

import pytest

import quenfel._quenfel as native
from quenfel import ID
from quenfel._enum import EnumValueDefinition
from quenfel._lazy import LazyType
from quenfel._maybe import Maybe
from quenfel._private import PrivateMarker
from quenfel._resolver import Argument, Info, Parent
from quenfel.directive import DirectiveValue


def directive(name, *, locations=("OBJECT",), renamed=None, members=None, **values):
    """An instance of a fresh directive class with a field per value and member; `renamed` maps to GraphQL names."""
    renamed, members = renamed or {}, members or {}
    fields = [SimpleNamespace(name=key, graphql_name=renamed.get(key)) for key in [*values, *members]]
    info = SimpleNamespace(name=name, fields=fields, locations=locations)
    instance = type(name, (), {"__quenfel_directive_info__": info, **members})()
    vars(instance).update(values)
    return instance


class HostField(dataclasses.Field):
    """A dataclass field carrying the host's field configuration."""

    __slots__ = ("resolver", "graphql_name", "description", "deprecation_reason", "graphql_type", "directives")


def field(default=dataclasses.MISSING, *, default_factory=dataclasses.MISSING, **config):
    """A field as the host's quenfel.field(...) makes it: every configuration attribute set."""
    made = HostField(default, default_factory, True, True, None, True, None, dataclasses.MISSING)
    for name in HostField.__slots__:
        setattr(made, name, config.pop(name, () if name == "directives" else None))
    assert not config, config
    return made


def host_type(kind="type", directives=(), **options):
    """The host's class decorator: a dataclass with its TypeInfo stored on it."""

    def decorate(cls):
        cls = dataclasses.dataclass(cls)
        cls.__quenfel_type_info__ = native.process_type(cls, kind=kind, directives=directives, **options)
        return cls

    return decorate


def schema_directive(**options):
    """The host's directive class decorator."""

    def decorate(cls):
        cls = dataclasses.dataclass(cls)
        cls.__quenfel_directive_info__ = native.describe_schema_directive(cls, **options)
        return cls

    return decorate


NOT_STR = "'int' object is not an instance of 'str'"
UNSERIALIZABLE = "value of type '{}' is not JSON-serializable"
MEMBER_ERROR = "union member '{}' is not a '@quenfel.type'-decorated object type; GraphQL unions may only contain " \
               "object types"


def check_failure(call, error, message, note=None):
    """`call()` raises `error` with exactly `message`, noted with the argument `note` names (a failure table's row)."""
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message
    assert getattr(info.value, "__notes__", None) == (note and [f"while processing '{note}'"])


def failure_test(rows):
    """The test of a failure table; the leak test calls its rows' calls too."""

    @pytest.mark.parametrize("row", rows)
    def test_failures(row):
        check_failure(*row)

    return test_failures


def calling(function, **defaults):
    """`function`'s calls with these keyword defaults, to be made later: `calling(f)(x, k=1)()` calls `f(x, k=1)`."""
    return lambda *args, **keywords: functools.partial(function, *args, **{**defaults, **keywords})


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def raising(error):
    """A function that raises `error`, without the traceback of its earlier raises."""

    def fail(*args, **kwargs):
        raise error.with_traceback(None) if isinstance(error, BaseException) else error

    return fail


def decorated(name, kind="type", graphql_name=None):
    """A class as the host leaves it once decorated: only `name` and `kind` of its info are read."""
    info = SimpleNamespace(name=graphql_name or name, kind=kind)
    return type(name, (), {"__quenfel_type_info__": info})


class Lazy(LazyType):
    """A lazy reference that typing accepts inside Optional[...] and Maybe[...]."""

    def __call__(self):
        raise TypeError("not callable")


def resolve(annotation):
    """The SDL type text of `annotation`, resolved as a directive field's annotation."""
    cls = dataclasses.make_dataclass("Probe", [("x", annotation)])
    return native.describe_schema_directive(cls, locations=[]).fields[0].graphql_type


DESCRIPTION_LISTS = {"types": native.TypeInfo, "unions": native.UnionInfo,
                     "directives": native.OperationDirectiveInfo, "schema_directives": native.SchemaDirectiveInfo}


def schema_keywords(*described, **keywords):
    """compile_schema's keywords for decorated classes and description objects, each in the list of its class."""
    infos = [getattr(item, "__quenfel_type_info__", getattr(item, "__quenfel_directive_info__", item)) for item in described]
    lists = {key: [info for info in infos if type(info) is cls] for key, cls in DESCRIPTION_LISTS.items()}
    return {"query_type_name": "Query", "scalar_names": [], **lists, **keywords}


def compiling(*described, **keywords):
    """compile_schema of these, to be called."""
    return functools.partial(native.compile_schema, **schema_keywords(*described, **keywords))


def compiled(*described, **keywords):
    return compiling(*described, **keywords)()


# ---- One schema, declared as a user of the host package would ----------------


@schema_directive(locations=["SCHEMA", "SCALAR", "OBJECT", "FIELD_DEFINITION", "ARGUMENT_DEFINITION", "INTERFACE",
                            "ENUM", "ENUM_VALUE"])
class Tag:
    label: str


@schema_directive(locations=["OBJECT"], description="How long a result may be cached")
class CacheControl:
    max_age: int
    scope: Optional[str] = field(None, graphql_name="cacheScope")


class Color(enum.Enum):
    RED = EnumValueDefinition(1, graphql_name="CRIMSON", description="Warm", deprecation_reason="Too loud",
                              directives=[Tag("hue")])
    GREEN = 2
    LIME = 2  # an alias, not a member of its own
    BLUE = EnumValueDefinition(3)


Color.__quenfel_type_info__ = native.process_enum(Color, description="Paints", directives=[Tag("paint")])


@host_type(kind="interface", directives=[Tag("node")])
class Node:
    id: ID


@host_type(kind="input")
class Filter:
    color: Color = Color.RED
    since: Optional[datetime.date] = None


def friends(root: Parent["User"], info: Info,
            first: Annotated[int, Argument(name="count", description="How many", directives=[Tag("arg")])] = 10,
            near: Optional[Filter] = None, since: Optional[datetime.time] = None) -> list["User"]:
    return []


@host_type(description="A person", directives=(d for d in [CacheControl(30)]))
class User(Node):
    name: str = field(graphql_name="fullName", description="Shown", deprecation_reason="Use handle",
                      directives=[Tag("name")])
    friends: list["User"] = field(resolver=friends)  # an implementer naming itself
    best_friend: Optional["User"] = None
    secret: Annotated[str, PrivateMarker()] = ""
    score: Maybe[int] = 3
    level: int = field(3, graphql_type=Optional[str])
    tags: list[str] = field(default_factory=list)
    seen: Optional[datetime.datetime] = None


@host_type(directives=[Tag("pet")])
class Pet(Node):
    name: str


@host_type()
class Query:
    me: Optional[User] = None
    hits: list[Union[User, Pet]] = field(default_factory=list)
    greeting: str = ""
    count: int = 0


def shout(value: DirectiveValue[str], info: Info, times: Annotated[int, Argument(directives=[Tag("times")])] = 1,
          by: Optional[decimal.Decimal] = None):  # a standard-library scalar that only a directive uses
    return value * times


SCHEMA_PARTS = (Color, Node, Filter, User, Pet, Query, native.describe_union(Union[User, Pet]),
                native.describe_operation_directive(shout, locations=["FIELD"]), Tag, CacheControl)
SCHEMA_OPTIONS = dict(scalar_names=["ID"], scalar_directives=[("ID", [Tag("id")])],
                      scalar_specified_by_urls=[("ID", "https://id")])
SCHEMA = compiled(*SCHEMA_PARTS, **SCHEMA_OPTIONS, schema_applied_directives=(t for t in [Tag("schema")]))
