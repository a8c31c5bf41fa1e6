"""Stand-ins for what the host package decorates, for the schema tests."""

from types import SimpleNamespace


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
