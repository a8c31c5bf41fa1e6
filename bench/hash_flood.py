"""Times requests whose names a hostile client chose to collide in the module's
hash tables, beside requests with as many ordinary names of the same length.

Each row sends one kind of crafted names through one entry point:
- names alike in their length and first and last eight bytes (all that the
  per-call table of Python strs once hashed): response keys, argument names,
  input-object keys;
- names in one slot of the document's fragment table under its old unkeyed
  hash (FNV-1a);
- names in one bucket of a std::unordered_set under the standard library's
  string hash, which has one fixed seed: variable names, argument names,
  subscription response keys, response keys under @defer, names of
  variables read by @include.
The last two kinds come from the colliding_names program that the build makes
(found in build/bench/, or at the path given as the first argument), and
their ordinary counterparts are the same names with another first letter.

A second table sends long names (64 B to 64 KB) alike in their length and
first and last eight bytes, the fast hash of the per-call str table: 32 of
them, 31 used once and one used many more times, as aliases, object keys,
argument names, variable references and directive names. Their ordinary
counterparts are names of the same length that differ at the start.

A row passes when the crafted request takes at most twice as long as the
ordinary one.

Run after a build: python bench/hash_flood.py [path/to/colliding_names]
"""

import dataclasses
import subprocess
import sys
from pathlib import Path
from typing import Callable, Optional

sys.path.insert(0, str(Path(__file__).resolve().parent))
from compare import format_time, seconds_per_call  # noqa: E402  (also puts python/ on the path)

import quenfel._quenfel as native  # noqa: E402

COUNT = 10_000
FRAGMENT_COUNT = 8_000  # names whose old table slots collide: the search grows with the square of the count
LONG_LENGTHS = (64, 1024, 4096, 65536)
LONG_SHARING = 32  # long names that share one fast hash
LONG_REPEATS = 2_000  # further uses of the last of them...
LONG_TEXT = 8 << 20  # ...fewer where they would make a text longer than this


def schema():
    @dataclasses.dataclass
    class Query:
        f: Optional[int] = None

    info = native.process_type(Query, kind="type", directives=())
    return native.compile_schema(query_type_name="Query", subscription_type_name="Query", scalar_names=[],
                                 types=[info], unions=[], directives=[], schema_directives=[])


def alike(count: int) -> tuple[list[str], list[str]]:
    """Names of one length that differ only in the middle, and ordinary names of that length."""
    return [f"aaaaaaaa{i:06d}zzzzzzzz" for i in range(count)], [f"field_{i:016d}" for i in range(count)]


def generated(program: Path, *arguments) -> tuple[list[str], list[str]]:
    """Names from colliding_names, and the same names with another first letter."""
    out = subprocess.run([str(program), *map(str, arguments)], capture_output=True, text=True, check=True)
    names = out.stdout.split()
    return names, ["o" + name[1:] for name in names]


def long_alike(length: int) -> tuple[list[str], list[str]]:
    """Uses of names alike in length and first and last eight bytes, and of ordinary names of that length."""
    middle = "m" * (length - 18)
    crafted = [f"aaaaaaaa{middle}{i:02d}zzzzzzzz" for i in range(LONG_SHARING)]
    plain = [f"o{i:02d}{middle}aaaaaaaaaaaaaaa" for i in range(LONG_SHARING)]
    repeats = min(LONG_REPEATS, LONG_TEXT // length)
    return crafted + crafted[-1:] * repeats, plain + plain[-1:] * repeats


# Each request kind: the text for a list of names, and what to call on it.
def response_keys(names):
    return "{ " + " ".join(f"{name}: __typename" for name in names) + " }"


def argument_names(names):
    return "{ f(" + ", ".join(f"{name}: 1" for name in names) + ") }"


def object_keys(names):
    return "{ f(a: {" + ", ".join(f"{name}: 1" for name in names) + "}) }"


def fragments(names):
    spreads = " ".join(f"...{name}" for name in names)
    return "{ " + spreads + " } " + " ".join(f"fragment {name} on Query {{ __typename }}" for name in names)


def variables(names):
    return "query Q(" + ", ".join(f"${name}: Int" for name in names) + ") { __typename }"


def subscription_keys(names):
    return "subscription " + response_keys(names)


def deferred_keys(names):
    return "{ ... @defer " + response_keys(names) + " }"


def included(names):
    return "{ " + " ".join(f"a{i}: __typename @include(if: ${name})" for i, name in enumerate(names)) + " }"


# Requests for the long names: each takes the list of uses.
LONG_REQUESTS = {
    "aliases": lambda names: "{ " + " ".join(f"{name}: __typename" for name in names) + " }",
    "object keys": object_keys,
    "argument names": argument_names,
    "variable references": lambda names: "{ f(a: [" + ", ".join(f"${name}" for name in names) + "]) }",
    "directive names": lambda names: "{ __typename " + " ".join(f"@{name}" for name in names) + " }",
}


def compare(pair: list[Callable], rounds: int = 4, budget: float = 0.2) -> tuple[float, float]:
    """Best times of a crafted and an ordinary call, interleaved after a warm-up round (a process's
    first calls run slower)."""
    measured = [[seconds_per_call(call, budget) for call in pair] for _ in range(rounds)][1:]
    crafted, plain = (min(column) for column in zip(*measured))
    return crafted, plain


def report(columns: list[str], crafted: float, plain: float) -> bool:
    ratio = crafted / plain
    within = ratio <= 2
    print(*columns, format_time(crafted), format_time(plain), f"{ratio:6.2f}  {'yes' if within else 'NO'}")
    return within


def long_names() -> int:
    """The table of long names; returns how many rows are over 2x."""
    print(f"\n{LONG_SHARING} long names alike in length and first and last eight bytes, the last used up to "
          f"{LONG_REPEATS} more times\n")
    header = f"{'length':>6} {'names':19} {'call':21} {'crafted':>13} {'ordinary':>13} {'ratio':>6}  within 2x"
    print(header)
    print("-" * len(header))
    failures = 0
    for length in LONG_LENGTHS:
        for request, text_of in LONG_REQUESTS.items():
            crafted_and_plain = long_alike(length)
            texts = [text_of(uses) for uses in crafted_and_plain]
            variable_values = [dict.fromkeys(uses, 1) for uses in crafted_and_plain]
            documents = [native.parse_query(text) for text in texts]
            calls = {
                "lower_document": [lambda d=d, v=v: native.lower_document(d, variable_values=v)
                                   for d, v in zip(documents, variable_values)],
                "lower_query": [lambda t=t, v=v: native.lower_query(t, variable_values=v)
                                for t, v in zip(texts, variable_values)],
                "parse_query_document": [lambda t=t: native.parse_query_document(t) for t in texts],
            }
            for call_name, pair in calls.items():
                crafted, plain = compare(pair, rounds=3, budget=0.1)
                failures += not report([f"{length:6}", f"{request:19}", f"{call_name:21}"], crafted, plain)
    return failures


def main() -> None:
    default_program = Path(__file__).resolve().parent.parent / "build" / "bench" / "colliding_names"
    program = Path(sys.argv[1]) if len(sys.argv) > 1 else default_program
    if not program.exists():
        sys.exit(f"{program} not found: build first (make build), or give its path")
    compiled = schema()

    # Each takes the text and its names and returns the call to time.
    def parse(text, _names):
        return lambda: native.parse_query(text)

    def view(text, _names):
        return lambda: native.parse_query_document(text)

    def validate(text, _names):
        document = native.parse_query(text)
        return lambda: native.validate_document(document, compiled)

    def lower(text, _names, variable_values=None):
        document = native.parse_query(text)
        return lambda: native.lower_document(document, variable_values=variable_values or {})

    def lower_all_true(text, names):
        return lower(text, names, dict.fromkeys(names, True))

    std_reserved = generated(program, "std", COUNT, "reserve")
    std_grown = generated(program, "std", COUNT, "grow")
    # (table, request, names, calls)
    rows: list[tuple[str, str, tuple[list[str], list[str]], list[tuple[str, Callable]]]] = [
        ("str table", "response keys", alike(COUNT), [("lower_document", lower), ("parse_query_document", view)]),
        ("str table", "argument names", alike(COUNT), [("lower_document", lower)]),
        ("str table", "object keys", alike(COUNT), [("lower_document", lower)]),
        ("fragment table", "fragment names", generated(program, "fnv", FRAGMENT_COUNT),
         [("parse_query", parse), ("validate_document", validate), ("lower_document", lower),
          ("parse_query_document", view)]),
        ("std hash", "variable names", std_reserved, [("validate_document", validate)]),
        ("std hash", "argument names", std_reserved, [("validate_document", validate)]),
        ("std hash", "subscription keys", std_grown, [("validate_document", validate)]),
        ("std hash", "deferred keys", std_reserved, [("lower_document", lower)]),
        ("std hash", "@include variables", std_grown, [("lower_document", lower_all_true)]),
    ]
    texts = {"response keys": response_keys, "argument names": argument_names, "object keys": object_keys,
             "fragment names": fragments, "variable names": variables, "subscription keys": subscription_keys,
             "deferred keys": deferred_keys, "@include variables": included}

    print(f"Python {sys.version.split()[0]}, {COUNT} names a request ({FRAGMENT_COUNT} fragments)\n")
    header = f"{'table':15} {'names':19} {'call':21} {'crafted':>13} {'ordinary':>13} {'ratio':>6}  within 2x"
    print(header)
    print("-" * len(header))
    failures = 0
    for table, request, (crafted, plain), calls in rows:
        for call_name, make in calls:
            pair = [make(texts[request](names), names) for names in (crafted, plain)]
            failures += not report([f"{table:15}", f"{request:19}", f"{call_name:21}"], *compare(pair))
    failures += long_names()
    print(f"\n{failures} rows over 2x" if failures else "\nevery row within 2x")


if __name__ == "__main__":
    main()
