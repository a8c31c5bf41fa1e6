class DirectiveValue:
    """Marks the directive function parameter that receives the field's value."""


__all__ = ["DirectiveValue"]
