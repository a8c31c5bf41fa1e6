"""Stand-ins for what the host package decorates, for the schema tests."""

import dataclasses
from types import SimpleNamespace

import quenfel._quenfel as native
from quenfel._lazy import LazyType


def directive(name, *, locations=("OBJECT",), renamed=None, members=None, **values):
    """An instance of a fresh directive class with a field per value and per class
    member; `renamed` maps Python field names to GraphQL names."""
    renamed, members = renamed or {}, members or {}
    fields = [SimpleNamespace(name=key, graphql_name=renamed.get(key)) for key in [*values, *members]]
    info = SimpleNamespace(name=name, fields=fields, locations=locations)
    instance = type(name, (), {"__quenfel_directive_info__": info, **members})()
    vars(instance).update(values)
    return instance


def raising(error):
    def fail(*args):
        raise error

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
