import enum

from quenfel._quenfel import GraphQLError as _NativeGraphQLError


class ErrorCode(enum.Enum):
    GRAPHQL_PARSE_FAILED = "GRAPHQL_PARSE_FAILED"
    GRAPHQL_VALIDATION_FAILED = "GRAPHQL_VALIDATION_FAILED"
    INTERFACE_TYPE_RESOLUTION_FAILED = "INTERFACE_TYPE_RESOLUTION_FAILED"
    UNION_TYPE_RESOLUTION_FAILED = "UNION_TYPE_RESOLUTION_FAILED"
    UNKNOWN_FIELD = "UNKNOWN_FIELD"
    UNKNOWN_ARGUMENT = "UNKNOWN_ARGUMENT"
    ARGUMENT_TYPE_MISMATCH = "ARGUMENT_TYPE_MISMATCH"
    INVALID_DIRECTIVE_LOCATION = "INVALID_DIRECTIVE_LOCATION"
    INVALID_FRAGMENT_TARGET = "INVALID_FRAGMENT_TARGET"
    PERSISTED_QUERY_NOT_FOUND = "PERSISTED_QUERY_NOT_FOUND"
    PERSISTED_QUERY_MISMATCH = "PERSISTED_QUERY_MISMATCH"
    FIELD_RESOLUTION_FAILED = "FIELD_RESOLUTION_FAILED"


class GraphQLError(_NativeGraphQLError):
    """A request-time error with its code and (line, column) locations."""

    def __init__(self, message, *, code=None, locations=None, path=None, extensions=None):
        super().__init__(message)
        self.message = message
        self.code = code
        self.locations = locations
        self.path = path
        self.extensions = extensions
