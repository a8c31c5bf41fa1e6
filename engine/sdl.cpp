#include "engine/sdl.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "engine/schema_index.h"

namespace quenfel {

namespace {

// ASCII bytes copied unchanged inside a quoted string: the printable ones
// except the quote and the backslash.
constexpr std::array<bool, 128> kPlainAscii = [] {
  std::array<bool, 128> plain{};
  for (int c = 0x20; c < 0x7f; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

void append_code_escape(std::string& out, std::uint32_t code) {
  char digits[8];
  auto end = std::to_chars(digits, digits + sizeof digits, code, 16).ptr;
  out += "\\u{";
  out.append(digits, end);
  out += '}';
}

// Invisible, unassigned, private-use and combining characters are escaped so
// the printed text shows exactly what is stored.
bool needs_code_escape(UChar32 c) {
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
      return true;
    default:
      return u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) != 0;
  }
}

void append_quoted(std::string& out, std::string_view text) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t length = text.size();
  out += '"';
  std::size_t i = 0;
  while (i < length) {
    std::size_t run = i;
    while (run < length && s[run] < 0x80 && kPlainAscii[s[run]]) ++run;
    out.append(text.data() + i, run - i);
    i = run;
    if (i == length) break;
    if (s[i] < 0x80) {
      switch (s[i]) {
        case '\\':
          out += "\\\\";
          break;
        case '"':
          out += "\\\"";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\n':
          out += "\\n";
          break;
        default:  // the other C0 controls and DEL
          append_code_escape(out, s[i]);
      }
      ++i;
      continue;
    }
    std::size_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) {
      // Ill-formed UTF-8 cannot come from Python; each bad byte is shown as its code.
      for (std::size_t k = start; k < i; ++k) append_code_escape(out, s[k]);
    } else if (needs_code_escape(c)) {
      append_code_escape(out, static_cast<std::uint32_t>(c));
    } else {
      out.append(text.data() + start, i - start);
    }
  }
  out += '"';
}

// A block string as GraphQL's own printers write it, so that readers get the
// text back: an inner """ becomes \""", and a text ending in a quote or a
// backslash gets a line feed before the closing quotes (a reader drops that
// last line). Any other text is written as stored, not re-indented.
void append_block_string(std::string& out, std::string_view text) {
  constexpr std::string_view kQuotes = R"(""")";
  const bool ends_badly = text.ends_with('"') || text.ends_with('\\');
  out += kQuotes;
  for (std::size_t at; (at = text.find(kQuotes)) != std::string_view::npos; text.remove_prefix(at + kQuotes.size())) {
    out.append(text.data(), at);
    out += '\\';
    out += kQuotes;
  }
  out += text;
  if (ends_badly) out += '\n';
  out += kQuotes;
}

// Empty writes nothing.
void append_description(std::string& out, std::string_view description, std::string_view indent) {
  if (description.empty()) return;
  out += indent;
  append_block_string(out, description);
  out += '\n';
}

void append_description(std::string& out, const std::optional<std::string>& description, std::string_view indent) {
  if (description) append_description(out, std::string_view(*description), indent);
}

void append_deprecation(std::string& out, const std::optional<std::string>& reason) {
  if (!reason) return;
  out += " @deprecated(reason: ";
  append_quoted(out, *reason);
  out += ')';
}

template <class Items, class Append>
void append_joined(std::string& out, const Items& items, std::string_view separator, Append append) {
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += separator;
    first = false;
    append(item);
  }
}

template <class Location>
void append_locations(std::string& out, const std::vector<Location>& locations,
                      std::string_view (*name)(Location)) {
  out += " on ";
  append_joined(out, locations, " | ", [&](Location location) { out += name(location); });
}

void append_scalar_json(std::string& out, const Json& value) {
  char digits[24];
  switch (value.type()) {
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      return;
    case Json::value_t::number_integer:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, value.get<std::int64_t>()).ptr);
      return;
    case Json::value_t::number_unsigned:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, value.get<std::uint64_t>()).ptr);
      return;
    case Json::value_t::number_float:
      out += value.dump();  // the shortest text that reads back as the same double
      return;
    case Json::value_t::string:
      append_quoted(out, value.get_ref<const std::string&>());
      return;
    case Json::value_t::array:
      out += "[]";
      return;
    case Json::value_t::object:
      out += "{}";
      return;
    default:  // null; binary and discarded values never reach a schema
      out += "null";
      return;
  }
}

// A JSON value as a GraphQL literal: strings quoted and escaped, object keys bare.
// Iterative, so a deeply nested value cannot exhaust the stack.
void append_json_value(std::string& out, const Json& value) {
  struct Frame {
    const Json* container;
    Json::const_iterator next;
  };
  std::vector<Frame> open;
  const Json* pending = &value;
  for (;;) {
    if (pending != nullptr) {
      if (pending->is_structured() && !pending->empty()) {
        out += pending->is_array() ? '[' : '{';
        open.push_back({pending, pending->cbegin()});
      } else {
        append_scalar_json(out, *pending);
      }
      pending = nullptr;
    }
    if (open.empty()) return;
    Frame& top = open.back();
    if (top.next == top.container->cend()) {
      out += top.container->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (top.next != top.container->cbegin()) out += ", ";
    if (top.container->is_object()) {
      out += top.next.key();  // keys are written bare
      out += ": ";
    }
    pending = &*top.next;
    ++top.next;
  }
}

// An applied argument is stored under its field's GraphQL name or else its
// Python name. It prints as the declaration prints that field, so that a
// snake_case field of a declared directive reads the same in both places;
// an argument that no declared field owns prints as stored.
void append_applied_argument_name(std::string& out, const std::string& stored,
                                  const SchemaDirectiveDefinition* declared, bool auto_camel_case) {
  if (declared != nullptr) {
    for (const DirectiveFieldDefinition& field : declared->fields) {
      if (stored == (field.graphql_name ? *field.graphql_name : field.name)) {
        out += exposed_name(field.graphql_name, field.name, auto_camel_case);
        return;
      }
    }
  }
  out += stored;
}

// "@name" or "@name(arg: value, ...)".
void append_applied_directive(std::string& out, const AppliedDirective& directive, const CompiledSchema& schema) {
  out += '@';
  out += directive.name;
  if (directive.arguments.empty()) return;
  auto found = schema.schema_directives.find(directive.name);
  const SchemaDirectiveDefinition* declared = found == schema.schema_directives.end() ? nullptr : &found->second;
  out += '(';
  append_joined(out, directive.arguments, ", ", [&](const std::pair<std::string, Json>& argument) {
    append_applied_argument_name(out, argument.first, declared, schema.auto_camel_case);
    out += ": ";
    append_json_value(out, argument.second);
  });
  out += ')';
}

// " @a @b(x: 1)": a space before each directive; nothing for an empty list.
void append_applied_directives(std::string& out, const std::vector<AppliedDirective>& directives,
                               const CompiledSchema& schema) {
  for (const AppliedDirective& directive : directives) {
    out += ' ';
    append_applied_directive(out, directive, schema);
  }
}

// One argument: optional inline description, exposed name, type, default,
// deprecation and applied directives.
void append_argument(std::string& out, const ArgumentDefinition& argument, const CompiledSchema& schema) {
  if (argument.description && !argument.description->empty()) {
    append_block_string(out, *argument.description);
    out += ' ';
  }
  out += exposed_name(argument.graphql_name, argument.name, schema.auto_camel_case);
  out += ": ";
  argument.graphql_type.append_sdl_string(out);
  if (argument.default_value) {
    out += " = ";
    out += *argument.default_value;
  }
  append_deprecation(out, argument.deprecation_reason);
  append_applied_directives(out, argument.directives, schema);
}

// "(a: T, b: U = 1)", or nothing for an empty list.
void append_arguments(std::string& out, const std::vector<ArgumentDefinition>& arguments,
                      const CompiledSchema& schema) {
  if (arguments.empty()) return;
  out += '(';
  append_joined(out, arguments, ", ",
                [&](const ArgumentDefinition& argument) { append_argument(out, argument, schema); });
  out += ')';
}

// "name: Type".
void append_directive_field(std::string& out, const DirectiveFieldDefinition& field, bool auto_camel_case) {
  out += exposed_name(field.graphql_name, field.name, auto_camel_case);
  out += ": ";
  field.graphql_type.append_sdl_string(out);
}

void append_field(std::string& out, const FieldDefinition& field, bool input_object, const CompiledSchema& schema,
                  std::string_view name) {
  append_description(out, field.description, "  ");
  out += "  ";
  out += name;
  append_arguments(out, field.arguments, schema);
  out += ": ";
  field.graphql_type.append_sdl_string(out);
  // Defaults belong to input fields only; output fields never print one.
  if (input_object && field.default_value) {
    out += " = ";
    out += *field.default_value;
  }
  append_deprecation(out, field.deprecation_reason);
  append_applied_directives(out, field.directives, schema);
  out += '\n';
}

void append_enum_value(std::string& out, const EnumValueDefinition& value, const CompiledSchema& schema) {
  append_description(out, value.description, "  ");
  out += "  ";
  out += value.graphql_name ? *value.graphql_name : value.name;  // never camel-cased
  append_deprecation(out, value.deprecation_reason);
  append_applied_directives(out, value.directives, schema);
  out += '\n';
}

std::string schema_block(const CompiledSchema& schema) {
  std::string out = "schema";
  append_applied_directives(out, schema.schema_applied_directives, schema);
  out += " {\n  query: ";
  out += schema.query_type_name;
  out += '\n';
  if (schema.mutation_type_name) {
    out += "  mutation: ";
    out += *schema.mutation_type_name;
    out += '\n';
  }
  if (schema.subscription_type_name) {
    out += "  subscription: ";
    out += *schema.subscription_type_name;
    out += '\n';
  }
  out += '}';
  return out;
}

std::string type_block(const TypeDefinition& type, const CompiledSchema& schema) {
  std::string out;
  // A rough guess at the block's size saves most of the regrowth.
  out.reserve(32 + 48 * (type.fields.size() + type.enum_values.size()));
  append_description(out, type.description, "");
  out += type_kind_keyword(type.kind);
  out += ' ';
  out += type.name;
  if (!type.interfaces.empty()) {
    out += " implements ";
    append_joined(out, type.interfaces, " & ", [&](const std::string& name) { out += name; });
  }
  append_applied_directives(out, type.directives, schema);
  if (type.kind == TypeKind::InputObject && type.one_of) out += " @oneOf";
  out += " {\n";
  if (type.kind == TypeKind::Enum) {
    for (const EnumValueDefinition& value : type.enum_values) append_enum_value(out, value, schema);
  } else {
    bool input_object = type.kind == TypeKind::InputObject;
    for (const FieldDefinition& field : type.fields) {
      std::string name = exposed_name(field.graphql_name, field.name, schema.auto_camel_case);
      if (name.starts_with("__")) continue;
      append_field(out, field, input_object, schema, name);
    }
  }
  out += '}';
  return out;
}

std::string union_block(const UnionDefinition& definition) {
  std::string out = "union ";
  out += definition.name;
  out += " = ";
  append_joined(out, definition.members, " | ", [&](const std::string& member) { out += member; });
  return out;
}

template <class T>
const T* find_value(const NameMap<T>& map, const std::string& name) {
  auto found = map.find(name);
  return found == map.end() ? nullptr : &found->second;
}

std::string scalar_block(const CompiledSchema& schema, const std::string& name) {
  std::string out;
  if (const std::string* description = find_value(schema.scalar_descriptions, name)) {
    append_description(out, std::string_view(*description), "");
  }
  out += "scalar ";
  out += name;
  if (const std::string* url = find_value(schema.scalar_specified_by_urls, name)) {
    out += " @specifiedBy(url: ";
    append_quoted(out, *url);
    out += ')';
  }
  if (const auto* directives = find_value(schema.scalar_directives, name)) {
    append_applied_directives(out, *directives, schema);
  }
  return out;
}

// The "directive @name(...) repeatable on A | B" block of a schema directive.
void append_schema_directive(std::string& out, const SchemaDirectiveDefinition& directive, bool auto_camel_case) {
  append_description(out, directive.description, "");
  out += "directive @";
  out += directive.name;
  if (!directive.fields.empty()) {
    out += '(';
    append_joined(out, directive.fields, ", ",
                  [&](const DirectiveFieldDefinition& field) { append_directive_field(out, field, auto_camel_case); });
    out += ')';
  }
  if (directive.repeatable) out += " repeatable";
  append_locations(out, directive.locations, schema_directive_location_name);
}

std::string operation_directive_block(const OperationDirectiveDefinition& directive, const CompiledSchema& schema) {
  std::string out;
  append_description(out, directive.description, "");
  out += "directive @";
  out += directive.name;
  append_arguments(out, directive.arguments, schema);
  append_locations(out, directive.locations, operation_directive_location_name);
  return out;
}

const std::string& key_of(const std::string& name) { return name; }

template <class T>
const std::string& key_of(const std::pair<const std::string, T>& entry) {
  return entry.first;
}

// Pointers to the container's entries, sorted by name in byte order.
template <class Container>
std::vector<const typename Container::value_type*> sorted_by_name(const Container& container) {
  std::vector<const typename Container::value_type*> entries;
  entries.reserve(container.size());
  for (const auto& entry : container) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return key_of(*a) < key_of(*b); });
  return entries;
}

}  // namespace

std::string render_sdl(const CompiledSchema& schema) {
  const bool camel = schema.auto_camel_case;
  std::vector<std::string> blocks;
  blocks.reserve(1 + schema.types.size() + schema.unions.size() + schema.scalar_names.size() +
                 schema.directives.size() + schema.schema_directives.size());
  blocks.push_back(schema_block(schema));
  for (const auto* entry : sorted_by_name(schema.types)) {
    if (!entry->first.starts_with("__")) blocks.push_back(type_block(entry->second, schema));
  }
  for (const auto* entry : sorted_by_name(schema.unions)) blocks.push_back(union_block(entry->second));
  for (const std::string* name : sorted_by_name(schema.scalar_names)) blocks.push_back(scalar_block(schema, *name));
  for (const auto* entry : sorted_by_name(schema.directives)) {
    blocks.push_back(operation_directive_block(entry->second, schema));
  }
  for (const auto* entry : sorted_by_name(schema.schema_directives)) {
    std::string block;
    append_schema_directive(block, entry->second, camel);
    blocks.push_back(std::move(block));
  }

  std::size_t total = 2 * (blocks.size() - 1);
  for (const std::string& block : blocks) total += block.size();
  std::string sdl;
  sdl.reserve(total);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (i > 0) sdl += "\n\n";
    sdl += blocks[i];
  }
  return sdl;
}

}  // namespace quenfel
