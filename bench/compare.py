"""Times quenfel's native module beside graphql-core on the same texts, in one run.

Each row is one operation on one text; the columns are the time per call of
each library and their ratio. Texts come from the benchmark corpus (the
folder in QUENFEL_CORPUS, else ../shared/bench/corpus beside the repository).
To time another operation, add a function that yields Rows to ROW_SOURCES.
"""

import os
import sys
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterator, Optional

import graphql

from quenfel._error import GraphQLError
from quenfel._quenfel import parse_query

TEXTS = [
    "kitchen-sink.graphql",
    "github-small.graphql",
    "github-medium.graphql",
    "github-large.graphql",
    "introspection-query.graphql",
]


@dataclass
class Row:
    operation: str
    text: str
    ours: Callable[[], object]
    peer: Optional[Callable[[], object]]
    note: str = ""


def corpus_dir() -> Path:
    configured = os.environ.get("QUENFEL_CORPUS")
    folder = Path(configured) if configured else Path(__file__).resolve().parents[2] / "shared" / "bench" / "corpus"
    if not folder.is_dir():
        sys.exit(f"corpus folder {folder} not found; set QUENFEL_CORPUS")
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


ROW_SOURCES = [parse_rows]


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
    header = f"{'operation':10} {'text':32} {'bytes':>7} {'quenfel':>13} {'graphql-core':>13} {'ratio':>8}"
    print(header)
    print("-" * len(header))
    notes = []
    for source in ROW_SOURCES:
        for row in source(texts):
            ours = seconds_per_call(row.ours)
            peer = seconds_per_call(row.peer) if row.peer else None
            ratio = f"{peer / ours:7.1f}x" if peer else "-"
            mark = f" [{len(notes) + 1}]" if row.note else ""
            print(
                f"{row.operation:10} {row.text + mark:32} {len(texts[row.text].encode()):7} "
                f"{format_time(ours)} {format_time(peer) if peer else '-':>13} {ratio:>8}"
            )
            if row.note:
                notes.append(row.note)
    for i, note in enumerate(notes, 1):
        print(f"[{i}] quenfel {note}")


if __name__ == "__main__":
    main()
