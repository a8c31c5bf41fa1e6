"""Times the schema description functions per call and per item (annotation,
field or enum member), beside the interpreter's own calls that they make on
the same input in the same run (typing.get_type_hints, dataclasses.fields,
inspect.signature), timed alone; and the module's own share: the function
again, with those calls answered from a memo.

Run after a build: python bench/schema_compare.py
"""

import contextlib
import dataclasses
import datetime
import enum
import inspect
import operator
import sys
import typing
from pathlib import Path
from typing import Annotated, Optional, Union

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from compare import format_time, seconds_per_call  # noqa: E402  (also puts python/ on the path)
from fakes import decorated, field  # noqa: E402

from quenfel._enum import EnumValueDefinition  # noqa: E402
from quenfel._quenfel import describe_schema_directive, describe_union, process_enum, process_type  # noqa: E402
from quenfel._resolver import Info, Parent  # noqa: E402
from quenfel._union import UnionDefinition  # noqa: E402


MEMBERS = [decorated(f"Member{i}") for i in range(20)]
MIXED = [int, str, Optional[int], list[str], Optional[list[Optional[int]]], Annotated[float, "doc"], bool,
         MEMBERS[0], Optional[MEMBERS[1]], datetime.datetime]


def directive_class(name, annotations):
    return dataclasses.make_dataclass(name, [(f"field_{i}", annotation) for i, annotation in enumerate(annotations)])


def hints_of(target, localns=None):
    return typing.get_type_hints(target, localns=localns, include_extras=True)


def resolve_friends(root: Parent["Wide"], info: Info, first: int = 10, after: Optional[str] = None) -> list[int]:
    return []


# 50 host-configured fields, 10 of them with a resolver taking 2 arguments.
WIDE_FIELDS = [
    (f"field_{i}", MIXED[i % len(MIXED)],
     field(resolver=resolve_friends) if i % 5 == 0 else field(description=f"Field {i}", graphql_name=f"f{i}"))
    for i in range(50)
]
Wide = dataclasses.make_dataclass("Wide", WIDE_FIELDS)
RESOLVERS = [f.resolver for f in dataclasses.fields(Wide) if f.resolver is not None]


def wide_interpreter_calls():
    dataclasses.fields(Wide)
    hints_of(Wide, {"Wide": Wide})
    for resolver in RESOLVERS:
        inspect.signature(resolver)
        hints_of(resolver, {"Wide": Wide})


MEMBER_NAME_AND_VALUE = operator.attrgetter("name", "value")  # enum's own properties, in Python
Members = enum.Enum("Members", {f"MEMBER_{i}": EnumValueDefinition(i, description="x") if i % 4 == 0 else i
                                for i in range(100)})

BARE_UNION = Union[tuple(MEMBERS)]
DECLARED_UNION = Annotated[BARE_UNION, UnionDefinition("Big")]
CASES = [
    ("describe_union", "Union of 20 members", 20, lambda: describe_union(BARE_UNION), None),
    ("describe_union", "Annotated Union of 20", 20, lambda: describe_union(DECLARED_UNION), None),
    ("process_type", "50 fields, 10 resolvers", 50, lambda: process_type(Wide, kind="type", directives=()),
     wide_interpreter_calls),
    ("process_enum", "100 members", 100, lambda: process_enum(Members, directives=()),
     lambda: list(map(MEMBER_NAME_AND_VALUE, Members))),
]
for label, annotations in [("30 mixed fields", MIXED * 3), ("30 built-in scalars", [int, str, bool] * 10)]:
    cls = directive_class("Directive", annotations)
    CASES.append(("describe_schema_directive", label, 30,
                  lambda cls=cls: describe_schema_directive(cls, locations=["OBJECT"]), lambda cls=cls: hints_of(cls)))


@contextlib.contextmanager
def interpreter_calls_memoised():
    """The interpreter's calls answer from a memo, so that a timing holds only the rest."""
    originals = [(typing, "get_type_hints"), (inspect, "signature"), (dataclasses, "fields")]
    memo = {}

    def memoised(function):
        def call(target, *args, **kwargs):
            key = (function, target)
            if key not in memo:
                memo[key] = function(target, *args, **kwargs)
            return memo[key]

        return call

    saved = [getattr(module, name) for module, name in originals]
    for (module, name), function in zip(originals, saved):
        setattr(module, name, memoised(function))
    try:
        yield
    finally:
        for (module, name), function in zip(originals, saved):
            setattr(module, name, function)


def main() -> None:
    print(f"Python {sys.version.split()[0]}\n")
    header = (f"{'operation':26} {'input':24} {'per call':>13} {'per item':>13} "
              f"{'interpreter':>13} {'per item':>13} {'own per item':>13}")
    print(header)
    print("-" * len(header))
    for operation, label, count, ours, interpreter in CASES:
        ours_time = seconds_per_call(ours)
        line = f"{operation:26} {label:24} {format_time(ours_time)} {format_time(ours_time / count)}"
        if interpreter:
            theirs = seconds_per_call(interpreter)
            if operation == "process_enum":  # nothing to memoise: the rest is the module's
                own = ours_time - theirs
            else:
                with interpreter_calls_memoised():
                    own = seconds_per_call(ours)
            line += f" {format_time(theirs)} {format_time(theirs / count)} {format_time(own / count)}"
        print(line)
    print("\ninterpreter: the calls into typing.get_type_hints, dataclasses.fields and inspect.signature,\n"
          "timed alone on the same input; own: the call with those answered from a memo. For\n"
          "process_enum: iterating the enum and reading each member's name and value (properties\n"
          "written in Python); own: the rest of the call.")


if __name__ == "__main__":
    main()
