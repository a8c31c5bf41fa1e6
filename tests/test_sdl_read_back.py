"""The SDL we print reads back with graphql-core: every description, deprecation reason, default and applied-directive
argument comes back as declared, and the built-in scalars that only directives use are declared."""

import dataclasses
import datetime
import decimal
import enum
import inspect
import keyword
import uuid
from typing import Annotated, Optional

import graphql
import pytest
from fakes import compiled, field, host_type, schema_directive
from hypothesis import given, settings
from hypothesis import strategies as st

import quenfel._quenfel as native
from quenfel._enum import EnumValueDefinition
from quenfel._resolver import Argument

NO_DEFAULT = "no default"
BUILT_IN = {"Date": datetime.date, "DateTime": datetime.datetime, "Decimal": decimal.Decimal, "Time": datetime.time,
            "UUID": uuid.UUID}


def block_value(text):
    """A description as a reader gets it back: exactly, but that an empty one is not printed."""
    return text or None


def read_back(sdl, names):
    """What graphql-core reads from `sdl` for these types and "@directives": the description and, per member, its
    description, deprecation reason, default, applied @tag labels and arguments (whichever the member has)."""
    schema = graphql.build_schema(sdl)

    def default(node):
        return NO_DEFAULT if node.default_value is None else graphql.value_from_ast_untyped(node.default_value)

    def arguments(args):
        return {name: (a.description, a.deprecation_reason, default(a.ast_node)) for name, a in args.items()}

    def member(item):
        if isinstance(item, graphql.GraphQLEnumValue):
            return item.description, item.deprecation_reason
        if isinstance(item, graphql.GraphQLInputField):
            return item.description, item.deprecation_reason, default(item.ast_node)
        return item.description, item.deprecation_reason, labels(item.ast_node), arguments(item.args)

    def read(name):
        if name.startswith("@"):
            directive = schema.get_directive(name[1:])
            return directive.description, arguments(directive.args)
        type_ = schema.get_type(name)
        members = getattr(type_, "values", None) or getattr(type_, "fields", {})
        return type_.description, {key: member(item) for key, item in members.items()}

    return {name: read(name) for name in names} | {"schema": labels(schema.ast_node)}


def labels(node):
    return [graphql.value_from_ast_untyped(a.value) for d in node.directives if d.name.value == "tag"
            for a in d.arguments if a.name.value == "label"]


def resolver(parameters):
    """A resolver with these (name, annotation, default) parameters, keyword-only so defaults may come in any order."""

    def resolve(**values):
        return ""

    resolve.__signature__ = inspect.Signature([inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY, default=default,
                                                                 annotation=annotation)
                                               for name, annotation, default in parameters])
    resolve.__annotations__ = {name: annotation for name, annotation, _ in parameters}
    return resolve


def described(annotation, description, reason):
    return Annotated[annotation, Argument(description=description, deprecation_reason=reason)]


# ---- the mended cases, one by one -------------------------------------------------

DESCRIPTIONS = ['The locale, such as "en-US"', "A folder like C:\\", 'Says """hi""", then """', '""""', "ends \\\"",
          'Line one\nline "two"\\', "Plain",
          # lines that a block string as stored would dedent, drop or join
          "a\n  b\n  c", "Example:\n    query {\n      viewer\n    }", "\nfirst line blank", "trailing newline\n",
          "a\r\nb", "a\rb", "   ", "\t\tx\n\t\ty", "x\n\n  y\n \t\n  z", '  """\n  "']


@pytest.mark.parametrize("text", DESCRIPTIONS)
def test_descriptions_read_back(text):
    @schema_directive(locations=["SCHEMA", "FIELD_DEFINITION"], description=text, repeatable=True)
    class Tag:
        label: str

    Color = enum.Enum("Color", {"RED": EnumValueDefinition(1, description=text)})
    Color.__quenfel_type_info__ = native.process_enum(Color, description=text, directives=[])

    @host_type(kind="input", description=text)
    class Filter:
        level: int = field(0, description=text)

    @host_type(description=text)
    class Query:
        shade: Color = field(Color.RED, description=text, resolver=resolver([("tone", described(str, text, None), "")]))

    mark = native.describe_operation_directive(resolver([("by", described(str, text, None), "")]), locations=["FIELD"],
                                               name="mark", description=text)
    schema = compiled(Color, Filter, Query, mark, Tag, scalar_names=["Url"], scalar_descriptions=[("Url", text)])
    sdl = native.render_sdl(schema)
    assert read_back(sdl, ["Color", "Filter", "Query", "Url", "@mark", "@tag"]) == {
        "Color": (text, {"RED": (text, None)}), "Filter": (text, {"level": (text, None, 0)}),
        "Query": (text, {"shade": (text, None, [], {"tone": (text, None, "")})}),
        "Url": (text, {}), "@mark": (text, {"by": (text, None, "")}), "@tag": (text, {"label": (None, None, NO_DEFAULT)}),
        "schema": []}
    if text == "Plain":  # as it always printed
        assert sdl.count('"""Plain"""') == 11 and '"""Plain""" tone: String! = ""' in sdl


def test_line_breaks_and_quotes_anywhere_read_back():
    # At every place of texts around the sixteen-byte steps in which the printer looks for them.
    texts = ["a" * at + c + "a" * (length - at - 1) for length in (1, 15, 16, 17, 31, 32, 33) for at in range(length)
             for c in '\n\r"\\']
    Color = enum.Enum("Color", {f"V{i}": EnumValueDefinition(i, description=text) for i, text in enumerate(texts)})
    Color.__quenfel_type_info__ = native.process_enum(Color, description=None, directives=[])

    @host_type()
    class Query:
        shade: Color = Color.V0

    sdl = native.render_sdl(compiled(Color, Query))
    values = graphql.build_schema(sdl).get_type("Color").values
    assert [values[f"V{i}"].description for i in range(len(texts))] == texts


def test_nul_in_reasons_and_directive_arguments_reads_back():
    text = "stop\x00here"

    @schema_directive(locations=["SCHEMA", "FIELD_DEFINITION"], repeatable=True)
    class Tag:
        label: str

    @host_type()
    class Query:
        value: int = field(0, deprecation_reason=text, directives=[Tag(text)],
                           resolver=resolver([("by", described(int, None, text), 1)]))

    sdl = native.render_sdl(compiled(Query, Tag, schema_applied_directives=[Tag(text)]))
    assert sdl.count(r'"stop\u{0}here"') == 4
    assert read_back(sdl, ["Query"]) == {"Query": (None, {"value": (None, text, [text], {"by": (None, text, 1)})}),
                                         "schema": [text]}


def test_built_in_scalars_that_only_directives_use_are_declared():
    @schema_directive(locations=["OBJECT"])
    class Stamp:
        at: Optional[datetime.datetime]
        ids: list[uuid.UUID]

    def shift(by: Optional[datetime.date] = None, amount: decimal.Decimal = decimal.Decimal(0)): ...

    @host_type()
    class Query:
        count: int = 0

    schema = compiled(Query, Stamp, native.describe_operation_directive(shift, locations=["FIELD"]))
    assert schema.scalar_names == ["Date", "DateTime", "Decimal", "UUID"]
    assert schema.scalar_descriptions["Decimal"] == "Decimal (fixed-point)"
    sdl = native.render_sdl(schema)
    assert '"""Date (isoformat)"""\nscalar Date\n' in sdl and "scalar UUID" in sdl
    built = graphql.build_schema(sdl)
    assert str(built.get_directive("stamp").args["ids"].type) == "[UUID!]!"
    assert native.validate_query('{ count @shift(by: "2024-01-31", amount: 1.5) }', schema) is None


# ---- random schemas ------------------------------------------------------------------

# Every character, with the ones that trouble string syntax drawn often; and lines indented with spaces and tabs,
# some blank, which a block string's reader dedents and trims.
LINE = st.tuples(st.text(" \t", max_size=3), st.text(st.sampled_from('ab"\\ \t\r'), max_size=4)).map("".join)
TEXT = (st.text(st.sampled_from('"\\\n\r\t \x00\x01\x7f\u2028\u00e9\U0001F600') | st.characters(exclude_categories=["Cs"]),
                max_size=12)
        | st.lists(LINE, min_size=1, max_size=5).map("\n".join))
MAYBE_TEXT = st.none() | TEXT


def names(first, rest, count):
    name = st.builds("".join, st.tuples(st.sampled_from(first), st.text(rest, max_size=5)))
    return st.lists(name.filter(lambda n: not keyword.iskeyword(n) and n not in ("self", "cls")), unique=True,
                    min_size=count[0], max_size=count[-1])


MEMBER_NAMES = names("abxyz", "abxyzAXZ019", (1, 3))
VALUE_NAMES = names("ABXYZ", "ABXYZ019", (1, 3))
TYPE_NAMES = names("X", "abxyzAXZ019", (4,))
BUILT_IN_NAMES = st.lists(st.sampled_from(sorted(BUILT_IN)), unique=True)


def plain_defaults(color):
    """(annotation, default, the default read back) of every kind a dataclass field may hold."""
    return st.one_of(
        st.integers(-2**63, 2**63 - 1).map(lambda n: (int, n, n)),
        st.floats(allow_nan=False, allow_infinity=False).map(lambda x: (float, x, x)),
        TEXT.map(lambda s: (str, s, s)),
        st.booleans().map(lambda b: (bool, b, b)),
        st.just((Optional[int], None, None)),
        st.sampled_from(list(color)).map(lambda m: (color, m, m.name)),
    )


def all_defaults(color, filter_, filter_fields):
    """Those, lists, input objects as dicts, or no default at all."""
    return plain_defaults(color) | st.one_of(
        st.lists(TEXT, max_size=3).map(lambda items: (list[str], items, items)),
        st.dictionaries(st.sampled_from(filter_fields), st.integers(-5, 5)).map(lambda d: (Optional[filter_], d, d)),
        st.sampled_from([(str, inspect.Parameter.empty, NO_DEFAULT),
                         *((Optional[scalar], None, None) for scalar in BUILT_IN.values())]),
    )


@st.composite
def schemas(draw):
    """(the declared parts, compile_schema's other keywords, what each declared name reads back as)"""
    color_name, filter_name, query_name, scalar_name = draw(TYPE_NAMES)
    expected, text = {}, lambda: draw(TEXT)
    built_in = draw(BUILT_IN_NAMES)
    tag_fields = {"label": Optional[str], **{"on" + name: Optional[BUILT_IN[name]] for name in built_in}}
    tag = dataclasses.make_dataclass("Tag", [(name, annotation, None) for name, annotation in tag_fields.items()])
    tag.__quenfel_directive_info__ = native.describe_schema_directive(
        tag, locations=["SCHEMA", "FIELD_DEFINITION"], name="tag", description=(description := text()),
        repeatable=True)
    expected["@tag"] = (block_value(description), {name: (None, None, NO_DEFAULT) for name in tag_fields})

    values = {name: (text(), draw(MAYBE_TEXT)) for name in draw(VALUE_NAMES)}
    color = enum.Enum(color_name, {name: EnumValueDefinition(i, description=d, deprecation_reason=r)
                                   for i, (name, (d, r)) in enumerate(values.items())})
    color.__quenfel_type_info__ = native.process_enum(color, description=(description := text()), directives=[])
    expected[color_name] = (block_value(description), {n: (block_value(d), r) for n, (d, r) in values.items()})

    filter_fields, annotations, members, read = draw(MEMBER_NAMES), {}, {}, {}
    defaults = plain_defaults(color)
    for name in filter_fields:
        annotations[name], default, literal = draw(defaults)
        description, reason = text(), draw(MAYBE_TEXT)
        members[name] = field(default, description=description, deprecation_reason=reason)
        read[name] = (block_value(description), reason, literal)
    filter_ = host_type(kind="input", description=(description := text()))(type(filter_name, (), {
        "__annotations__": annotations, **members}))
    expected[filter_name] = (block_value(description), read)

    defaults = all_defaults(color, filter_, filter_fields)

    def arguments():
        parameters, read = [], {}
        for name in draw(MEMBER_NAMES):
            annotation, default, literal = draw(defaults)
            description, reason = text(), draw(MAYBE_TEXT)
            parameters.append((name, described(annotation, description, reason), default))
            read[name] = (block_value(description), reason, literal)
        return resolver(parameters), read

    mark, read = arguments()
    mark = native.describe_operation_directive(mark, locations=["FIELD"], name="mark",
                                               description=(description := text()))
    expected["@mark"] = (block_value(description), read)

    members, read_fields = {}, {}
    for name in draw(MEMBER_NAMES):
        resolve, read = arguments()
        description, reason, label = text(), draw(MAYBE_TEXT), draw(MAYBE_TEXT)
        members[name] = field("", resolver=resolve, description=description, deprecation_reason=reason,
                              directives=[tag(label=label)])
        read_fields[name] = (block_value(description), reason, [label], read)
    query = host_type(name=query_name, description=(description := text()))(type(query_name, (), {
        "__annotations__": dict.fromkeys(members, str), **members}))
    expected[query_name] = (block_value(description), read_fields)

    expected[scalar_name] = (block_value(description := text()), {})
    expected["schema"] = [schema_label := draw(MAYBE_TEXT)]
    keywords = dict(query_type_name=query_name, scalar_names=[scalar_name],
                    scalar_descriptions=[(scalar_name, description)], schema_applied_directives=[tag(label=schema_label)])
    return (color, filter_, query, mark, tag), keywords, expected


@settings(max_examples=50, deadline=None)
@given(schemas())
def test_random_schemas_read_back(schema):
    parts, keywords, expected = schema
    sdl = native.render_sdl(compiled(*parts, **keywords))
    assert read_back(sdl, [name for name in expected if name != "schema"]) == expected
