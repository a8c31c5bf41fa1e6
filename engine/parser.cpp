// A recursive-descent parser for executable documents, over the lexer.
//
// Children of a node are collected on reusable scratch stacks and copied into
// the arena once per list: a node is pushed onto its parent's stack only after
// its own children were copied out, so every list is contiguous and no node
// costs a heap allocation of its own. Nesting is bounded before recursing, so
// hostile input cannot exhaust the stack.
#include "engine/parser.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/document_builder.h"
#include "engine/lexer.h"

namespace quenfel {

namespace {

using lexing::Lexer;
using lexing::quoted;
using lexing::Tok;
using lexing::Token;

bool is_type_system_keyword(std::string_view name) {
  static constexpr std::string_view kKeywords[] = {"schema", "scalar", "type",      "interface", "union",
                                                   "enum",   "input",  "directive", "extend"};
  for (std::string_view keyword : kKeywords) {
    if (name == keyword) return true;
  }
  return false;
}

void set_text(Value& value, ValueKind kind, std::string_view text) {
  value.kind = kind;
  value.chars = text.data();
  value.size = static_cast<std::uint32_t>(text.size());
}

constexpr const char* kDefinition = "a definition ('query', 'mutation', 'subscription', 'fragment' or '{')";

class Parser {
 public:
  explicit Parser(DocumentBuilder& builder)
      : builder_(builder), arena_(builder.arena()), lexer_(builder.text(), builder.arena()), token_(lexer_.token()) {}

  Result<DocumentPtr> run();

 private:
  void advance() { lexer_.advance(); }
  bool fail(std::string message, const char* at) { return lexer_.fail(std::move(message), at); }
  bool fail_expected(const char* expected) { return lexer_.fail_expected(expected); }
  bool expect(Tok kind, const char* expected) {
    if (token_.kind != kind) return fail_expected(expected);
    advance();
    return true;
  }
  bool parse_name(std::string_view& name, const char* expected) {
    if (token_.kind != Tok::Name) return fail_expected(expected);
    name = token_.text();
    advance();
    return true;
  }
  bool enter() { return ++depth_ <= kMaxNestingDepth || lexer_.fail_without_location("recursion limit exceeded."); }
  void leave() { --depth_; }

  bool parse_definition();
  bool parse_operation(OperationType type);
  bool parse_fragment();
  bool parse_variable_definitions(Span<VariableDefinition>& out);
  bool parse_variable_definition();
  bool parse_type(const TypeRef*& out);
  bool parse_directives(bool is_const, Span<Directive>& out);
  bool parse_arguments(bool is_const, Span<Argument>& out);
  bool parse_named_value(bool is_const, const char* expected);
  bool parse_value(bool is_const, Value& out, const char* expected = "a value");
  bool parse_number(Value& out);
  bool parse_selection_set(SelectionSet& out);
  bool parse_selection(const char* expected);
  bool parse_field();
  bool parse_fragment_selection();

  template <class T>
  Span<T> take(std::vector<T>& stack, std::size_t base) {
    const std::size_t n = stack.size() - base;
    Span<T> span{arena_.copy_array(stack.data() + base, n), static_cast<std::uint32_t>(n)};
    stack.resize(base);
    return span;
  }

  DocumentBuilder& builder_;
  Arena& arena_;
  Lexer lexer_;
  const Token& token_;
  unsigned depth_ = 0;

  std::vector<Selection> selections_;
  std::vector<NamedValue> named_values_;  // arguments and object fields
  std::vector<Value> values_;
  std::vector<Directive> directives_;
  std::vector<VariableDefinition> variables_;
  std::vector<OperationDefinition> operations_;
  std::vector<FragmentDefinition> fragments_;
};

// Document : ExecutableDefinition+
Result<DocumentPtr> Parser::run() {
  advance();
  if (token_.kind == Tok::End) {
    fail_expected(kDefinition);
    return lexer_.take_error();
  }
  while (token_.kind != Tok::End) {
    if (!parse_definition()) return lexer_.take_error();
  }
  Span<OperationDefinition> operations = take(operations_, 0);
  Span<FragmentDefinition> fragments = take(fragments_, 0);
  return builder_.finish(operations, fragments);
}

// ExecutableDefinition : OperationDefinition | FragmentDefinition (a bare SelectionSet is a query)
bool Parser::parse_definition() {
  switch (token_.kind) {
    case Tok::LBrace: {
      OperationDefinition op;
      op.pos = token_.pos;
      if (!parse_selection_set(op.selection_set)) return false;
      operations_.push_back(op);
      return true;
    }
    case Tok::Name: {
      const std::string_view word = token_.text();
      if (word == "query") return parse_operation(OperationType::Query);
      if (word == "mutation") return parse_operation(OperationType::Mutation);
      if (word == "subscription") return parse_operation(OperationType::Subscription);
      if (word == "fragment") return parse_fragment();
      if (is_type_system_keyword(word)) {
        return fail("syntax error: expected " + std::string(kDefinition) + ", found the type-system keyword " +
                        quoted(word) + " (a query document cannot define or extend a schema)",
                    token_.start);
      }
      return fail_expected(kDefinition);
    }
    case Tok::String:
    case Tok::BlockString:
      return fail("syntax error: expected " + std::string(kDefinition) + ", found " + lexer_.describe(token_) +
                      " (descriptions belong to type-system definitions, which a query document cannot hold)",
                  token_.start);
    default:
      return fail_expected(kDefinition);
  }
}

// OperationDefinition : OperationType Name? VariableDefinitions? Directives? SelectionSet
bool Parser::parse_operation(OperationType type) {
  OperationDefinition op;
  op.type = type;
  op.pos = token_.pos;
  advance();
  if (token_.kind == Tok::Name) {
    op.name = token_.text();
    advance();
  }
  if (token_.kind == Tok::LParen && !parse_variable_definitions(op.variables)) return false;
  if (!parse_directives(false, op.directives)) return false;
  if (token_.kind != Tok::LBrace) {
    return fail_expected(op.variables.empty() && op.directives.empty()
                             ? (op.is_anonymous() ? "an operation name, '(', '@' or '{'" : "'(', '@' or '{'")
                             : "'@' or '{'");
  }
  if (!parse_selection_set(op.selection_set)) return false;
  operations_.push_back(op);
  return true;
}

// FragmentDefinition : fragment FragmentName TypeCondition Directives? SelectionSet
bool Parser::parse_fragment() {
  FragmentDefinition fragment;
  fragment.pos = token_.pos;
  advance();
  if (token_.kind == Tok::Name && token_.text() == "on") {
    return fail("syntax error: expected a fragment name, found 'on' (which cannot name a fragment)", token_.start);
  }
  if (!parse_name(fragment.name, "a fragment name")) return false;
  if (token_.kind != Tok::Name || token_.text() != "on") return fail_expected("'on'");
  fragment.type_condition_pos = token_.pos;
  advance();
  if (!parse_name(fragment.type_condition, "a type name")) return false;
  if (!parse_directives(false, fragment.directives)) return false;
  if (token_.kind != Tok::LBrace) return fail_expected("'@' or '{'");
  if (!parse_selection_set(fragment.selection_set)) return false;
  fragments_.push_back(fragment);
  return true;
}

// VariableDefinitions : ( VariableDefinition+ )
bool Parser::parse_variable_definitions(Span<VariableDefinition>& out) {
  advance();  // '('
  const std::size_t base = variables_.size();
  if (token_.kind != Tok::Dollar) return fail_expected("a variable definition");
  do {
    if (!parse_variable_definition()) return false;
  } while (token_.kind == Tok::Dollar);
  if (!expect(Tok::RParen, "a variable definition or ')'")) return false;
  out = take(variables_, base);
  return true;
}

// VariableDefinition : Variable : Type DefaultValue? Directives[Const]?
bool Parser::parse_variable_definition() {
  VariableDefinition variable;
  variable.pos = token_.pos;
  advance();  // '$'
  if (!parse_name(variable.name, "a variable name")) return false;
  if (!expect(Tok::Colon, "':'")) return false;
  if (!parse_type(variable.type)) return false;
  // The default may also follow the directives, a form some clients send.
  bool has_default = false;
  Value default_value;
  auto parse_default = [&] {
    advance();  // '='
    has_default = true;
    return parse_value(true, default_value);
  };
  if (token_.kind == Tok::Equals && !parse_default()) return false;
  if (!parse_directives(true, variable.directives)) return false;
  if (!has_default && token_.kind == Tok::Equals && !parse_default()) return false;
  if (has_default) variable.default_value = arena_.make<Value>(default_value);
  variables_.push_back(variable);
  return true;
}

// Type : NamedType | ListType | NonNullType
bool Parser::parse_type(const TypeRef*& out) {
  TypeRef type;
  if (token_.kind == Tok::LBracket) {
    if (!enter()) return false;
    advance();
    type.kind = TypeRef::Kind::List;
    if (!parse_type(type.item)) return false;
    if (!expect(Tok::RBracket, "']'")) return false;
    leave();
  } else if (!parse_name(type.name, "a type")) {
    return false;
  }
  if (token_.kind == Tok::Bang) {
    type.nullable = false;
    advance();
  }
  out = arena_.make<TypeRef>(type);
  return true;
}

// Directives[Const] : Directive[?Const]+
// Directive[Const] : @ Name Arguments[?Const]?
bool Parser::parse_directives(bool is_const, Span<Directive>& out) {
  if (token_.kind != Tok::At) return true;
  const std::size_t base = directives_.size();
  do {
    Directive directive;
    directive.pos = token_.pos;
    advance();
    if (!parse_name(directive.name, "a directive name")) return false;
    if (token_.kind == Tok::LParen && !parse_arguments(is_const, directive.arguments)) return false;
    directives_.push_back(directive);
  } while (token_.kind == Tok::At);
  out = take(directives_, base);
  return true;
}

// Arguments[Const] : ( Argument[?Const]+ )
bool Parser::parse_arguments(bool is_const, Span<Argument>& out) {
  advance();  // '('
  const std::size_t base = named_values_.size();
  const char* expected = "an argument name";
  do {
    if (!parse_named_value(is_const, expected)) return false;
    expected = "an argument name or ')'";
  } while (token_.kind != Tok::RParen);
  advance();
  out = take(named_values_, base);
  return true;
}

// Argument[Const] : Name : Value[?Const]
// ObjectField[Const] : Name : Value[?Const]
// Pushed onto named_values_.
bool Parser::parse_named_value(bool is_const, const char* expected) {
  NamedValue entry;
  entry.name_pos = token_.pos;
  if (!parse_name(entry.name, expected)) return false;
  if (!expect(Tok::Colon, "':'")) return false;
  if (!parse_value(is_const, entry.value)) return false;
  named_values_.push_back(entry);
  return true;
}

// Value[Const] : [~Const] Variable | IntValue | FloatValue | StringValue | BooleanValue | NullValue |
//                EnumValue | ListValue[?Const] | ObjectValue[?Const]
bool Parser::parse_value(bool is_const, Value& out, const char* expected) {
  out.pos = token_.pos;
  switch (token_.kind) {
    case Tok::Dollar:
      if (is_const) {
        return fail("syntax error: expected a constant value, found a variable (variables are not allowed here)",
                    token_.start);
      }
      advance();
      {
        std::string_view name;
        if (!parse_name(name, "a variable name")) return false;
        set_text(out, ValueKind::Variable, name);
      }
      return true;
    case Tok::Int:
    case Tok::Float:
      if (!parse_number(out)) return false;
      advance();
      return true;
    case Tok::String:
    case Tok::BlockString:
      set_text(out, ValueKind::String, token_.value);
      advance();
      return true;
    case Tok::Name: {
      const std::string_view name = token_.text();
      if (name == "true" || name == "false") {
        out.kind = ValueKind::Boolean;
        out.boolean = name == "true";
      } else if (name == "null") {
        out.kind = ValueKind::Null;
      } else {
        set_text(out, ValueKind::Enum, name);
      }
      advance();
      return true;
    }
    case Tok::LBracket: {
      if (!enter()) return false;
      advance();
      const std::size_t base = values_.size();
      while (token_.kind != Tok::RBracket) {
        Value item;
        if (!parse_value(is_const, item, "a value or ']'")) return false;
        values_.push_back(item);
      }
      advance();
      leave();
      Span<Value> items = take(values_, base);
      out.kind = ValueKind::List;
      out.items = items.ptr;
      out.size = items.len;
      return true;
    }
    case Tok::LBrace: {
      if (!enter()) return false;
      advance();
      const std::size_t base = named_values_.size();
      while (token_.kind != Tok::RBrace) {
        if (!parse_named_value(is_const, "a field name or '}'")) return false;
      }
      advance();
      leave();
      Span<NamedValue> fields = take(named_values_, base);
      out.kind = ValueKind::Object;
      out.fields = fields.ptr;
      out.size = fields.len;
      return true;
    }
    default:
      return fail_expected(expected);
  }
}

// Whether a decimal literal that from_chars found out of range is too small
// rather than too large: its order of magnitude is negative.
bool is_underflow(const char* p, const char* end) {
  if (*p == '-') ++p;
  long long magnitude = 0;  // position of the first significant digit, relative to the point
  bool seen = false;
  const char* q = p;
  for (; q != end && *q >= '0' && *q <= '9'; ++q) {
    if (seen || *q != '0') {
      seen = true;
      ++magnitude;
    }
  }
  if (!seen && q != end && *q == '.') {
    for (++q; q != end && *q == '0'; ++q) --magnitude;
  }
  while (q != end && *q != 'e' && *q != 'E') ++q;
  long long exponent = 0;
  if (q != end) {
    ++q;
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    for (; q != end; ++q) {
      if (exponent < 1'000'000'000'000LL) exponent = exponent * 10 + (*q - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent < 0;
}

// IntValue | FloatValue, as the lexer found it: converted to the number it writes.
bool Parser::parse_number(Value& out) {
  const char* p = token_.start;
  const char* const end = token_.end;
  out.kind = ValueKind::Number;
  if (token_.kind == Tok::Int) {
    const bool negative = *p == '-';
    if (negative) ++p;
    std::uint64_t magnitude = 0;
    bool fits = true;
    for (; p != end; ++p) {
      const unsigned digit = static_cast<unsigned>(*p - '0');
      if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
        fits = false;
        break;
      }
      magnitude = magnitude * 10 + digit;
    }
    if (fits && (!negative || magnitude == 0)) {
      out.number_kind = NumberKind::Unsigned;  // "-0" is plain zero
      out.unsigned_number = magnitude;
      return true;
    }
    if (fits && magnitude <= (std::uint64_t{1} << 63)) {
      out.number_kind = NumberKind::Signed;
      out.signed_number = static_cast<std::int64_t>(0 - magnitude);
      return true;
    }
  }
  double value = 0;
  const auto result = std::from_chars(token_.start, end, value);
  if (result.ec == std::errc::result_out_of_range) {
    if (!is_underflow(token_.start, end)) {
      return fail("syntax error: expected a number within the range of a double, found " + lexer_.describe(token_),
                  token_.start);
    }
    value = *token_.start == '-' ? -0.0 : 0.0;
  }
  out.number_kind = NumberKind::Double;
  out.double_number = value;
  return true;
}

// SelectionSet : { Selection+ }
bool Parser::parse_selection_set(SelectionSet& out) {
  if (!enter()) return false;
  out.pos = token_.pos;
  advance();  // '{'
  const std::size_t base = selections_.size();
  if (!parse_selection("a selection")) return false;
  while (token_.kind != Tok::RBrace) {
    if (!parse_selection(token_.kind == Tok::End ? "'}'" : "a selection or '}'")) return false;
  }
  advance();
  leave();
  out.items = take(selections_, base);
  return true;
}

// Selection : Field | FragmentSpread | InlineFragment
bool Parser::parse_selection(const char* expected) {
  if (token_.kind == Tok::Name) return parse_field();
  if (token_.kind == Tok::Spread) return parse_fragment_selection();
  return fail_expected(expected);
}

// Field : Alias? Name Arguments? Directives? SelectionSet?
bool Parser::parse_field() {
  Selection field;
  field.kind = SelectionKind::Field;
  field.pos = token_.pos;
  field.name = token_.text();
  advance();
  if (token_.kind == Tok::Colon) {
    advance();
    field.alias = field.name;
    if (!parse_name(field.name, "a field name")) return false;
  }
  if (token_.kind == Tok::LParen && !parse_arguments(false, field.arguments)) return false;
  if (!parse_directives(false, field.directives)) return false;
  if (token_.kind == Tok::LBrace && !parse_selection_set(field.selection_set)) return false;
  selections_.push_back(field);
  return true;
}

// FragmentSpread : ... FragmentName Directives?
// InlineFragment : ... TypeCondition? Directives? SelectionSet
bool Parser::parse_fragment_selection() {
  Selection selection;
  selection.pos = token_.pos;
  advance();  // '...'
  if (token_.kind == Tok::Name && token_.text() != "on") {
    selection.kind = SelectionKind::FragmentSpread;
    selection.name = token_.text();
    advance();
    if (!parse_directives(false, selection.directives)) return false;
    selections_.push_back(selection);
    return true;
  }
  selection.kind = SelectionKind::InlineFragment;
  if (token_.kind == Tok::Name) {  // "on"
    selection.type_condition_pos = token_.pos;
    advance();
    if (!parse_name(selection.name, "a type name")) return false;
  } else if (token_.kind != Tok::At && token_.kind != Tok::LBrace) {
    return fail_expected("a fragment name, 'on', '@' or '{'");
  }
  if (!parse_directives(false, selection.directives)) return false;
  if (token_.kind != Tok::LBrace) return fail_expected("'@' or '{'");
  if (!parse_selection_set(selection.selection_set)) return false;
  selections_.push_back(selection);
  return true;
}

}  // namespace

Result<DocumentPtr> parse_document(std::string_view text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    return make_error("syntax error: expected a query text of at most 4294967295 bytes, found " +
                          std::to_string(text.size()) + " bytes",
                      ErrorCode::GRAPHQL_PARSE_FAILED);
  }
  DocumentBuilder builder(text);
  return Parser(builder).run();
}

}  // namespace quenfel
