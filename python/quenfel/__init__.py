"""Stand-in for the host package: just the names the native module imports."""


class ID(str):
    """The class standing for the ``ID`` scalar."""


__all__ = ["ID"]
