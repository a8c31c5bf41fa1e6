from concurrent.futures import ThreadPoolExecutor

import pytest
from fakes import SCHEMA_PARTS, compiled, sha

import quenfel._quenfel as native
from quenfel._error import GraphQLError


def resolve(text, schema, *, send=True, **keywords):
    return native.resolve_persisted_query(sha(text), schema, query=text if send else None, **keywords)


@pytest.fixture
def schema():
    """A schema whose cache no other test has filled."""
    return compiled(*SCHEMA_PARTS)


def fields(result, operation_name=None):
    _, lowered = native.lower_document(result.document, variable_values={}, operation_name=operation_name)
    return [field.field_name for field in lowered]


def test_register_then_replay_by_hash(graphql_error, schema):
    text = "{ greeting count }"
    registered = resolve(text, schema)
    assert (registered.cache_hit, registered.document.query_text) == (False, text)
    assert registered.document is registered.document and type(registered.document) is native.ParsedDocument
    replayed = native.resolve_persisted_query(sha(text), schema=schema, query=None)
    assert (replayed.cache_hit, replayed.document.query_text, fields(replayed)) == (True, "", ["greeting", "count"])
    graphql_error("PERSISTED_QUERY_NOT_FOUND", resolve, text, compiled(*SCHEMA_PARTS), send=False)  # a cache per schema


@pytest.mark.parametrize("registered_with", [{"operation_name": "A"}, {"validate": False}])
def test_a_replay_that_asks_for_validation_validates_what_registration_did_not(graphql_error, schema, registered_with):
    text = "query A { count } query B { nope }"
    resolve(text, schema, **registered_with)
    for _ in range(2):  # a failed validation leaves the entry as it was
        graphql_error("UNKNOWN_FIELD", resolve, text, schema, send=False, operation_name="B")
        assert fields(resolve(text, schema, send=False, operation_name="B", validate=False), "B") == ["nope"]
    assert resolve(text, schema, send=False, operation_name="A").cache_hit


def test_concurrent_registration_replay_validation_and_lowering(schema, switching):
    # More queries than the cache holds: entries are evicted while replays go on.
    texts = [f"{{ n{i}: count }}" for i in range(1500)]
    replays = []

    def register_and_replay(thread):
        for i in range(thread, len(texts), 8):
            resolve(texts[i], schema)
            for j in (i, i // 2, i // 3):
                try:
                    answered = resolve(texts[j], schema, send=False)
                except GraphQLError as error:
                    assert error.code.name == "PERSISTED_QUERY_NOT_FOUND"  # evicted: the client sends the text again
                    continue
                _, [field] = native.lower_document(answered.document, variable_values={})
                assert (answered.cache_hit, field.response_key) == (True, f"n{j}")
                replays.append(j)

    def validate_and_lower():
        for _ in range(300):
            native.validate_document(native.parse_query("{ greeting }"), schema)
            native.lower_query("{ greeting }", variable_values={})

    with ThreadPoolExecutor(10) as pool:
        work = [pool.submit(register_and_replay, t) for t in range(8)] + [pool.submit(validate_and_lower) for _ in range(2)]
    for done in work:
        done.result()
    assert len(replays) > len(texts)
