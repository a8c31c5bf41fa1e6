class EnumValueDefinition:
    """The configured value of an enum member."""

    def __init__(self, value, *, graphql_name=None, description=None, deprecation_reason=None, directives=()):
        self.value = value
        self.graphql_name = graphql_name
        self.description = description
        self.deprecation_reason = deprecation_reason
        self.directives = list(directives)
