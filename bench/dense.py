"""Times the module's walks over dense texts of growing size, one process per
walk and size: `'{ ' + 'a ' * n + '}'` parsed (parse_query), viewed
(parse_query_document), validated (validate_document, document parsed
beforehand) and lowered (lower_document, likewise; lowering stops at its cap
of 100,000 field plans, so past it the time is per field lowered before the
stop). A parse of the same text without its closing brace shows the cost of
a syntax error at the very end. Each row gives the time per field and the
peak resident memory of the process per byte of text, beyond what it held
with the text and any parsed document already made.

Sizes run from 10^3 to 10^6 fields; --huge adds 10^7 and 5*10^7 (100 MB of
text; the document view of it needs some 10 GB and minutes).
"""

import dataclasses
import json
import resource
import subprocess
import sys
import time
from pathlib import Path

# Run from a checkout without PYTHONPATH: the development build lives in python/.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

import quenfel._quenfel as native  # noqa: E402
from quenfel._error import GraphQLError  # noqa: E402

SIZES = [1_000, 10_000, 100_000, 1_000_000]
HUGE_SIZES = [10_000_000, 50_000_000]
WALKS = ["parse_query", "parse_error", "parse_query_document", "validate_document", "lower_document"]


def schema():
    @dataclasses.dataclass
    class Query:
        a: int

    info = native.process_type(Query, kind="type", directives=())
    return native.compile_schema(query_type_name="Query", scalar_names=[], types=[info], unions=[], directives=[],
                                 schema_directives=[])


def peak_rss_bytes():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def run_one(walk, n):
    """In a fresh process: the seconds of one call and the peak memory it added."""
    text = "{ " + "a " * n + "}"
    if walk == "parse_error":
        walk, text = "parse_query", text[:-1]
    document = native.parse_query(text) if walk in ("validate_document", "lower_document") else None
    compiled = schema() if walk == "validate_document" else None
    calls = {
        "parse_query": lambda: native.parse_query(text),
        "parse_query_document": lambda: native.parse_query_document(text),
        "validate_document": lambda: native.validate_document(document, compiled),
        "lower_document": lambda: native.lower_document(document, variable_values={}),
    }
    before = peak_rss_bytes()
    start = time.perf_counter()
    try:
        result = calls[walk]()
    except GraphQLError:
        result = None
    seconds = time.perf_counter() - start
    del result
    return {"seconds": seconds, "peak": max(0, peak_rss_bytes() - before), "bytes": len(text)}


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--one":
        print(json.dumps(run_one(sys.argv[2], int(sys.argv[3]))))
        return
    sizes = SIZES + (HUGE_SIZES if "--huge" in sys.argv else [])
    print(f"{'walk':22} {'fields':>11} {'seconds':>9} {'per field':>10} {'peak/byte':>10}")
    for walk in WALKS:
        for n in sizes:
            # Small sizes are too quick to time once: take the best of a few runs.
            runs = [run_child(walk, n) for _ in range(5 if n <= 100_000 else 1)]
            best = min(runs, key=lambda run: run["seconds"])
            counted = min(n, 100_001) if walk == "lower_document" else n
            print(f"{walk:22} {n:>11,} {best['seconds']:>9.4f} {best['seconds'] / counted * 1e9:>8.1f}ns"
                  f" {max(run['peak'] for run in runs) / best['bytes']:>10.1f}", flush=True)


def run_child(walk, n):
    out = subprocess.run([sys.executable, __file__, "--one", walk, str(n)], check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


if __name__ == "__main__":
    main()
