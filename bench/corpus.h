// The benchmark corpus: its files, and its GitHub schema loaded into a compiled
// schema by a small SDL reader.
#pragma once

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "engine/builtins.h"
#include "engine/schema.h"

namespace quenfel::bench {

// The whole file, or nothing when it cannot be read.
inline std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The corpus is bench/corpus; QUENFEL_CORPUS_DIR in the environment points the
// benchmarks at another folder. Nothing when the file cannot be read.
inline std::optional<std::string> read_corpus_file(const std::string& name) {
  const char* dir = std::getenv("QUENFEL_CORPUS_DIR");
  return read_file(std::string(dir != nullptr ? dir : QUENFEL_CORPUS_DIR) + "/" + name);
}

inline std::string read_corpus(const std::string& name) {
  std::optional<std::string> text = read_corpus_file(name);
  if (!text) throw std::runtime_error("cannot read corpus file " + name + " (set QUENFEL_CORPUS_DIR)");
  return std::move(*text);
}

// Reads the type-system definitions the schema file uses, keeping what
// validation looks at: types, fields, arguments (with whether they have a
// default), interfaces, enum values, unions and scalars. Descriptions,
// directives and default values themselves are skipped.
class SdlReader {
 public:
  SdlReader(std::string_view text, CompiledSchema& schema) : text_(text), schema_(schema) {}

  void read() {
    for (std::string_view builtin : kBuiltinScalars) schema_.scalar_names.emplace(builtin);
    while (skip_descriptions(), !at_end()) {
      std::string keyword = name();
      if (keyword == "scalar") {
        schema_.scalar_names.insert(name());
        skip_directives();
      } else if (keyword == "type" || keyword == "interface" || keyword == "input") {
        read_type(keyword == "type" ? TypeKind::Object : keyword == "interface" ? TypeKind::Interface
                                                                              : TypeKind::InputObject);
      } else if (keyword == "enum") {
        read_enum();
      } else if (keyword == "union") {
        read_union();
      } else if (keyword == "directive") {
        skip_directive_definition();
      } else {
        throw std::runtime_error("unexpected '" + keyword + "' in the schema");
      }
    }
  }

 private:
  void read_type(TypeKind kind) {
    TypeDefinition type;
    type.kind = kind;
    type.name = name();
    if (peek_name("implements")) {
      name();
      accept('&');
      do type.interfaces.push_back(name());
      while (accept('&'));
    }
    skip_directives();
    expect('{');
    while (skip_descriptions(), !accept('}')) {
      FieldDefinition field;
      field.name = name();
      if (accept('(')) {
        while (skip_descriptions(), !accept(')')) field.arguments.push_back(read_argument());
      }
      expect(':');
      field.graphql_type = read_type_ref();
      if (accept('=')) {
        skip_value();
        field.default_value = "";
      }
      skip_directives();
      type.fields.push_back(std::move(field));
    }
    add(std::move(type));
  }

  ArgumentDefinition read_argument() {
    ArgumentDefinition argument;
    argument.name = name();
    expect(':');
    argument.graphql_type = read_type_ref();
    if (accept('=')) {
      skip_value();
      argument.has_default = true;
    }
    skip_directives();
    return argument;
  }

  GraphQLType read_type_ref() {
    GraphQLType type = accept('[') ? GraphQLType::list(read_type_ref()) : GraphQLType::named(name());
    if (type.is_list()) expect(']');
    return accept('!') ? GraphQLType::non_null(std::move(type)) : type;
  }

  void read_enum() {
    TypeDefinition type;
    type.kind = TypeKind::Enum;
    type.name = name();
    skip_directives();
    expect('{');
    while (skip_descriptions(), !accept('}')) {
      type.enum_values.push_back({name(), std::nullopt, std::nullopt, std::nullopt, {}});
      skip_directives();
    }
    add(std::move(type));
  }

  void read_union() {
    UnionDefinition u;
    u.name = name();
    skip_directives();
    expect('=');
    accept('|');
    do u.members.push_back(name());
    while (accept('|'));
    std::string key = u.name;
    schema_.unions.emplace(std::move(key), std::move(u));
  }

  void skip_directive_definition() {
    expect('@');
    name();
    if (peek('(')) skip_balanced('(', ')');
    if (peek_name("repeatable")) name();
    if (name() != "on") throw std::runtime_error("expected 'on' in a directive definition");
    accept('|');
    do name();
    while (accept('|'));
  }

  void add(TypeDefinition type) {
    std::string key = type.name;
    schema_.types.emplace(std::move(key), std::move(type));
  }

  // --- tokens ---

  void skip_ignored() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
        ++pos_;
      } else {
        return;
      }
    }
  }

  bool at_end() {
    skip_ignored();
    return pos_ >= text_.size();
  }

  bool peek(char c) { return !at_end() && text_[pos_] == c; }

  bool accept(char c) {
    if (!peek(c)) return false;
    ++pos_;
    return true;
  }

  void expect(char c) {
    if (!accept(c)) throw std::runtime_error(std::string("expected '") + c + "' at byte " + std::to_string(pos_));
  }

  bool peek_name(std::string_view word) {
    skip_ignored();
    if (text_.substr(pos_, word.size()) != word) return false;
    std::size_t end = pos_ + word.size();
    return end >= text_.size() || !(std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_');
  }

  std::string name() {
    skip_ignored();
    std::size_t start = pos_;
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
    if (start == pos_) throw std::runtime_error("expected a name at byte " + std::to_string(pos_));
    return std::string(text_.substr(start, pos_ - start));
  }

  void skip_string() {
    if (text_.substr(pos_, 3) == "\"\"\"") {
      std::size_t end = text_.find("\"\"\"", pos_ + 3);
      pos_ = end == std::string_view::npos ? text_.size() : end + 3;
      return;
    }
    for (++pos_; pos_ < text_.size() && text_[pos_] != '"'; ++pos_) {
      if (text_[pos_] == '\\') ++pos_;
    }
    ++pos_;
  }

  void skip_descriptions() {
    while (peek('"')) skip_string();
  }

  void skip_balanced(char open, char close) {
    expect(open);
    for (int depth = 1; depth > 0;) {
      if (at_end()) throw std::runtime_error("unbalanced brackets");
      if (peek('"')) {
        skip_string();
        continue;
      }
      char c = text_[pos_++];
      if (c == open) ++depth;
      if (c == close) --depth;
    }
  }

  void skip_value() {
    if (peek('[')) return skip_balanced('[', ']');
    if (peek('{')) return skip_balanced('{', '}');
    if (peek('"')) return skip_string();
    skip_ignored();
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_' ||
                                   text_[pos_] == '-' || text_[pos_] == '.' || text_[pos_] == '+')) {
      ++pos_;
    }
  }

  void skip_directives() {
    while (accept('@')) {
      name();
      if (peek('(')) skip_balanced('(', ')');
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  CompiledSchema& schema_;
};

// The corpus's GitHub schema (552 types), read once.
inline const CompiledSchema& github_schema() {
  static const std::unique_ptr<CompiledSchema> schema = [] {
    auto s = std::make_unique<CompiledSchema>();
    s->query_type_name = "Query";
    s->mutation_type_name = "Mutation";
    std::string text = read_corpus("github-schema.graphql");
    SdlReader(text, *s).read();
    return s;
  }();
  return *schema;
}

}  // namespace quenfel::bench
