// A recursive-descent parser for executable documents, over the lexer.
//
// Every node goes straight into the document's arena and is linked to its
// siblings as soon as it is complete, so nothing is gathered elsewhere and
// copied, and the work and memory grow with the text alone, whatever its
// shape. Nesting is bounded before recursing, so hostile input cannot exhaust
// the stack.
#include "engine/parser.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

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
  // A doomed parser reads the text for its syntax alone and gives every node
  // back as soon as it is complete.
  Parser(DocumentBuilder& builder, bool doomed)
      : builder_(builder),
        arena_(builder.arena()),
        lexer_(builder.text(), builder.arena()),
        token_(lexer_.token()),
        doomed_(doomed) {}

  Result<DocumentPtr> run() {
    if (!parse_document()) return lexer_.take_error();
    return builder_.finish(operations_.list(), fragments_.list());
  }
  // The first syntax error, or null when there is none.
  ErrorPtr syntax_error() {
    parse_document();
    return lexer_.take_error();
  }

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
  void add_operation(const OperationDefinition& op) {
    if (doomed_) return;
    OperationDefinition* added = arena_.make<OperationDefinition>(op);
    added->index = operations_.size;
    operations_.append(added);
    doomed_ = operations_.size >= 2 && (operations_.first->is_anonymous() || op.is_anonymous());
  }
  // Parses one item of a list with parse(list), which appends it to the list.
  // Once the document is doomed, the item's nodes are given back at once. (The
  // string the lexer decoded for the token after the item may go with them:
  // nothing reads a doomed document's values.)
  template <class Node, class Parse>
  bool parse_item(ListBuilder<Node>& out, Parse&& parse) {
    if (!doomed_) return parse(out);
    const Arena::Mark mark = arena_.mark();
    ListBuilder<Node> dropped;
    const bool parsed = parse(dropped);
    arena_.release(mark);
    return parsed;
  }
  bool enter() { return ++depth_ <= kMaxNestingDepth || lexer_.fail_without_location("recursion limit exceeded."); }
  void leave() { --depth_; }

  bool parse_document();
  bool parse_definition();
  bool parse_operation(OperationType type);
  bool parse_fragment();
  bool parse_variable_definitions(List<VariableDefinition>& out);
  bool parse_variable_definition(ListBuilder<VariableDefinition>& out);
  bool parse_type(const TypeRef*& out);
  bool parse_directives(bool is_const, List<Directive>& out);
  bool parse_arguments(bool is_const, List<Argument>& out);
  bool parse_named_value(bool is_const, ListBuilder<NamedValue>& out, const char* expected);
  bool parse_value(bool is_const, Value& out, const char* expected = "a value");
  bool parse_number(Value& out);
  bool parse_selection_set(SelectionSet& out);
  bool parse_selection(ListBuilder<Selection>& out, const char* expected);
  bool parse_field(ListBuilder<Selection>& out);
  bool parse_fragment_selection(ListBuilder<Selection>& out);

  DocumentBuilder& builder_;
  Arena& arena_;
  Lexer lexer_;
  const Token& token_;
  unsigned depth_ = 0;

  ListBuilder<OperationDefinition> operations_;
  ListBuilder<FragmentDefinition> fragments_;
  // The document can only fail: its text is unbalanced, or it has two
  // operations, one of them anonymous (the first conflict lies among the
  // definitions read so far). What follows is read for its syntax alone.
  bool doomed_;
};

// Document : ExecutableDefinition+
bool Parser::parse_document() {
  advance();
  if (token_.kind == Tok::End) return fail_expected(kDefinition);
  while (token_.kind != Tok::End) {
    const bool doomed = doomed_;
    const Arena::Mark mark = arena_.mark();
    if (!parse_definition()) return false;
    if (doomed) arena_.release(mark);
  }
  return true;
}

// ExecutableDefinition : OperationDefinition | FragmentDefinition (a bare SelectionSet is a query)
bool Parser::parse_definition() {
  switch (token_.kind) {
    case Tok::LBrace: {
      OperationDefinition op;
      op.pos = token_.pos;
      if (!parse_selection_set(op.selection_set)) return false;
      add_operation(op);
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
  add_operation(op);
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
  if (doomed_) return true;
  fragment.index = fragments_.size;
  fragments_.append(arena_.make<FragmentDefinition>(fragment));
  return true;
}

// VariableDefinitions : ( VariableDefinition+ )
bool Parser::parse_variable_definitions(List<VariableDefinition>& out) {
  advance();  // '('
  ListBuilder<VariableDefinition> variables;
  if (token_.kind != Tok::Dollar) return fail_expected("a variable definition");
  do {
    if (!parse_item(variables, [&](auto& list) { return parse_variable_definition(list); })) return false;
  } while (token_.kind == Tok::Dollar);
  if (!expect(Tok::RParen, "a variable definition or ')'")) return false;
  out = variables.list();
  return true;
}

// VariableDefinition : Variable : Type DefaultValue? Directives[Const]?
bool Parser::parse_variable_definition(ListBuilder<VariableDefinition>& out) {
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
  out.append(arena_.make<VariableDefinition>(variable));
  return true;
}

// Type : NamedType | ListType | NonNullType
bool Parser::parse_type(const TypeRef*& out) {
  const TypeRef* item = nullptr;
  std::string_view name;
  if (token_.kind == Tok::LBracket) {
    if (!enter()) return false;
    advance();
    if (!parse_type(item)) return false;
    if (!expect(Tok::RBracket, "']'")) return false;
    leave();
  } else if (!parse_name(name, "a type")) {
    return false;
  }
  const bool nullable = token_.kind != Tok::Bang;
  if (!nullable) advance();
  out = item != nullptr ? builder_.list_type(item, nullable) : builder_.named_type(name, nullable);
  return true;
}

// Directives[Const] : Directive[?Const]+
// Directive[Const] : @ Name Arguments[?Const]?
bool Parser::parse_directives(bool is_const, List<Directive>& out) {
  if (token_.kind != Tok::At) return true;
  ListBuilder<Directive> directives;
  do {
    const bool parsed = parse_item(directives, [&](auto& list) {
      const Pos pos = token_.pos;
      advance();
      std::string_view name;
      if (!parse_name(name, "a directive name")) return false;
      List<Argument> arguments;
      if (token_.kind == Tok::LParen && !parse_arguments(is_const, arguments)) return false;
      list.append(builder_.directive(name, pos, arguments));
      return true;
    });
    if (!parsed) return false;
  } while (token_.kind == Tok::At);
  out = directives.list();
  return true;
}

// Arguments[Const] : ( Argument[?Const]+ )
bool Parser::parse_arguments(bool is_const, List<Argument>& out) {
  advance();  // '('
  ListBuilder<Argument> arguments;
  const char* expected = "an argument name";
  do {
    if (!parse_item(arguments, [&](auto& list) { return parse_named_value(is_const, list, expected); })) return false;
    expected = "an argument name or ')'";
  } while (token_.kind != Tok::RParen);
  advance();
  out = arguments.list();
  return true;
}

// Argument[Const] : Name : Value[?Const]
// ObjectField[Const] : Name : Value[?Const]
bool Parser::parse_named_value(bool is_const, ListBuilder<NamedValue>& out, const char* expected) {
  auto* entry = arena_.make<NamedValue>();
  entry->name_pos = token_.pos;
  if (!parse_name(entry->name, expected)) return false;
  if (!expect(Tok::Colon, "':'")) return false;
  if (!parse_value(is_const, entry->value)) return false;
  out.append(entry);
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
      ListBuilder<ListItem> items;
      while (token_.kind != Tok::RBracket) {
        const bool parsed = parse_item(items, [&](auto& list) {
          auto* item = arena_.make<ListItem>();
          if (!parse_value(is_const, *item, "a value or ']'")) return false;
          list.append(item);
          return true;
        });
        if (!parsed) return false;
      }
      advance();
      leave();
      out.kind = ValueKind::List;
      out.items = items.first;
      out.size = items.size;
      return true;
    }
    case Tok::LBrace: {
      if (!enter()) return false;
      advance();
      ListBuilder<NamedValue> fields;
      while (token_.kind != Tok::RBrace) {
        if (!parse_item(fields, [&](auto& list) { return parse_named_value(is_const, list, "a field name or '}'"); })) {
          return false;
        }
      }
      advance();
      leave();
      out.kind = ValueKind::Object;
      out.fields = fields.first;
      out.size = fields.size;
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
  ListBuilder<Selection> items;
  const char* expected = "a selection";
  do {
    if (!parse_item(items, [&](auto& list) { return parse_selection(list, expected); })) return false;
    expected = token_.kind == Tok::End ? "'}'" : "a selection or '}'";
  } while (token_.kind != Tok::RBrace);
  advance();
  leave();
  out.items = items.list();
  return true;
}

// Selection : Field | FragmentSpread | InlineFragment
bool Parser::parse_selection(ListBuilder<Selection>& out, const char* expected) {
  if (token_.kind == Tok::Name) return parse_field(out);
  if (token_.kind == Tok::Spread) return parse_fragment_selection(out);
  return fail_expected(expected);
}

// Field : Alias? Name Arguments? Directives? SelectionSet?
bool Parser::parse_field(ListBuilder<Selection>& out) {
  const Pos pos = token_.pos;
  std::string_view name = token_.text();
  DocumentBuilder::SelectionParts parts;
  advance();
  if (token_.kind == Tok::Colon) {
    advance();
    parts.alias = name;
    if (!parse_name(name, "a field name")) return false;
  }
  if (token_.kind == Tok::LParen && !parse_arguments(false, parts.arguments)) return false;
  if (!parse_directives(false, parts.directives)) return false;
  if (token_.kind == Tok::LBrace && !parse_selection_set(parts.selection_set)) return false;
  out.append(builder_.selection(SelectionKind::Field, pos, name, parts));
  return true;
}

// FragmentSpread : ... FragmentName Directives?
// InlineFragment : ... TypeCondition? Directives? SelectionSet
bool Parser::parse_fragment_selection(ListBuilder<Selection>& out) {
  const Pos pos = token_.pos;
  DocumentBuilder::SelectionParts parts;
  advance();  // '...'
  if (token_.kind == Tok::Name && token_.text() != "on") {
    const std::string_view name = token_.text();
    advance();
    if (!parse_directives(false, parts.directives)) return false;
    out.append(builder_.selection(SelectionKind::FragmentSpread, pos, name, parts));
    return true;
  }
  std::string_view type_condition;
  if (token_.kind == Tok::Name) {  // "on"
    parts.type_condition_pos = token_.pos;
    advance();
    if (!parse_name(type_condition, "a type name")) return false;
  } else if (token_.kind != Tok::At && token_.kind != Tok::LBrace) {
    return fail_expected("a fragment name, 'on', '@' or '{'");
  }
  if (!parse_directives(false, parts.directives)) return false;
  if (token_.kind != Tok::LBrace) return fail_expected("'@' or '{'");
  if (!parse_selection_set(parts.selection_set)) return false;
  out.append(builder_.selection(SelectionKind::InlineFragment, pos, type_condition, parts));
  return true;
}

constexpr std::size_t kBalanceCheckFrom = 1 << 20;

// Whether every (, [ and { outside strings and comments is closed in order of
// kind (each kind counted apart, never closed before it opens).
bool brackets_balance(std::string_view text) {
  long parens = 0, brackets = 0, braces = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end) {
    switch (*p++) {
      case '(': ++parens; break;
      case ')': if (--parens < 0) return false; break;
      case '[': ++brackets; break;
      case ']': if (--brackets < 0) return false; break;
      case '{': ++braces; break;
      case '}': if (--braces < 0) return false; break;
      case '#':
        while (p != end && *p != '\n' && *p != '\r') ++p;
        break;
      case '"':
        if (end - p >= 2 && p[0] == '"' && p[1] == '"') {
          for (p += 2; p != end; ++p) {
            if (*p == '\\' && end - p >= 4 && p[1] == '"' && p[2] == '"' && p[3] == '"') {
              p += 3;
            } else if (*p == '"' && end - p >= 3 && p[1] == '"' && p[2] == '"') {
              p += 3;
              break;
            }
          }
        } else {
          while (p != end && *p != '"' && *p != '\n' && *p != '\r') p += (*p == '\\' && end - p >= 2) ? 2 : 1;
          if (p != end) ++p;
        }
        break;
      default:
        break;
    }
  }
  return parens == 0 && brackets == 0 && braces == 0;
}

}  // namespace

Result<DocumentPtr> parse_document(std::string_view text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    return make_error("syntax error: expected a query text of at most 4294967295 bytes, found " +
                          std::to_string(text.size()) + " bytes",
                      ErrorCode::GRAPHQL_PARSE_FAILED);
  }
  // A valid text balances its brackets. A large one that does not is read for
  // its syntax alone, so that its error (which will come, perhaps at the very
  // end) costs no memory for nodes; should it parse after all, it is parsed again.
  if (text.size() >= kBalanceCheckFrom && !brackets_balance(text)) {
    DocumentBuilder builder(text, 0);
    if (ErrorPtr error = Parser(builder, true).syntax_error()) return error;
  }
  // Indented query text takes about three bytes of nodes per byte of text: a
  // first block that size holds most documents whole, and denser ones grow from there.
  DocumentBuilder builder(text, text.size() * 3);
  return Parser(builder, false).run();
}

}  // namespace quenfel
