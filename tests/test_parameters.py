import dataclasses
import functools
from typing import Annotated, Optional

import pytest
from fakes import NOT_STR, calling, directive, failure_test, field

import quenfel._quenfel as native
from quenfel._maybe import Maybe
from quenfel._resolver import Argument, Depends, Info, Parent
from quenfel.directive import DirectiveValue

FIELD_ONLY = directive("shareable", locations=["FIELD_DEFINITION"])


def resolved(resolver):
    """process_type, to be called, of a class named Owner whose field has this resolver."""
    owner = dataclasses.dataclass(type("Owner", (), {"__annotations__": {"value": int}, "value": field(resolver=resolver)}))
    return functools.partial(native.process_type, owner, kind="type", directives=[])


described = calling(native.describe_operation_directive, locations=["FIELD"])


def views(arguments):
    names = "name graphql_name graphql_type has_default default_value description deprecation_reason is_maybe"
    return [tuple(getattr(a, name) for name in names.split()) for a in arguments]


def with_parent(root: Parent["Owner"], info: Info, limit: int = 10) -> list[int]: ...
def variadic(*args: int, **kwargs: str): ...
def injected(db: Annotated[object, Depends()] = object(), info: Info = None): ...
def defaults(pages: Maybe[int] = None, size: tuple[int, ...] = (1,), limit: int = 10): ...
def configured(x: Annotated[Maybe[int], Argument(name="first", deprecation_reason="old", graphql_type=Optional[str]),
                            Argument(name="second", directives=[FIELD_ONLY])] = 3): ...
def marked(bare: Parent, value: DirectiveValue[int], other: Optional["Owner"]): ...
def nothing(): ...


@pytest.mark.parametrize("resolver, parent, info, arguments", [
    (with_parent, "root", "info", [("limit", None, "Int!", True, "10", None, None, False)]),
    (variadic, None, None, [("args", None, "Int!", False, None, None, None, False),
                            ("kwargs", None, "String!", False, None, None, None, False)]),
    (injected, None, "info", []),
    (defaults, None, None, [("pages", None, "Int", True, None, None, None, True),
                            ("size", None, "[Int!]!", True, None, None, None, False),
                            ("limit", None, "Int!", True, "10", None, None, False)]),
    # The first configuration counts; the override sets the type, not is_maybe.
    (configured, None, None, [("x", "first", "String", True, None, None, "old", True)]),
    # Outside a directive, DirectiveValue marks nothing; a bare Parent is no parent;
    # the owner's name resolves although its module does not bind it yet.
    (marked, None, None, [("bare", None, "Parent!", False, None, None, None, False),
                          ("value", None, "DirectiveValue!", False, None, None, None, False),
                          ("other", None, "Owner", False, None, None, None, False)]),
    (nothing, None, None, []),
])
def test_resolver_parameters(resolver, parent, info, arguments):
    view = resolved(resolver)().fields[0]
    assert (view.parent_parameter, view.info_parameter, views(view.arguments)) == (parent, info, arguments)


def my_directive(value: DirectiveValue[str], info: Info, times: int = 1, owner: Parent[int] = None): ...


def test_directive_function_parameters():
    info = described(my_directive, locations=["FIELD", "FIELD"], description="Repeats")()
    assert (info.name, info.description, info.locations, info.value_parameter, info.info_parameter) == (
        "myDirective", "Repeats", ["FIELD", "FIELD"], "value", "info")
    assert views(info.arguments) == [("times", None, "Int!", True, "1", None, None, False),
                                     ("owner", None, "Parent!", True, "null", None, None, False)]
    assert info.arguments is not info.arguments and all(a is b for a, b in zip(info.arguments, info.arguments))
    assert info.locations is not info.locations
    empty = described(nothing, locations=[], name="")()  # a name given, even empty, is the name
    assert (empty.name, empty.locations, empty.value_parameter, empty.info_parameter, empty.arguments) == (
        "", [], None, None, [])


def unannotated_self(self): ...
def unannotated_root(info: Info, /, limit: int, *, root): ...
def unannotated_parent(parent): ...
def two_infos(a: Info, b: Info, c): ...
def two_parents(a: Parent[int], b: Parent[int]): ...
def two_values(a: DirectiveValue[int], b: DirectiveValue[int]): ...
def unresolvable(a: int) -> "Missing": ...  # noqa: F821
def bad_description(x: Annotated[int, Argument(description=5)], y): ...
def misplaced(x: Annotated[int, Argument(directives=[FIELD_ONLY])]): ...


SELF_MESSAGE = "resolver parameter '{}' has no type annotation -- quenfel does not bind an implicit parent value " \
               "by name; annotate it as Parent[T] instead"
UNANNOTATED = "parameter '{}' has no type annotation; annotate it as {}, Info, Depends[T], or a concrete argument type"


# Each function as a resolver, then as a directive function: its failure, if any.
PARAMETER_FAILURES = [
    (unannotated_self, SELF_MESSAGE.format("self"), UNANNOTATED.format("self", "DirectiveValue[T]")),
    (unannotated_root, SELF_MESSAGE.format("root"), UNANNOTATED.format("root", "DirectiveValue[T]")),
    (unannotated_parent, UNANNOTATED.format("parent", "Parent[T]"), UNANNOTATED.format("parent", "DirectiveValue[T]")),
    (two_infos, "declares more than one Info parameter", "declares more than one Info parameter"),
    (two_parents, "resolver declares more than one Parent[T] parameter", None),
    (two_values, None, "directive declares more than one DirectiveValue[T] parameter"),
    (unresolvable, *["could not resolve parameter annotations for 'unresolvable': NameError: name 'Missing' is not "
                     "defined"] * 2),
    (bad_description, *[TypeError(NOT_STR)] * 2),
    (misplaced, *["directive '@shareable' cannot be applied to 'x' (ARGUMENT_DEFINITION); declared locations: "
                  "FIELD_DEFINITION"] * 2),
]
Opaque = type("Opaque", (), {"__call__": lambda self: None, "__repr__": lambda self: "<opaque>"})
FAILURES = [
    (call(function), type(failure) if isinstance(failure, Exception) else native.SchemaError, str(failure))
    for function, *failures in PARAMETER_FAILURES for call, failure in zip((resolved, described), failures) if failure
] + [
    (described(my_directive, locations=["FIELD", "field"]), native.SchemaError,
     "unknown operation directive location 'field'"),
    (described(my_directive, locations=["VARIABLE_DEFINITION", "x"]), native.SchemaError,
     "unknown operation directive location 'VARIABLE_DEFINITION'"),
    (described(5), TypeError, "5 is not a callable object"),
    # Whatever typing.get_type_hints raises is the annotations' failure; no __qualname__ leaves the name empty.
    (described(Opaque()), native.SchemaError, "could not resolve parameter annotations for '': TypeError: <opaque> is "
     "not a module, class, method, or function."),
    (described(type("Meta", (type,), {"__name__": property(lambda cls: 5)})("Call", (), {})), TypeError, NOT_STR),
]


test_failures = failure_test(FAILURES)
