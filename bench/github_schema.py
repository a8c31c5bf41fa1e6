"""Times the GitHub schema beside graphql-core in one run: building it, printing
it as SDL, and parsing, validating and lowering queries against it.

The schema is the corpus's github-schema.graphql, declared in Python through
the host package stand-in (declare_schema.py). Building it, quenfel's share is
describing every class that is already a dataclass (process_enum, process_type,
describe_union) and compile_schema; graphql-core's is build_schema of the SDL.
A query row is parse_query, validate_document and lower_document with the
query's variables, beside graphql-core's parse and validate (which does not
lower). Each target is the speed-up the module must reach.

Run after a build: python bench/github_schema.py
"""

import json
import sys
from pathlib import Path

import graphql

sys.path.insert(0, str(Path(__file__).resolve().parent))
from compare import corpus_dir, format_time, seconds_per_call  # noqa: E402  (also puts python/ on the path)
from declare_schema import load, python_source  # noqa: E402

from quenfel._quenfel import lower_document, parse_query, render_sdl, validate_document  # noqa: E402

QUERIES = {"github-small.graphql": None, "github-medium.graphql": 100, "github-large.graphql": None,
           "schema-query.graphql": None}


def query_call(schema, text: str, variables: dict):
    def call():
        document = parse_query(text)
        validate_document(document, schema)
        return lower_document(document, variable_values=variables)

    return call


def main() -> None:
    folder = corpus_dir()
    sdl = (folder / "github-schema.graphql").read_text()
    peer_schema = graphql.build_schema(sdl)
    host = load(python_source(peer_schema, "github-schema.graphql"), "github_schema_declarations").host
    infos, unions = host.describe()
    schema = host.compile(infos, unions)

    # (operation, input, quenfel, graphql-core or None, target or None)
    rows = [
        ("build schema", "github-schema.graphql", lambda: host.compile(*host.describe()),
         lambda: graphql.build_schema(sdl), 3),
        ("  describe", f"{len(infos)} types, {len(unions)} unions", host.describe, None, None),
        ("  compile", "compile_schema", lambda: host.compile(infos, unions), None, None),
        ("render SDL", "github-schema.graphql", lambda: render_sdl(schema),
         lambda: graphql.print_schema(peer_schema), 20),
    ]
    for name, target in QUERIES.items():
        text = (folder / name).read_text()
        variables_file = folder / name.replace(".graphql", ".variables.json")
        variables = json.loads(variables_file.read_text()) if variables_file.exists() else {}
        ours = query_call(schema, text, variables)
        ours()  # a query that we refuse would time an error path
        peer = lambda text=text: graphql.validate(peer_schema, graphql.parse(text))
        assert not peer(), f"graphql-core finds {name} invalid"
        rows.append(("query", name, ours, peer, target))

    print(f"graphql-core {graphql.__version__}, Python {sys.version.split()[0]}, corpus {folder}\n")
    header = f"{'operation':14} {'input':28} {'quenfel':>13} {'graphql-core':>13} {'ratio':>8}  target"
    print(header)
    print("-" * len(header))
    for operation, label, ours, peer, target in rows:
        ours_time = seconds_per_call(ours)
        line = f"{operation:14} {label:28} {format_time(ours_time)}"
        if peer:
            peer_time = seconds_per_call(peer)
            ratio = peer_time / ours_time
            line += f" {format_time(peer_time)} {ratio:7.1f}x"
            if target:
                line += f"  {target}x: {'met' if ratio >= target else 'MISSED'}"
        print(line)
    print("\nquery: parse_query + validate_document + lower_document (with the query's variables)\n"
          "beside graphql-core's parse + validate.")


if __name__ == "__main__":
    main()
