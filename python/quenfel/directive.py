from typing import Generic, TypeVar

T = TypeVar("T")


class DirectiveValue(Generic[T]):
    """Marks the directive function parameter that receives the field's value."""


__all__ = ["DirectiveValue"]
