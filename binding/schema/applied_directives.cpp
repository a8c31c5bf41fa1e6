#include "binding/schema/applied_directives.h"

#include "binding/json_values.h"
#include "binding/schema/reading.h"

namespace quenfel::py {

namespace {

// The directive description of an item, or an empty Ref when the lookup
// raises: then the item is no directive instance, and that is not reported.
Ref directive_info(PyObject* item) { return try_getattr(item, "__quenfel_directive_info__"); }

void check_location(PyObject* item, std::string_view location, std::string_view target) {
  Ref info = directive_info(item);
  if (!info) return;
  Ref locations = getattr(info.get(), "locations");
  const std::vector<std::string> declared = as_str_sequence(locations.get(), nullptr);
  for (const std::string& name : declared) {
    if (name == location) return;
  }
  std::string message = "directive '@" + read_str(info.get(), "name") + "' cannot be applied to '";
  message.append(target).append("' (").append(location).append("); declared locations: ");
  for (std::size_t i = 0; i < declared.size(); ++i) {
    if (i > 0) message += ", ";
    message += declared[i];
  }
  raise_schema_error(message);
}

}  // namespace

std::vector<AppliedDirective> extract_applied_directives(PyObject* directives) {
  std::vector<AppliedDirective> result;
  for_each_item(directives, [&](PyObject* item) {
    Ref info = directive_info(item);
    if (!info) return;
    AppliedDirective applied{read_str(info.get(), "name"), {}};
    Ref fields = getattr(info.get(), "fields");
    for_each_item(fields.get(), [&](PyObject* field) {
      std::string name = read_str(field, "name");
      std::string argument = read_optional_str(field, "graphql_name").value_or(name);
      // Read from the instance itself, not from its description.
      Ref value = Ref::steal(PyObject_GetAttr(item, str(name).get()));
      applied.arguments.emplace_back(std::move(argument), python_to_json_value(value.get()));
    });
    result.push_back(std::move(applied));
  });
  return result;
}

void validate_directive_locations(PyObject* directives, std::string_view location, std::string_view target) {
  for_each_item(directives, [&](PyObject* item) { check_location(item, location, target); });
}

std::vector<AppliedDirective> checked_applied_directives(PyObject* directives, std::string_view location,
                                                         std::string_view target) {
  if (PyList_Check(directives) || PyTuple_Check(directives)) {
    validate_directive_locations(directives, location, target);
    return extract_applied_directives(directives);
  }
  // Read twice, a generator would give the extraction nothing: its
  // directives would be silently lost.
  Ref items = new_list(0);
  for_each_item(directives, [&](PyObject* item) {
    check(PyList_Append(items.get(), item));
    check_location(item, location, target);
  });
  return extract_applied_directives(items.get());
}

std::vector<std::string> as_str_sequence(PyObject* obj, const char* param) {
  expect_sequence(obj, param);
  std::vector<std::string> texts;
  for_each_item(obj, [&](PyObject* item) { texts.emplace_back(as_str(item, param)); });
  return texts;
}

}  // namespace quenfel::py
