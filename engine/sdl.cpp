#include "engine/sdl.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
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

constexpr std::string_view kBlockQuotes = R"(""")";

// Text inside a block string: an inner """ becomes \""", which readers turn
// back. Quotes are looked for one at a time, which memchr finds fast.
void append_block_text(std::string& out, std::string_view text) {
  std::size_t done = 0;
  for (std::size_t at = text.find('"'); at != std::string_view::npos; at = text.find('"', at)) {
    if (text.substr(at, kBlockQuotes.size()) != kBlockQuotes) {
      ++at;
      continue;
    }
    out.append(text.data() + done, at - done);
    out += '\\';
    out += kBlockQuotes;
    done = at += kBlockQuotes.size();
  }
  out.append(text.data() + done, text.size() - done);
}

// A block string that opens on the text's first line and closes on its last,
// the text written as stored (`escape`: but for an inner """, which a text
// without quotes cannot hold). A text ending in a quote or a backslash gets a
// line feed before the closing quotes (a reader drops that last line).
void append_block_string(std::string& out, std::string_view text, bool escape) {
  const bool ends_badly = text.ends_with('"') || text.ends_with('\\');
  out += kBlockQuotes;
  if (escape) {
    append_block_text(out, text);
  } else {
    out += text;
  }
  if (ends_badly) out += '\n';
  out += kBlockQuotes;
}

// A block string whose quotes stand on lines of their own, each line of the
// text after `indent` (but for empty ones): a reader strips the indentation
// that all lines share and the first and last lines.
void append_block_lines(std::string& out, std::string_view text, std::string_view indent) {
  out += kBlockQuotes;
  out += '\n';
  for (std::size_t end;; text.remove_prefix(end + 1)) {
    end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty()) {
      out += indent;
      append_block_text(out, line);
    }
    out += '\n';
    if (end == std::string_view::npos) break;
  }
  out += indent;
  out += kBlockQuotes;
}

// The spaces and tabs that a line starts with.
std::size_t indentation(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i;
}

// Whether the text holds no line feed, carriage return or double quote,
// looked for sixteen bytes a step: most descriptions are such a line.
bool plain_line(std::string_view text) {
  using Bytes = char __attribute__((vector_size(16)));
  constexpr std::size_t kStep = sizeof(Bytes);
  const char* p = text.data();
  const std::size_t size = text.size();
  if (size < kStep) {
    for (char c : text) {
      if (c == '\n' || c == '\r' || c == '"') return false;
    }
    return true;
  }
  auto none = [](const char* at) {
    Bytes bytes;
    std::memcpy(&bytes, at, kStep);
    const auto found = (bytes == '\n') | (bytes == '\r') | (bytes == '"');
    std::uint64_t halves[2];
    std::memcpy(halves, &found, kStep);
    return (halves[0] | halves[1]) == 0;
  };
  for (std::size_t at = 0; at + kStep < size; at += kStep) {
    if (!none(p + at)) return false;
  }
  return none(p + size - kStep);  // the last bytes, overlapping those before them
}

// kPlainLine: a block string as stored with nothing to escape.
enum class DescriptionForm { kPlainLine, kBlockString, kBlockLines, kQuoted };

// The first form of a description that a reader gives back as it is. A
// block-string reader reads "\r\n" and "\r" as line feeds, drops leading and
// trailing lines of only spaces and tabs, and strips from the lines after the
// first the indentation that all those not blank share. So the block string
// as stored holds when no line is dropped and some later line starts flush
// (or there is one line); the one with its quotes on lines of their own,
// when no line is dropped and the first line starts flush; anything else is
// written quoted.
DescriptionForm description_form(std::string_view text) {
  if (plain_line(text)) {
    return indentation(text) < text.size() ? DescriptionForm::kPlainLine : DescriptionForm::kQuoted;
  }
  if (text.find('\r') != std::string_view::npos) return DescriptionForm::kQuoted;
  std::size_t end = text.find('\n');
  const std::size_t first_indent = indentation(text.substr(0, end));
  if (first_indent == std::min(end, text.size())) return DescriptionForm::kQuoted;  // a blank first line
  if (end == std::string_view::npos) return DescriptionForm::kBlockString;
  bool later_flush = false, blank;
  do {
    text.remove_prefix(end + 1);
    end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const std::size_t indent = indentation(line);
    blank = indent == line.size();
    later_flush |= indent == 0 && !blank;
  } while (end != std::string_view::npos);
  if (blank) return DescriptionForm::kQuoted;
  if (later_flush) return DescriptionForm::kBlockString;
  return first_indent > 0 ? DescriptionForm::kQuoted : DescriptionForm::kBlockLines;
}

// A description in the first form that reads back as it is; the lines of a
// block string on lines of their own go after `indent`.
void append_description_text(std::string& out, std::string_view text, std::string_view indent) {
  switch (description_form(text)) {
    case DescriptionForm::kPlainLine:
      return append_block_string(out, text, false);
    case DescriptionForm::kBlockString:
      return append_block_string(out, text, true);
    case DescriptionForm::kBlockLines:
      return append_block_lines(out, text, indent);
    case DescriptionForm::kQuoted:
      return append_quoted(out, text);
  }
}

// Empty writes nothing.
void append_description(std::string& out, std::string_view description, std::string_view indent) {
  if (description.empty()) return;
  out += indent;
  append_description_text(out, description, indent);
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
    append_description_text(out, *argument.description, "");
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
