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


DESCRIPTION_LISTS = {"types": native.TypeInfo, "unions": native.UnionInfo,
                     "directives": native.OperationDirectiveInfo, "schema_directives": native.SchemaDirectiveInfo}


def compiled(*described, **keywords):
    """compile_schema over decorated classes and description objects, each put in the list of its class."""
    infos = [getattr(item, "__quenfel_type_info__", item) for item in described]
    lists = {key: [info for info in infos if type(info) is cls] for key, cls in DESCRIPTION_LISTS.items()}
    return native.compile_schema(**{"query_type_name": "Query", "scalar_names": [], **lists, **keywords})
