"""Times annotation resolution through the schema description functions, per
call and per annotation, beside typing.get_type_hints of the same class in
the same run (which describe_schema_directive calls itself, for scale).

Run after a build: python bench/schema_compare.py
"""

import dataclasses
import datetime
import sys
import typing
from pathlib import Path
from types import SimpleNamespace
from typing import Annotated, Optional, Union

sys.path.insert(0, str(Path(__file__).resolve().parent))
from compare import format_time, seconds_per_call  # noqa: E402  (also puts python/ on the path)

from quenfel._quenfel import describe_schema_directive, describe_union  # noqa: E402
from quenfel._union import UnionDefinition  # noqa: E402


def decorated(name):
    return type(name, (), {"__quenfel_type_info__": SimpleNamespace(name=name, kind="type")})


MEMBERS = [decorated(f"Member{i}") for i in range(20)]
MIXED = [int, str, Optional[int], list[str], Optional[list[Optional[int]]], Annotated[float, "doc"], bool,
         MEMBERS[0], Optional[MEMBERS[1]], datetime.datetime]


def directive_class(name, annotations):
    return dataclasses.make_dataclass(name, [(f"field_{i}", annotation) for i, annotation in enumerate(annotations)])


BARE_UNION = Union[tuple(MEMBERS)]
DECLARED_UNION = Annotated[BARE_UNION, UnionDefinition("Big")]
CASES = [
    ("describe_union", "Union of 20 members", 20, lambda: describe_union(BARE_UNION), None),
    ("describe_union", "Annotated Union of 20", 20, lambda: describe_union(DECLARED_UNION), None),
]
for label, annotations in [("30 mixed fields", MIXED * 3), ("30 built-in scalars", [int, str, bool] * 10)]:
    cls = directive_class("Directive", annotations)
    CASES.append((
        "describe_schema_directive", label, 30,
        lambda cls=cls: describe_schema_directive(cls, locations=["OBJECT"]),
        lambda cls=cls: typing.get_type_hints(cls, include_extras=True),
    ))


def main() -> None:
    print(f"Python {sys.version.split()[0]}\n")
    header = (f"{'operation':26} {'input':24} {'per call':>13} {'per annotation':>15} "
              f"{'get_type_hints':>15} {'per annotation':>15}")
    print(header)
    print("-" * len(header))
    for operation, label, count, ours, hints in CASES:
        ours_time = seconds_per_call(ours)
        line = f"{operation:26} {label:24} {format_time(ours_time)} {format_time(ours_time / count):>15}"
        if hints:
            hints_time = seconds_per_call(hints)
            line += f" {format_time(hints_time):>15} {format_time(hints_time / count):>15}"
        print(line)


if __name__ == "__main__":
    main()
