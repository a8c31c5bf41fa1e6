// The compiled schema as GraphQL SDL text. The output depends only on the
// schema's contents, never on hash-map order, so one schema always prints the
// same text.
#pragma once

#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/schema.h"

namespace quenfel {

// The schema block, then the types (those not named "__..."), unions, scalars,
// operation directives and schema directives, each group sorted by name in
// byte order, blocks separated by one empty line, no trailing line break.
std::string render_sdl(const CompiledSchema& schema);

// The pieces below append their text to `out`.

// "(a: T, b: U = 1)", or nothing for an empty list.
void render_arguments(std::string& out, const std::vector<ArgumentDefinition>& arguments, bool auto_camel_case);
// One argument: optional inline description, exposed name, type, default,
// deprecation and applied directives.
void render_argument(std::string& out, const ArgumentDefinition& argument, bool auto_camel_case);
// "name: Type".
void render_directive_field(std::string& out, const DirectiveFieldDefinition& field, bool auto_camel_case);
// " @a @b(x: 1)": a space before each directive; nothing for an empty list.
void render_applied_directives(std::string& out, const std::vector<AppliedDirective>& directives);
// "@name" or "@name(arg: value, ...)"; argument names as stored.
void render_applied_directive(std::string& out, const AppliedDirective& directive);
// A JSON value as a GraphQL literal: strings quoted and escaped, object keys bare.
void render_json_value(std::string& out, const Json& value);
// The "directive @name(...) repeatable on A | B" block of a schema directive.
void render_schema_directive(std::string& out, const SchemaDirectiveDefinition& directive, bool auto_camel_case);

}  // namespace quenfel
