import sys


class LazyType:
    """A reference to a type that is resolved by name when first needed."""

    def __init__(self, type_name, module):
        self.type_name = type_name
        self.module = module

    def resolve_type(self):
        return getattr(sys.modules[self.module], self.type_name)


class LazyReference:
    """Annotation metadata that resolves a forward reference lazily."""

    def __init__(self, module):
        self.module = module

    def resolve_forward_ref(self, forward_ref):
        return LazyType(forward_ref.__forward_arg__, self.module)


def namespace_for_class(cls):
    return dict(vars(sys.modules[cls.__module__]))


def namespace_for_callable(func):
    return dict(getattr(func, "__globals__", {}))
