// Directive instances listed on schema elements: their applied-directive
// records, and the check of the locations their classes declare.
//
// A directive instance is any object on which __quenfel_directive_info__ can
// be looked up; of that description only `name`, `fields` (each with `name`
// and `graphql_name`) and `locations` are read. Any other item is skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "binding/python/objects.h"
#include "engine/schema.h"

namespace quenfel::py {

// One record per directive instance of the iterable, in order: the
// description's name and, per description field, the instance's attribute of
// that Python name as JSON under the field's graphql_name (or Python name).
std::vector<AppliedDirective> extract_applied_directives(PyObject* directives);

// Raises SchemaError "directive '@{}' cannot be applied to '{}' ({}); declared
// locations: {}" for the first directive instance whose class does not declare
// `location`; `target` names what the directives are applied to.
void validate_directive_locations(PyObject* directives, std::string_view location, std::string_view target);

// The location check, then the extraction, over one reading of `directives`:
// a list or tuple is read by each step; any other iterable (a generator, say)
// is read once, into a list, as the check goes, and extracted from that list.
std::vector<AppliedDirective> checked_applied_directives(PyObject* directives, std::string_view location,
                                                         std::string_view target);

// The texts of a sequence of str (a list or tuple, not a str, set or
// generator); a str is refused with TypeError "Can't extract `str` to `Vec`".
// `param` names the argument in the TypeError's note, or is null.
std::vector<std::string> as_str_sequence(PyObject* obj, const char* param);

}  // namespace quenfel::py
