"""An SDL schema declared in Python through the host package stand-in.

`python_source` takes a schema that graphql-core built from SDL and writes the
Python module that a user of the host package would write for it: dataclasses for
object, interface and input types (implementers inherit their interfaces),
enums whose configured members carry `EnumValueDefinition`, unions as
`Annotated[Union[...], UnionDefinition(...)]`, and one resolver per field that
takes arguments, each argument an annotated keyword parameter. Names are
snake_case where camel-casing gives the GraphQL name back, and carry their
GraphQL name otherwise (`bodyHTML`, keywords such as `from`, the introspection
fields). The introspection types are declared too, with `__schema` and
`__type` on the query type, so that introspection queries validate.

`load` runs that source as a real module, and `Host` is the shim that its
decorators use: a class becomes a dataclass when it is declared and is
described by the native module only in `Host.describe` (the module's share of
building the schema, which benchmarks time), whose results `Host.compile`
hands to `compile_schema`.
"""

import dataclasses
import keyword
import re
import sys
from pathlib import Path
from types import ModuleType, SimpleNamespace

import graphql
from graphql import (GraphQLEnumType, GraphQLInputObjectType, GraphQLInterfaceType, GraphQLList, GraphQLNonNull,
                     GraphQLObjectType, GraphQLScalarType, GraphQLUnionType)

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from fakes import field  # noqa: E402

import quenfel._quenfel as native  # noqa: E402

SCALAR_ANNOTATIONS = {"String": "str", "Int": "int", "Float": "float", "Boolean": "bool", "ID": "ID",
                      "Date": "datetime.date", "DateTime": "datetime.datetime", "Time": "datetime.time",
                      "Decimal": "decimal.Decimal", "UUID": "uuid.UUID"}
HEADER = '''\
# Generated from {origin}; do not edit.
import datetime
import decimal
import enum
import uuid
from typing import Annotated, Optional, Union

from quenfel import ID
from quenfel._enum import EnumValueDefinition
from quenfel._resolver import Argument
from quenfel._union import UnionDefinition
'''
# Names the generated module binds (`field` and `host` come from `load`), which no declared name may shadow.
RESERVED = {"datetime", "decimal", "enum", "uuid", "Annotated", "Optional", "Union", "ID", "EnumValueDefinition",
            "Argument", "UnionDefinition", "field", "host", "str", "int", "float", "bool", "list"}
INTROSPECTION_FIELDS = {"__schema": graphql.SchemaMetaFieldDef, "__type": graphql.TypeMetaFieldDef}


def to_camel_case(name: str) -> str:
    """The exposed name of a Python name when auto_camel_case is on."""
    return re.sub(r"_+(.)", lambda match: match[1].upper(), name).replace("_", "")


def free_identifier(name: str, taken: set) -> str:
    """`name`, with "_" appended until it is no keyword, reserved or taken name; now taken."""
    while keyword.iskeyword(name) or name in taken or name in RESERVED:
        name += "_"
    taken.add(name)
    return name


def python_name(graphql_name: str, taken: set) -> str:
    """The snake_case Python name of a field or argument."""
    return free_identifier(re.sub(r"(?<=[a-z0-9])([A-Z])", r"_\1", graphql_name).lower().lstrip("_"), taken)


def settings(config: dict, verbatim=()) -> str:
    """Keyword arguments for the configuration values that are set; `verbatim` ones are code."""
    return ", ".join(f"{key}={value if key in verbatim else repr(value)}"
                     for key, value in config.items() if value is not None)


class Writer:
    def __init__(self, schema: graphql.GraphQLSchema):
        self.schema = schema
        self.lines = []
        self.defined = set()  # the GraphQL names of the types declared so far
        self.functions = set()
        taken = set()
        # GraphQL type name -> Python identifier
        self.identifiers = {name: free_identifier(name.lstrip("_"), taken) for name in schema.type_map}

    def annotation(self, type_, nullable=True) -> str:
        if isinstance(type_, GraphQLNonNull):
            return self.annotation(type_.of_type, nullable=False)
        if isinstance(type_, GraphQLList):
            text = f"list[{self.annotation(type_.of_type)}]"
        elif type_.name in SCALAR_ANNOTATIONS:
            text = SCALAR_ANNOTATIONS[type_.name]
        else:  # a forward reference is written as a string
            text = self.identifiers[type_.name]
            text = text if type_.name in self.defined else repr(text)
        return f"Optional[{text}]" if nullable else text

    def value(self, value, type_) -> str:
        """A Python expression for a default value that graphql-core has coerced."""
        type_ = graphql.get_nullable_type(type_)
        if value is None:
            return "None"
        if isinstance(type_, GraphQLList):
            return "[" + ", ".join(self.value(item, type_.of_type) for item in value) + "]"
        if isinstance(type_, GraphQLEnumType):
            return f"{self.identifiers[type_.name]}.{self.member_names(type_)[value]}"
        if isinstance(type_, GraphQLInputObjectType):
            return "{" + ", ".join(f"{name!r}: {self.value(item, type_.fields[name].type)}"
                                   for name, item in value.items()) + "}"
        return repr(value)

    @staticmethod
    def member_names(enum_type: GraphQLEnumType) -> dict:
        """GraphQL value name -> Python member name."""
        taken = {"mro"}  # refused by enum.Enum
        return {name: free_identifier(name.lstrip("_"), taken) for name in enum_type.values}

    def emit(self, *lines):
        self.lines.extend(lines)

    def declared(self, type_):
        self.defined.add(type_.name)
        return self.identifiers[type_.name]

    def scalar(self, type_: GraphQLScalarType):
        if type_.name not in SCALAR_ANNOTATIONS:
            self.emit(f"class {self.declared(type_)}(str):", "    pass", "")
        self.emit(f"host.scalar({type_.name!r}, {type_.description!r})", "")

    def enum(self, type_: GraphQLEnumType):
        self.emit(f"@host.enum({type_.name!r}, {type_.description!r})",
                  f"class {self.declared(type_)}(enum.Enum):")
        for (name, definition), member in zip(type_.values.items(), self.member_names(type_).values()):
            config = settings({"graphql_name": name if member != name else None,
                               "description": definition.description,
                               "deprecation_reason": definition.deprecation_reason})
            value = f"EnumValueDefinition({name!r}, {config})" if config else repr(name)
            self.emit(f"    {member} = {value}")
        self.emit("")

    def resolver(self, owner: str, field_name: str, arguments: dict) -> str:
        function = free_identifier(f"resolve_{self.identifiers[owner]}_{field_name}", self.functions)
        self.emit(f"def {function}(", "    *,")
        taken = set()
        for name, argument in arguments.items():
            parameter = python_name(name, taken)
            annotation = self.annotation(argument.type)
            config = settings({"name": name if to_camel_case(parameter) != name else None,
                               "description": argument.description, "deprecation_reason": argument.deprecation_reason})
            if config:
                annotation = f"Annotated[{annotation}, Argument({config})]"
            default = ""
            if argument.default_value is not graphql.Undefined:
                default = f" = {self.value(argument.default_value, argument.type)}"
            self.emit(f"    {parameter}: {annotation}{default},")
        self.emit("):", "    raise NotImplementedError", "", "")
        return function

    def composite(self, type_, kind: str, bases=()):
        fields = dict(type_.fields)
        if type_ is self.schema.query_type:
            fields.update(INTROSPECTION_FIELDS)
        # A class attribute named like a type would stand for it in the annotations below it.
        taken, body = set(self.identifiers.values()), []
        for name, definition in fields.items():
            attribute = python_name(name, taken)
            config = {"graphql_name": name if to_camel_case(attribute) != name else None,
                      "description": definition.description, "deprecation_reason": definition.deprecation_reason}
            if kind == "input" and definition.default_value is not graphql.Undefined:
                config["default"] = self.value(definition.default_value, definition.type)
            if getattr(definition, "args", None):
                config["resolver"] = self.resolver(type_.name, attribute, definition.args)
            config = settings(config, verbatim=("default", "resolver"))
            body.append(f"    {attribute}: {self.annotation(definition.type)} = field({config})")
        parents = "(" + ", ".join(self.identifiers[base.name] for base in bases) + ")" if bases else ""
        self.emit(f"@host.{'object' if kind == 'type' else kind}({type_.name!r}, {type_.description!r})",
                  f"class {self.declared(type_)}{parents}:", *(body or ["    pass"]), "", "")

    def union(self, type_: GraphQLUnionType):
        members = ", ".join(self.identifiers[member.name] for member in type_.types)
        inner = f"Union[{members}]" if len(type_.types) > 1 else members
        self.emit(f"{self.declared(type_)} = host.union(Annotated[{inner}, "
                  f"UnionDefinition({type_.name!r}, description={type_.description!r})])")

    def write(self, origin: str) -> str:
        self.emit(HEADER.format(origin=origin))
        roots = (self.schema.query_type, self.schema.mutation_type, self.schema.subscription_type)
        self.emit("host.root_types(" + ", ".join(repr(root and root.name) for root in roots) + ")", "")
        named = [type_ for type_ in self.schema.type_map.values() if type_.name not in graphql.specified_scalar_types]
        for type_ in named:
            if isinstance(type_, GraphQLScalarType):
                self.scalar(type_)
        for type_ in named:
            if isinstance(type_, GraphQLEnumType):
                self.enum(type_)
        self.emit("")
        # Interfaces first: implementers inherit them.
        for type_ in named:
            if isinstance(type_, GraphQLInterfaceType):
                self.composite(type_, "interface")
        for type_ in named:
            if isinstance(type_, GraphQLObjectType):
                self.composite(type_, "type", type_.interfaces)
            elif isinstance(type_, GraphQLInputObjectType):
                self.composite(type_, "input")
        # Last: a union's members must exist when its annotation is made.
        for type_ in named:
            if isinstance(type_, GraphQLUnionType):
                self.union(type_)
        return "\n".join(self.lines) + "\n"


def python_source(schema: graphql.GraphQLSchema, origin: str) -> str:
    """The Python module that declares `schema` (read from the SDL file `origin`)."""
    return Writer(schema).write(origin)


class Host:
    """The host's decorators, split in two: declaring makes each class a
    dataclass and names it; `describe` runs the native descriptions."""

    def __init__(self):
        self.enums, self.types, self.unions, self.scalars = [], [], [], []
        self.roots = ("Query", None, None)

    def root_types(self, query, mutation, subscription):
        self.roots = (query, mutation, subscription)

    def enum(self, name, description):
        def declare(cls):
            self.enums.append((cls, name, description))
            return cls

        return declare

    def declare(self, kind, name, description):
        def declare(cls):
            cls = dataclasses.dataclass(kw_only=True)(cls)
            # Read for the GraphQL name and kind until the class is described.
            cls.__quenfel_type_info__ = SimpleNamespace(name=name, kind=kind)
            self.types.append((cls, kind, name, description))
            return cls

        return declare

    def object(self, name, description):
        return self.declare("type", name, description)

    def interface(self, name, description):
        return self.declare("interface", name, description)

    def input(self, name, description):
        return self.declare("input", name, description)

    def union(self, annotation):
        self.unions.append(annotation)
        return annotation

    def scalar(self, name, description):
        self.scalars.append((name, description))

    def describe(self):
        """The TypeInfo of every enum and type and the UnionInfo of every union."""
        infos = []
        for cls, name, description in self.enums:  # first: argument defaults name their members
            cls.__quenfel_type_info__ = native.process_enum(cls, name=name, description=description, directives=())
            infos.append(cls.__quenfel_type_info__)
        for cls, kind, name, description in self.types:
            cls.__quenfel_type_info__ = native.process_type(cls, kind=kind, name=name, description=description,
                                                            directives=())
            infos.append(cls.__quenfel_type_info__)
        return infos, [native.describe_union(annotation) for annotation in self.unions]

    def compile(self, infos, unions):
        query, mutation, subscription = self.roots
        return native.compile_schema(
            query_type_name=query, mutation_type_name=mutation, subscription_type_name=subscription, types=infos,
            unions=unions, directives=[], schema_directives=[], scalar_names=[name for name, _ in self.scalars],
            scalar_descriptions=self.scalars)


def load(source: str, module_name: str) -> ModuleType:
    """Runs `source` as the module `module_name` (annotations are read through
    its globals) and returns it; its `host` holds the declarations."""
    module = ModuleType(module_name)
    module.host = Host()
    module.field = field
    sys.modules[module_name] = module
    exec(compile(source, f"<{module_name}>", "exec"), module.__dict__)
    return module
