class PrivateMarker:
    """Annotation metadata that hides a dataclass field from the schema."""
