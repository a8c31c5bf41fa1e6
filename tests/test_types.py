import dataclasses
from concurrent.futures import ThreadPoolExecutor
from typing import Annotated, Optional

import pytest
from fakes import NOT_STR, UNSERIALIZABLE, Lazy, Node, User, calling, compiled, directive, failure_test, field, \
    host_type, raising, resolve

import quenfel._quenfel as native
from quenfel._private import PrivateMarker

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
        ["seen", None, "DateTime", None, None, "null", False, True, False, None, None],
    ]
    assert [(a.name, a.graphql_name, a.graphql_type, a.has_default, a.default_value, a.description, a.is_nullable)
            for a in info.fields[2].arguments] == [("first", "count", "Int!", True, "10", "How many", False),
                                                   ("near", None, "Filter", True, "null", None, True),
                                                   ("since", None, "Time", True, "null", None, True)]
    # The views keep their identities.
    friends = info.fields[2]
    assert info.fields is not info.fields and all(a is b for a, b in zip(info.fields, info.fields, strict=True))
    assert friends.type_info is friends.type_info and friends.arguments[0] is friends.arguments[0]
    chain, node = [], friends.type_info
    while node is not None:
        chain.append((node.kind, node.name))
        node = node.of_type
    assert chain == [("NON_NULL", None), ("LIST", None), ("NON_NULL", None), ("NAMED", "User")]
    with pytest.raises(AttributeError):
        info.name = "Other"


def test_interfaces_are_the_decorated_interfaces_among_the_bases():
    Between = dataclasses.dataclass(type("Between", (Node,), {}))  # undecorated: inherits Node's info
    Admin = host_type()(type("Admin", (Between,), {}))
    Root = host_type()(type("Root", (Admin,), {}))  # a decorated object type adds nothing
    sdl = native.render_sdl(compiled(Node, Admin, Root))
    assert "type Admin implements Node & Node {" in sdl and "type Root implements Node & Node {" in sdl


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


def make(name, annotations, bases=(), **namespace):
    """A dataclass made now, with string annotations left for get_type_hints."""
    return dataclasses.dataclass(type(name, bases, {"__annotations__": annotations, **namespace}))


def test_threads_each_describe_their_own_class(switching):
    def describe(name):
        cls = make(name, {"me": f"Optional[{name}]"}, (Node,), me=None)
        return {native.process_type(cls, kind="type", directives=[]).fields[-1].graphql_type for _ in range(200)}

    with ThreadPoolExecutor(2) as pool:
        assert list(pool.map(describe, ["Left", "Right"])) == [{"Left"}, {"Right"}]


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


described = calling(native.process_type, kind="type", directives=[])


def private(value):
    return one_field(value, Annotated[int, PrivateMarker()])


def test_names_kinds_and_flags(monkeypatch):
    probe = one_field(None)
    assert (described(probe)().name, described(probe, name="")().name) == ("Probe", "")
    assert described(probe, one_of=True)().one_of and described(private(None))().fields == []
    unresolved = described(one_field(None, "Missing"), allow_unresolved_annotations=True)()
    assert unresolved.fields[0].graphql_type == "Missing!"
    # A hostile field's lookups that fail count as absent.
    assert described(one_field(None, field_class=Hostile), kind="input")().fields[0].has_resolver is False
    # A private marker below the top of the annotation does not hide the field.
    assert [f.name for f in described(one_field(None, Optional[Annotated[int, PrivateMarker()]]))().fields] == ["x"]
    # A plain field reads the configuration its class carries.
    monkeypatch.setattr(dataclasses.Field, "description", "Shared", raising=False)
    assert described(one_field(None))().fields[0].description == "Shared"


FAILURES = [
    (described(User, kind="Type"), native.SchemaError,
     "unknown type kind 'Type' (expected 'type', 'interface', or 'input')"),
    (described(User, kind="Type", directives=[directive("d", v=())]), ValueError, UNSERIALIZABLE.format("tuple")),
    (described(int), TypeError, "must be called with a dataclass type or instance"),
    (described(one_field(None, "Missing")), native.SchemaError,
     "could not resolve field annotations for 'Probe': NameError: name 'Missing' is not defined"),
    (described(one_field(None, "1/0"), allow_unresolved_annotations=True), ZeroDivisionError, "division by zero"),
    (described(private(field(resolver=None))), native.SchemaError, "field 'x' on 'Probe' cannot be both Private and "
     "a quenfel.field(...) -- either remove the Private annotation or the field configuration"),
    (described(one_field(field(directives=[directive("d", v=())])), directives=[directive("k")]), ValueError,
     UNSERIALIZABLE.format("tuple")),
    (described(one_field(None, field_class=Unnamed)), TypeError, NOT_STR),
    (described(one_field(field(resolver=5))), TypeError, "5 is not a callable object"),
    (described(make("Probe", {"a": "int", "b": "int"}, a=field(resolver=lambda: 1), b=field(resolver=lambda: 2)),
               kind="input"), native.SchemaError, "input type fields cannot declare a resolver, but field 'a' does"),
    # Every field is read before the input check.
    (described(make("Probe", {"a": "int", "b": "int"}, a=field(resolver=lambda: 1), b=field(resolver=lambda self: 2)),
               kind="input"), native.SchemaError, "resolver parameter 'self' has no type annotation -- quenfel does "
     "not bind an implicit parent value by name; annotate it as Parent[T] instead"),
]


test_failures = failure_test(FAILURES)
