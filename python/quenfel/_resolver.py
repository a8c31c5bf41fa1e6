from typing import AsyncIterator, Generic, TypeVar

T = TypeVar("T")


class Parent(Generic[T]):
    """Marks the resolver parameter that receives the parent value."""


class Info:
    """The execution context handed to resolvers."""


class Depends:
    """Annotation metadata for a dependency-injected parameter."""

    def __init__(self, dependency=None):
        self.dependency = dependency


class Argument:
    """Annotation metadata that configures a resolver argument."""

    def __init__(self, *, name=None, description=None, deprecation_reason=None, graphql_type=None, directives=()):
        self.name = name
        self.description = description
        self.deprecation_reason = deprecation_reason
        self.graphql_type = graphql_type
        self.directives = list(directives)


class Streamable(AsyncIterator[T]):
    """Typing origin of a streamed list."""
