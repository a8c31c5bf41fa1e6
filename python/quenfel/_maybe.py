from typing import Generic, TypeVar

T = TypeVar("T")


class Maybe(Generic[T]):
    """Tells an absent value from null."""
