class UnionDefinition:
    """Annotation metadata that names and describes a union."""

    def __init__(self, name=None, *, description=None, resolve_type=None):
        self.name = name
        self.description = description
        self.resolve_type = resolve_type
