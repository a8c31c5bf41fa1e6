"""Times quenfel's native module beside a peer on the same texts, in one run.

Each row is one operation on one text; the columns are the time per call of
quenfel and of the peer (graphql-core, unless the row names another) and
their ratio. Texts come from the benchmark corpus (the folder in
QUENFEL_CORPUS_DIR, else bench/corpus).
To time another operation, add a function that yields Rows to ROW_SOURCES.
"""

import json
import os
import sys
import time
from dataclasses import dataclass
from dataclasses import fields as dataclass_fields
from pathlib import Path
from typing import Callable, Iterator, Optional

import graphql

# Run from a checkout without PYTHONPATH: the development build lives in python/.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

from quenfel._error import GraphQLError  # noqa: E402
from quenfel._quenfel import lower_document, parse_query  # noqa: E402

TEXTS = [
    "kitchen-sink.graphql",
    "github-small.graphql",
    "github-medium.graphql",
    "github-large.graphql",
    "schema-query.graphql",
]


@dataclass
class Row:
    operation: str
    text: str
    ours: Callable[[], object]
    peer: Optional[Callable[[], object]]
    note: str = ""
    peer_name: str = "graphql-core"
    # Items a call produces, when the row reports the time per item too.
    items: int = 0
    item_name: str = ""


def corpus_dir() -> Path:
    configured = os.environ.get("QUENFEL_CORPUS_DIR")
    folder = Path(configured) if configured else Path(__file__).resolve().parent / "corpus"
    if not folder.is_dir():
        sys.exit(f"corpus folder {folder} not found; set QUENFEL_CORPUS_DIR")
    return folder


def outcome(call: Callable[[], object]) -> str:
    """What a call does, so that a row timing an error path says so."""
    try:
        call()
    except GraphQLError as error:
        return f"raises {error.code.name}: {error.message}"
    return ""


def parse_rows(texts: dict[str, str]) -> Iterator[Row]:
    for name, text in texts.items():
        ours = lambda text=text: parse_query(text)
        yield Row("parse", name, ours, lambda text=text: graphql.parse(text), outcome(ours))


@dataclass(slots=True)
class PlainField:
    """A field plan as a pure-Python lowering would build it."""

    response_key: str
    field_name: str
    type_condition: Optional[str]
    arguments: dict
    directives: list
    selections: list
    line: int
    column: int
    is_deferred: bool
    defer_label: Optional[str]
    is_streamed: bool
    stream_initial_count: Optional[int]
    stream_label: Optional[str]


PLAN_ATTRIBUTES = tuple(field.name for field in dataclass_fields(PlainField))


def plan_template(field) -> tuple:
    """A lowered field as nested tuples: what the Python loop rebuilds from."""
    values = [getattr(field, name) for name in PLAN_ATTRIBUTES]
    values[4] = tuple((directive.name, directive.arguments) for directive in field.directives)
    values[5] = tuple(plan_template(child) for child in field.selections)
    return tuple(values)


def rebuild(template: tuple) -> PlainField:
    """One object and one arguments dict per field, as lower_document makes them."""
    (response_key, field_name, type_condition, arguments, directives, selections, line, column,
     is_deferred, defer_label, is_streamed, stream_initial_count, stream_label) = template
    return PlainField(
        response_key, field_name, type_condition, dict(arguments),
        [(name, dict(values)) for name, values in directives], [rebuild(child) for child in selections],
        line, column, is_deferred, defer_label, is_streamed, stream_initial_count, stream_label,
    )


def count_fields(fields) -> int:
    return sum(1 + count_fields(field.selections) for field in fields)


def lowering_rows(texts: dict[str, str]) -> Iterator[Row]:
    # The peer is a lower bound for a lowering written in Python: it only
    # rebuilds the finished tree (no directives read, no fragments expanded).
    for name in ("github-medium.graphql", "github-large.graphql"):
        document = parse_query(texts[name])
        variables = json.loads((corpus_dir() / name.replace(".graphql", ".variables.json")).read_text())
        ours = lambda document=document, variables=variables: lower_document(document, variable_values=variables)
        _, fields = ours()
        templates = [plan_template(field) for field in fields]
        peer = lambda templates=templates: [rebuild(template) for template in templates]
        yield Row("lower", name, ours, peer, outcome(ours), "Python rebuild", count_fields(fields), "field")


ROW_SOURCES = [parse_rows, lowering_rows]


def seconds_per_call(call: Callable[[], object], budget: float = 0.2, repeats: int = 5) -> float:
    """Best of `repeats` runs of a loop long enough to fill `budget` seconds."""

    def run(loops: int) -> float:
        start = time.perf_counter()
        for _ in range(loops):
            try:
                call()
            except GraphQLError:
                pass
        return time.perf_counter() - start

    loops = 1
    while (elapsed := run(loops)) < budget / 10:
        loops *= 10
    loops = max(1, int(loops * budget / elapsed))
    return min(run(loops) for _ in range(repeats)) / loops


def format_time(seconds: float) -> str:
    return f"{seconds * 1e6:10.2f} us"


def main() -> None:
    folder = corpus_dir()
    texts = {name: (folder / name).read_text() for name in TEXTS}
    print(f"graphql-core {graphql.__version__}, Python {sys.version.split()[0]}, corpus {folder}\n")
    header = f"{'operation':10} {'text':32} {'bytes':>7} {'quenfel':>13} {'peer':>13} {'ratio':>8}  peer"
    print(header)
    print("-" * len(header))
    notes = []
    for source in ROW_SOURCES:
        for row in source(texts):
            ours = seconds_per_call(row.ours)
            peer = seconds_per_call(row.peer) if row.peer else None
            ratio = f"{peer / ours:7.1f}x" if peer else "-"
            row_notes = [f"quenfel {row.note}"] if row.note else []
            if row.items:
                per_item = f"{row.items} {row.item_name}s per call: quenfel {ours * 1e6 / row.items:.3f} us"
                if peer:
                    per_item += f", {row.peer_name} {peer * 1e6 / row.items:.3f} us"
                row_notes.append(f"{per_item} per {row.item_name}")
            marks = "".join(f" [{len(notes) + i}]" for i in range(1, len(row_notes) + 1))
            notes.extend(row_notes)
            print(
                f"{row.operation:10} {row.text + marks:32} {len(texts[row.text].encode()):7} "
                f"{format_time(ours)} {format_time(peer) if peer else '-':>13} {ratio:>8}  "
                f"{row.peer_name if peer else ''}"
            )
    for i, note in enumerate(notes, 1):
        print(f"[{i}] {note}")


if __name__ == "__main__":
    main()
