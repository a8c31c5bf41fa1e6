import dataclasses
import gc
import json
import sys
import threading
from typing import Annotated, Optional

import pytest
from fakes import Lazy, directive, field, host_type, raising, resolve

import quenfel._quenfel as native
import quenfel_testhooks as hooks
from quenfel import ID
from quenfel._maybe import Maybe
from quenfel._private import PrivateMarker
from quenfel._resolver import Argument, Info, Parent

KEY = directive("key", locations=["OBJECT", "INTERFACE"], fields="id")
SHAREABLE = directive("shareable", locations=["FIELD_DEFINITION"])
PUBLIC = directive("tag", locations=["ARGUMENT_DEFINITION"], label="public")


@host_type(kind="interface", directives=[KEY])
class Node:
    id: ID


def friends(
    root: Parent["User"],
    info: Info,
    first: Annotated[int, Argument(name="count", description="How many", directives=[PUBLIC])] = 10,
    near: Optional["User"] = None,
) -> list["User"]:
    return []


@host_type(description="A person", directives=[KEY])
class User(Node):
    name: str = field(graphql_name="fullName", description="Shown", deprecation_reason="Use handle",
                      directives=[SHAREABLE])
    friends: list["User"] = field(resolver=friends)
    best_friend: Optional["User"] = None
    secret: Annotated[str, PrivateMarker()] = ""
    score: Maybe[int] = 3
    level: int = field(3, graphql_type=Optional[str])
    tags: list[str] = field(default_factory=list)
    bounds: tuple[int, ...] = (1, 2)


FIELD_VIEW = "name graphql_name graphql_type description deprecation_reason default_value is_maybe is_nullable " \
             "has_resolver parent_parameter info_parameter".split()


def test_an_implementer_with_resolvers_overrides_and_private_fields():
    info = User.__quenfel_type_info__
    assert (info.kind, info.name, info.description, info.one_of, info.enum_values) == (
        "type", "User", "A person", False, [])
    assert [[getattr(f, a) for a in FIELD_VIEW] for f in info.fields] == [
        ["id", None, "ID!", None, None, None, False, False, False, None, None],
        ["name", "fullName", "String!", "Shown", "Use handle", None, False, False, False, None, None],
        # An implementer's references to itself name it, not the interface it inherits from.
        ["friends", None, "[User!]!", None, None, None, False, False, True, "root", "info"],
        ["best_friend", None, "User", None, None, "null", False, True, False, None, None],
        ["score", None, "Int", None, None, None, True, True, False, None, None],
        ["level", None, "String", None, None, "3", False, True, False, None, None],
        ["tags", None, "[String!]!", None, None, None, False, False, False, None, None],
        ["bounds", None, "[Int!]!", None, None, None, False, False, False, None, None],
    ]
    count, near = info.fields[2].arguments
    assert [(a.name, a.graphql_name, a.graphql_type, a.has_default, a.default_value, a.description, a.is_nullable)
            for a in (count, near)] == [("first", "count", "Int!", True, "10", "How many", False),
                                        ("near", None, "User", True, "null", None, True)]
    assert json.loads(hooks.definition("process_type", User, kind="type", directives=(d for d in [KEY]))) == {
        "name": "User", "directives": [["key", [["fields", "id"]]]], "interfaces": ["Node"], "enum_values": [],
        "fields": [["id", [], []], ["name", [["shareable", []]], []],
                   ["friends", [], [["first", [["tag", [["label", "public"]]]]], ["near", []]]],
                   ["best_friend", [], []], ["score", [], []], ["level", [], []], ["tags", [], []],
                   ["bounds", [], []]],
    }


def test_views_keep_their_identities():
    info = User.__quenfel_type_info__
    friends_field = info.fields[2]
    assert info.fields is not info.fields and all(a is b for a, b in zip(info.fields, info.fields, strict=True))
    assert friends_field.type_info is friends_field.type_info
    assert friends_field.arguments[0] is friends_field.arguments[0]
    chain, node = [], friends_field.type_info
    while node is not None:
        chain.append((node.kind, node.name))
        node = node.of_type
    assert chain == [("NON_NULL", None), ("LIST", None), ("NON_NULL", None), ("NAMED", "User")]


@dataclasses.dataclass
class Between(Node):
    pass


@host_type()
class Admin(Between):
    pass


@host_type()
class Root(Admin):
    pass


@pytest.mark.parametrize("cls, interfaces", [(Admin, ["Node", "Node"]), (Root, ["Node", "Node"]), (Node, [])])
def test_interfaces_are_the_decorated_interfaces_among_the_bases(cls, interfaces):
    assert json.loads(hooks.definition("process_type", cls, kind="type", directives=[]))["interfaces"] == interfaces


def test_nested_descriptions_each_name_their_own_class():
    described = []

    class OnDemand(Lazy):
        def resolve_type(self):
            @dataclasses.dataclass
            class Comment(Node):
                on: Post
                replies: list["Comment"]

            Comment.__quenfel_type_info__ = native.process_type(Comment, kind="type", directives=[])
            described.append(Comment.__quenfel_type_info__)
            return Comment

    @dataclasses.dataclass
    class Post(Node):
        comments: list[OnDemand("Comment", __name__)]
        parent: Optional["Post"] = None

    info = native.process_type(Post, kind="type", name="Article", directives=[])
    assert [f.graphql_type for f in info.fields] == ["ID!", "[Comment!]!", "Article"]
    # Inside, both classes being described name themselves.
    assert [f.graphql_type for f in described[0].fields] == ["ID!", "Article!", "[Comment!]!"]
    # Once described, or failed, a class is no longer taken for the type being built.
    @dataclasses.dataclass
    class Broken(Node):
        me: Optional["Broken"]
        score: int = field(resolver=5)

    with pytest.raises(TypeError, match="is not a callable object"):
        native.process_type(Broken, kind="type", directives=[])
    assert (resolve(Post), resolve(Broken)) == ("Node!", "Node!")


def test_threads_each_describe_their_own_class():
    classes = [make(name, {"me": f"Optional[{name}]"}, (Node,), me=None) for name in ("Left", "Right")]
    seen = {cls.__name__: set() for cls in classes}

    def describe(cls):
        for _ in range(200):
            seen[cls.__name__].add(native.process_type(cls, kind="type", directives=[]).fields[-1].graphql_type)

    threads = [threading.Thread(target=describe, args=(cls,)) for cls in classes]
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads inside the calls
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert seen == {"Left": {"Left"}, "Right": {"Right"}}


def make(name, annotations, bases=(), **namespace):
    """A dataclass made now, with string annotations left for get_type_hints."""
    return dataclasses.dataclass(type(name, bases, {"__annotations__": annotations, **namespace}))


class Unnamed(dataclasses.Field):
    __slots__ = ()
    name = property(lambda self: 5, lambda self, value: None)


class Hostile(dataclasses.Field):
    __slots__ = ()
    resolver = property(raising(RuntimeError("no resolver")), lambda self, value: None)
    directives = property(raising(KeyError("no directives")), lambda self, value: None)


def one_field(value, annotation="int", field_class=None):
    cls = make("Probe", {"x": annotation}, x=value)
    if field_class:  # once made: dataclass() itself would trip over the field
        cls.__dataclass_fields__["x"].__class__ = field_class
    return cls


def typed(annotation, **kwargs):
    return native.process_type(one_field(None, annotation), kind="type", directives=[], **kwargs)


def test_names_kinds_and_flags():
    assert (typed("int").name, typed("int", name="").name, typed("int", one_of=True).one_of) == ("Probe", "", True)
    unresolved = typed("Missing", allow_unresolved_annotations=True)
    assert unresolved.fields[0].graphql_type == "Missing!"
    # A hostile field's lookups that fail count as absent.
    hostile = native.process_type(one_field(None, field_class=Hostile), kind="input", directives=[])
    assert hostile.fields[0].has_resolver is False


def test_a_plain_field_reads_the_configuration_its_class_carries(monkeypatch):
    monkeypatch.setattr(dataclasses.Field, "description", "Shared", raising=False)
    assert typed("int").fields[0].description == "Shared"


def private(value):
    return one_field(value, Annotated[int, PrivateMarker()])


NOT_CALLABLE = one_field(field(resolver=5))
CONFLICT = "field 'x' on 'Probe' cannot be both Private and a quenfel.field(...) -- either remove the Private " \
           "annotation or the field configuration"


def unconvertible():
    return directive("d", v=())


@pytest.mark.parametrize(
    "cls, kwargs, error, message",
    [
        (User, {"kind": "Type"}, native.SchemaError,
         "unknown type kind 'Type' (expected 'type', 'interface', or 'input')"),
        (User, {"kind": "Type", "directives": [unconvertible()]}, ValueError,
         "value of type 'tuple' is not JSON-serializable"),
        (int, {}, TypeError, "must be called with a dataclass type or instance"),
        (one_field(None, "Missing"), {}, native.SchemaError,
         "could not resolve field annotations for 'Probe': NameError: name 'Missing' is not defined"),
        (one_field(None, "1/0"), {"allow_unresolved_annotations": True}, ZeroDivisionError, "division by zero"),
        (private(None), {}, None, None),
        (private(field(resolver=None)), {}, native.SchemaError, CONFLICT),
        (one_field(field(directives=[unconvertible()])), {}, ValueError, "value of type 'tuple' is not JSON-serializable"),
        (one_field(None, field_class=Unnamed), {}, TypeError, "'int' object is not an instance of 'str'"),
        (NOT_CALLABLE, {}, TypeError, "5 is not a callable object"),
        (one_field(field(resolver=iter)), {}, ValueError, "no signature found for builtin <built-in function iter>"),
        (make("Probe", {"a": "int", "b": "int"}, a=field(resolver=lambda: 1), b=field(resolver=lambda: 2)),
         {"kind": "input"}, native.SchemaError, "input type fields cannot declare a resolver, but field 'a' does"),
        # Every field is read before the input check.
        (make("Probe", {"a": "int", "b": "int"}, a=field(resolver=lambda: 1), b=field(resolver=lambda self: 2)),
         {"kind": "input"}, native.SchemaError, "resolver parameter 'self' has no type annotation -- quenfel does "
         "not bind an implicit parent value by name; annotate it as Parent[T] instead"),
    ],
)
def test_failures(cls, kwargs, error, message):
    call = lambda: native.process_type(cls, **{"kind": "type", "directives": [], **kwargs})  # noqa: E731
    if error is None:
        assert call().fields == []
        return
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message


def test_annotations_that_are_no_dict_and_failures_leave_nothing_behind():
    cls = one_field(None)
    cls.__annotations__ = 5
    with pytest.raises(AttributeError):
        native.process_type(cls, kind="type", directives=[])
    key, bad = directive("k"), one_field(field(directives=[unconvertible()]))

    def counts():
        gc.collect()  # failures make cycles through their tracebacks
        return sys.getrefcount(key), sys.getrefcount(bad), sys.getrefcount(NOT_CALLABLE)

    before = counts()
    for _ in range(50):
        for failing in (bad, NOT_CALLABLE):
            with pytest.raises((ValueError, TypeError)):
                native.process_type(failing, kind="type", directives=[key])
        native.process_type(User, kind="type", directives=[key])
    del failing
    assert counts() == before
