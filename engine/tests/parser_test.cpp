#include "engine/parser.h"

#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quenfel {
namespace {

namespace fs = std::filesystem;

DocumentPtr parse_ok(std::string_view text) {
  auto result = parse_document(text);
  EXPECT_TRUE(result.ok()) << "text: " << text << "\nerror: " << (result.ok() ? "" : result.error().message);
  return result.ok() ? *result : nullptr;
}

ErrorPtr parse_fail(std::string_view text) {
  auto result = parse_document(text);
  EXPECT_FALSE(result.ok()) << "unexpectedly parsed: " << text;
  if (result.ok()) return make_error("", ErrorCode::GRAPHQL_VALIDATION_FAILED);
  ErrorPtr error = result.take_error();
  EXPECT_EQ(error->code(), ErrorCode::GRAPHQL_PARSE_FAILED) << text;
  return error;
}

std::string fail_message(std::string_view text) { return parse_fail(text)->message; }

std::vector<Location> locations(std::string_view text) {
  ErrorPtr error = parse_fail(text);
  return error->locations.value_or(std::vector<Location>{});
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A document holding one field whose first argument is the literal under test.
struct ParsedValue {
  DocumentPtr document;
  const Value& get() const { return document->operations()[0].selection_set.items[0].arguments[0].value; }
};

ParsedValue value_of(const std::string& literal) {
  return {parse_ok("{ f(a: " + literal + ") }")};
}

std::string string_value(const std::string& literal) {
  ParsedValue parsed = value_of(literal);
  if (!parsed.document) return "<parse failed>";
  EXPECT_EQ(parsed.get().kind, ValueKind::String);
  return std::string(parsed.get().text());
}

std::string nested(const std::string& open, int levels, const std::string& middle, const std::string& close) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  text += middle;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

// ---------------------------------------------------------------------------

TEST(ParserFixtures, EveryValidFixtureParses) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(QUENFEL_FIXTURES_DIR) / "parser-valid")) {
    SCOPED_TRACE(entry.path().filename().string());
    parse_ok(read_file(entry.path()));
    ++count;
  }
  EXPECT_EQ(count, 28);
}

TEST(ParserFixtures, EveryInvalidFixtureFails) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(QUENFEL_FIXTURES_DIR) / "parser-invalid")) {
    SCOPED_TRACE(entry.path().filename().string());
    parse_fail(read_file(entry.path()));
    ++count;
  }
  EXPECT_EQ(count, 12);
}

TEST(ParserFixtures, DefinitionRuleAndDepthMessagesAreExact) {
  auto fixture = [](const char* name) {
    return parse_fail(read_file(fs::path(QUENFEL_FIXTURES_DIR) / "parser-invalid" / name));
  };
  ErrorPtr twice = fixture("operation-defined-twice.graphql");
  EXPECT_EQ(twice->message, "operation Viewer is defined twice");
  EXPECT_EQ(twice->locations, (std::vector<Location>{{1, 1}, {7, 1}}));

  ErrorPtr fragment = fixture("fragment-defined-twice.graphql");
  EXPECT_EQ(fragment->message, "fragment Who is defined twice");
  EXPECT_EQ(fragment->locations, (std::vector<Location>{{7, 1}, {11, 1}}));

  ErrorPtr anonymous = fixture("anonymous-and-named-operation.graphql");
  EXPECT_EQ(anonymous->message, "document contains multiple operations");
  EXPECT_EQ(anonymous->locations, (std::vector<Location>{{1, 1}, {7, 1}}));

  ErrorPtr deep = fixture("nesting-depth-65.graphql");
  EXPECT_EQ(deep->message, "recursion limit exceeded.");
  EXPECT_FALSE(deep->locations.has_value());

  EXPECT_NE(fixture("schema-definition.graphql")->message.find("type-system"), std::string::npos);
  EXPECT_EQ(fixture("unterminated-string.graphql")->locations, (std::vector<Location>{{2, 17}, {2, 51}}));
}

TEST(ParserFixtures, VariableDefaultAfterDirectives) {
  DocumentPtr doc = parse_ok(read_file(fs::path(QUENFEL_FIXTURES_DIR) / "parser-valid" / "variable_directive.graphql"));
  ASSERT_TRUE(doc);
  const auto& vars = doc->operations()[0].variables;
  ASSERT_EQ(vars.size(), 2u);
  ASSERT_NE(vars[0].default_value, nullptr);
  EXPECT_EQ(vars[0].default_value->unsigned_number, 10u);
  EXPECT_EQ(vars[0].directives.size(), 1u);
  EXPECT_EQ(vars[1].default_value, nullptr);
  EXPECT_EQ(vars[1].directives[0].name, "directive");
}

// ---------------------------------------------------------------------------

TEST(ParserShape, KitchenSinkDocument) {
  const std::string text =
      "query Q($id: ID! = \"x\", $list: [[Int!]]! @dir(a: 1)) @op(v: $id) {\n"
      "  alias: field(a: 1, b: $id) @include(if: true) {\n"
      "    ...Frag @skip(if: false)\n"
      "    ... on User { name }\n"
      "    ... @defer { id }\n"
      "  }\n"
      "}\n"
      "\n"
      "fragment Frag on User @fd {\n"
      "  id\n"
      "}\n";
  DocumentPtr doc = parse_ok(text);
  ASSERT_TRUE(doc);
  ASSERT_EQ(doc->operations().size(), 1u);
  const OperationDefinition& op = doc->operations()[0];
  EXPECT_EQ(op.type, OperationType::Query);
  EXPECT_EQ(op.name, "Q");
  EXPECT_EQ(op.pos, (Pos{1, 1}));

  ASSERT_EQ(op.variables.size(), 2u);
  const VariableDefinition& id = op.variables[0];
  EXPECT_EQ(id.name, "id");
  EXPECT_EQ(id.pos, (Pos{1, 9}));
  EXPECT_EQ(id.type->kind, TypeRef::Kind::Named);
  EXPECT_EQ(id.type->name, "ID");
  EXPECT_FALSE(id.type->nullable);
  ASSERT_NE(id.default_value, nullptr);
  EXPECT_EQ(id.default_value->text(), "x");
  EXPECT_EQ(id.default_value->pos, (Pos{1, 20}));
  const VariableDefinition& list = op.variables[1];
  EXPECT_EQ(list.pos, (Pos{1, 25}));
  EXPECT_EQ(list.default_value, nullptr);
  EXPECT_EQ(list.type->kind, TypeRef::Kind::List);
  EXPECT_FALSE(list.type->nullable);
  EXPECT_EQ(list.type->item->kind, TypeRef::Kind::List);
  EXPECT_TRUE(list.type->item->nullable);
  EXPECT_EQ(list.type->item->item->name, "Int");
  EXPECT_FALSE(list.type->item->item->nullable);
  ASSERT_EQ(list.directives.size(), 1u);
  EXPECT_EQ(list.directives[0].name, "dir");
  EXPECT_EQ(list.directives[0].pos, (Pos{1, 42}));
  EXPECT_EQ(list.directives[0].arguments[0].name_pos, (Pos{1, 47}));
  EXPECT_EQ(list.directives[0].arguments[0].value.pos, (Pos{1, 50}));

  ASSERT_EQ(op.directives.size(), 1u);
  EXPECT_EQ(op.directives[0].name, "op");
  EXPECT_EQ(op.directives[0].pos, (Pos{1, 54}));
  EXPECT_EQ(op.directives[0].arguments[0].value.kind, ValueKind::Variable);
  EXPECT_EQ(op.directives[0].arguments[0].value.text(), "id");
  EXPECT_EQ(op.directives[0].arguments[0].value.pos, (Pos{1, 61}));
  EXPECT_EQ(op.selection_set.pos, (Pos{1, 66}));

  ASSERT_EQ(op.selection_set.items.size(), 1u);
  const Selection& field = op.selection_set.items[0];
  EXPECT_EQ(field.kind, SelectionKind::Field);
  EXPECT_EQ(field.alias, "alias");
  EXPECT_EQ(field.name, "field");
  EXPECT_EQ(field.response_key(), "alias");
  EXPECT_EQ(field.pos, (Pos{2, 3}));
  ASSERT_EQ(field.arguments.size(), 2u);
  EXPECT_EQ(field.arguments[0].name, "a");
  EXPECT_EQ(field.arguments[0].name_pos, (Pos{2, 16}));
  EXPECT_EQ(field.arguments[1].name, "b");
  EXPECT_EQ(field.arguments[1].name_pos, (Pos{2, 22}));
  EXPECT_EQ(field.arguments[1].value.pos, (Pos{2, 25}));
  ASSERT_EQ(field.directives.size(), 1u);
  EXPECT_EQ(field.directives[0].name, "include");
  EXPECT_EQ(field.directives[0].pos, (Pos{2, 30}));
  EXPECT_EQ(field.directives[0].arguments[0].value.kind, ValueKind::Boolean);
  EXPECT_TRUE(field.directives[0].arguments[0].value.boolean);
  EXPECT_EQ(field.selection_set.pos, (Pos{2, 49}));

  const auto& items = field.selection_set.items;
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].kind, SelectionKind::FragmentSpread);
  EXPECT_EQ(items[0].name, "Frag");
  EXPECT_EQ(items[0].pos, (Pos{3, 5}));
  EXPECT_EQ(items[0].directives[0].name, "skip");
  EXPECT_EQ(items[0].directives[0].pos, (Pos{3, 13}));
  EXPECT_EQ(items[1].kind, SelectionKind::InlineFragment);
  EXPECT_TRUE(items[1].has_type_condition());
  EXPECT_EQ(items[1].name, "User");
  EXPECT_EQ(items[1].pos, (Pos{4, 5}));
  EXPECT_EQ(items[1].type_condition_pos, (Pos{4, 9}));
  EXPECT_EQ(items[1].selection_set.pos, (Pos{4, 17}));
  EXPECT_EQ(items[1].selection_set.items[0].name, "name");
  EXPECT_EQ(items[1].selection_set.items[0].pos, (Pos{4, 19}));
  EXPECT_FALSE(items[1].selection_set.items[0].has_alias());
  EXPECT_TRUE(items[1].selection_set.items[0].selection_set.empty());
  EXPECT_EQ(items[1].selection_set.items[0].selection_set.pos, (Pos{0, 0}));
  EXPECT_EQ(items[2].kind, SelectionKind::InlineFragment);
  EXPECT_FALSE(items[2].has_type_condition());
  EXPECT_EQ(items[2].directives[0].name, "defer");
  EXPECT_EQ(items[2].selection_set.pos, (Pos{5, 16}));

  ASSERT_EQ(doc->fragments().size(), 1u);
  const FragmentDefinition& frag = doc->fragments()[0];
  EXPECT_EQ(frag.name, "Frag");
  EXPECT_EQ(frag.pos, (Pos{9, 1}));
  EXPECT_EQ(frag.type_condition, "User");
  EXPECT_EQ(frag.type_condition_pos, (Pos{9, 15}));
  EXPECT_EQ(frag.directives[0].pos, (Pos{9, 23}));
  EXPECT_EQ(frag.selection_set.pos, (Pos{9, 27}));
  EXPECT_EQ(doc->find_fragment("Frag"), &frag);
}

TEST(ParserShape, OperationKindsAndShorthand) {
  DocumentPtr doc = parse_ok("mutation M { a } subscription S { b } fragment F on T { c } query Q($v: Int) { d }");
  ASSERT_TRUE(doc);
  ASSERT_EQ(doc->operations().size(), 3u);
  EXPECT_EQ(doc->operations()[0].type, OperationType::Mutation);
  EXPECT_EQ(doc->operations()[1].type, OperationType::Subscription);
  EXPECT_EQ(doc->operations()[1].name, "S");
  EXPECT_EQ(doc->operations()[2].type, OperationType::Query);

  DocumentPtr shorthand = parse_ok("  { a }");
  ASSERT_TRUE(shorthand);
  const OperationDefinition& op = shorthand->operations()[0];
  EXPECT_EQ(op.type, OperationType::Query);
  EXPECT_TRUE(op.is_anonymous());
  EXPECT_EQ(op.pos, (Pos{1, 3}));
  EXPECT_EQ(op.selection_set.pos, (Pos{1, 3}));
}

TEST(ParserShape, KeywordsAreOrdinaryNamesElsewhere) {
  DocumentPtr doc = parse_ok(
      "query query($on: on = on) { fragment: query(true: false, null: null) on ...query type { __typename } }"
      "fragment query on on { on }");
  ASSERT_TRUE(doc);
  const OperationDefinition& op = doc->operations()[0];
  EXPECT_EQ(op.name, "query");
  EXPECT_EQ(op.variables[0].default_value->kind, ValueKind::Enum);
  EXPECT_EQ(op.variables[0].default_value->text(), "on");
  const auto& items = op.selection_set.items;
  EXPECT_EQ(items[0].alias, "fragment");
  EXPECT_EQ(items[0].arguments[0].name, "true");
  EXPECT_EQ(items[0].arguments[0].value.kind, ValueKind::Boolean);
  EXPECT_FALSE(items[0].arguments[0].value.boolean);
  EXPECT_EQ(items[0].arguments[1].value.kind, ValueKind::Null);
  EXPECT_EQ(items[1].name, "on");
  EXPECT_EQ(items[2].kind, SelectionKind::FragmentSpread);
  EXPECT_EQ(items[2].name, "query");
  EXPECT_EQ(items[3].name, "type");
  EXPECT_EQ(doc->fragments()[0].type_condition, "on");
}

TEST(ParserShape, NamesViewIntoTheDocumentsOwnText) {
  std::string text = "query Op($v: Int = 1) { field(s: \"plain\", e: \"esc\\n\") }";
  DocumentPtr doc = parse_ok(text);
  ASSERT_TRUE(doc);
  std::fill(text.begin(), text.end(), 'x');
  const std::string_view own = doc->text();
  auto inside = [&](std::string_view s) { return s.data() >= own.data() && s.data() + s.size() <= own.data() + own.size(); };
  const OperationDefinition& op = doc->operations()[0];
  EXPECT_EQ(op.name, "Op");
  EXPECT_TRUE(inside(op.name));
  EXPECT_TRUE(inside(op.variables[0].name));
  EXPECT_TRUE(inside(op.variables[0].type->name));
  const Selection& field = op.selection_set.items[0];
  EXPECT_EQ(field.name, "field");
  EXPECT_TRUE(inside(field.name));
  EXPECT_EQ(field.arguments[0].value.text(), "plain");
  EXPECT_EQ(field.arguments[1].value.text(), "esc\n");
  EXPECT_FALSE(inside(field.arguments[1].value.text()));  // decoded into the arena
}

TEST(ParserShape, ListsObjectsAndEnums) {
  ParsedValue parsed = value_of("[1, \"two\", [THREE], {four: 4, four: null, five: {}}, []]");
  ASSERT_TRUE(parsed.document);
  const Value& list = parsed.get();
  ASSERT_EQ(list.kind, ValueKind::List);
  ASSERT_EQ(list.list().size(), 5u);
  EXPECT_EQ(list.list()[0].unsigned_number, 1u);
  EXPECT_EQ(list.list()[1].text(), "two");
  EXPECT_EQ(list.list()[2].list()[0].kind, ValueKind::Enum);
  EXPECT_EQ(list.list()[2].list()[0].text(), "THREE");
  const Value& object = list.list()[3];
  ASSERT_EQ(object.kind, ValueKind::Object);
  ASSERT_EQ(object.object().size(), 3u);  // kept as written, repeats included
  EXPECT_EQ(object.object()[0].name, "four");
  EXPECT_EQ(object.object()[0].name_pos, (Pos{1, 29}));
  EXPECT_EQ(object.object()[0].value.pos, (Pos{1, 35}));
  EXPECT_EQ(object.object()[1].value.kind, ValueKind::Null);
  EXPECT_EQ(object.object()[2].value.kind, ValueKind::Object);
  EXPECT_TRUE(object.object()[2].value.object().empty());
  EXPECT_EQ(list.list()[4].kind, ValueKind::List);
  EXPECT_TRUE(list.list()[4].list().empty());
  EXPECT_EQ(list.pos, (Pos{1, 8}));
  EXPECT_EQ(object.pos, (Pos{1, 28}));
}

// ---------------------------------------------------------------------------

TEST(ParserNumbers, IntegerKindsAndBoundaries) {
  struct Case {
    const char* literal;
    NumberKind kind;
    std::uint64_t u;
    std::int64_t s;
  };
  const Case cases[] = {
      {"0", NumberKind::Unsigned, 0, 0},
      {"-0", NumberKind::Unsigned, 0, 0},
      {"7", NumberKind::Unsigned, 7, 0},
      {"-1", NumberKind::Signed, 0, -1},
      {"9223372036854775807", NumberKind::Unsigned, 9223372036854775807ull, 0},
      {"9223372036854775808", NumberKind::Unsigned, 9223372036854775808ull, 0},
      {"18446744073709551615", NumberKind::Unsigned, 18446744073709551615ull, 0},
      {"-9223372036854775807", NumberKind::Signed, 0, -9223372036854775807ll},
      {"-9223372036854775808", NumberKind::Signed, 0, std::numeric_limits<std::int64_t>::min()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    ParsedValue parsed = value_of(c.literal);
    ASSERT_TRUE(parsed.document);
    const Value& v = parsed.get();
    EXPECT_EQ(v.kind, ValueKind::Number);
    EXPECT_EQ(v.number_kind, c.kind);
    EXPECT_TRUE(v.is_integer());
    if (c.kind == NumberKind::Unsigned) {
      EXPECT_EQ(v.unsigned_number, c.u);
    }
    if (c.kind == NumberKind::Signed) {
      EXPECT_EQ(v.signed_number, c.s);
    }
  }
}

TEST(ParserNumbers, DoublesAndOutOfRangeIntegers) {
  struct Case {
    const char* literal;
    double value;
  };
  const Case cases[] = {
      {"18446744073709551616", 18446744073709551616.0},
      {"-9223372036854775809", -9223372036854775809.0},
      {"1.5", 1.5},
      {"-0.25", -0.25},
      {"0.0", 0.0},
      {"1e3", 1000.0},
      {"1E+3", 1000.0},
      {"25e-2", 0.25},
      {"1.23e+2", 123.0},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"4e-320", 4e-320},  // subnormal
      {"1e-400", 0.0},     // underflow
      {"0.000001e-999999999999999999999", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    ParsedValue parsed = value_of(c.literal);
    ASSERT_TRUE(parsed.document);
    const Value& v = parsed.get();
    EXPECT_EQ(v.number_kind, NumberKind::Double);
    EXPECT_EQ(v.double_number, c.value);
  }
  ParsedValue negative_zero = value_of("-0.0");
  ASSERT_TRUE(negative_zero.document);
  EXPECT_TRUE(std::signbit(negative_zero.get().double_number));
  ParsedValue negative_underflow = value_of("-1e-400");
  ASSERT_TRUE(negative_underflow.document);
  EXPECT_EQ(negative_underflow.get().double_number, 0.0);
  EXPECT_TRUE(std::signbit(negative_underflow.get().double_number));
}

TEST(ParserNumbers, OverflowingDoublesAreSyntaxErrors) {
  for (std::string literal : {std::string("1e400"), std::string("-1.8e308"), "1" + std::string(400, '0'),
                              std::string("0.1e999999999999999999999")}) {
    SCOPED_TRACE(literal);
    ErrorPtr error = parse_fail("{ f(a: " + literal + ") }");
    EXPECT_EQ(error->message.rfind("syntax error: expected a number within the range of a double, found number '", 0), 0u)
        << error->message;
    EXPECT_EQ(error->locations, (std::vector<Location>{{1, 8}}));
  }
}

TEST(ParserNumbers, MalformedNumbers) {
  struct Case {
    const char* literal;
    const char* message;
  };
  const Case cases[] = {
      {"01", "syntax error: expected no digit after a leading zero, found character '1'"},
      {"-01", "syntax error: expected no digit after a leading zero, found character '1'"},
      {"1.", "syntax error: expected a digit after the decimal point, found character ')'"},
      {"1.e3", "syntax error: expected a digit after the decimal point, found character 'e'"},
      {".5", "syntax error: expected a digit before the decimal point, found character '.'"},
      {"1e", "syntax error: expected a digit in the exponent, found character ')'"},
      {"1e+", "syntax error: expected a digit in the exponent, found character ')'"},
      {"-", "syntax error: expected a digit after '-', found character ')'"},
      {"- 1", "syntax error: expected a digit after '-', found character ' '"},
      {"1a", "syntax error: expected a separator after the number '1', found character 'a'"},
      {"0x1F", "syntax error: expected a separator after the number '0', found character 'x'"},
      {"1.5.3", "syntax error: expected a separator after the number '1.5', found character '.'"},
      {"1e5_", "syntax error: expected a separator after the number '1e5', found character '_'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    ErrorPtr error = parse_fail(std::string("{ f(a: ") + c.literal + ") }");
    EXPECT_EQ(error->message, c.message);
    ASSERT_TRUE(error->locations.has_value());
    EXPECT_EQ(error->locations->front(), (Location{1, 8}));
  }
  EXPECT_EQ(locations("{ f(a: 12x) }"), (std::vector<Location>{{1, 8}, {1, 10}}));
}

// ---------------------------------------------------------------------------

TEST(ParserStrings, EscapesDecode) {
  EXPECT_EQ(string_value(R"("a\"b\\c\/d\be\ff\ng\rh\ti")"), "a\"b\\c/d\be\ff\ng\rh\ti");
  EXPECT_EQ(string_value(R"("\u0041\u00e9\u20AC")"), "A\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(string_value(R"("\u{41}\u{1F600}\u{0000000041}\u{10FFFF}")"), "A\xF0\x9F\x98\x80" "A\xF4\x8F\xBF\xBF");
  EXPECT_EQ(string_value(R"("\uD83D\uDE00!")"), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(string_value(R"("\u0000")"), std::string(1, '\0'));
  EXPECT_EQ(string_value("\"h\xC3\xA9llo \xF0\x9F\x98\x80\""), "h\xC3\xA9llo \xF0\x9F\x98\x80");
  EXPECT_EQ(string_value("\"\""), "");
  EXPECT_EQ(string_value("\"tab\there\""), "tab\there");
  EXPECT_EQ(string_value("\"#not a comment\""), "#not a comment");
}

TEST(ParserStrings, BadEscapes) {
  struct Case {
    const char* literal;
    const char* message;
  };
  const Case cases[] = {
      {R"("\q")", "syntax error: invalid escape sequence, expected one of \\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u, found '\\q'"},
      {R"("\u12")", "syntax error: invalid unicode escape, expected four hexadecimal digits after '\\u', found character '\"'"},
      {R"("\u12G4")", "syntax error: invalid unicode escape, expected four hexadecimal digits after '\\u', found character 'G'"},
      {R"("\u{}")", "syntax error: invalid unicode escape, expected hexadecimal digits and '}' after '\\u{', found character '}'"},
      {R"("\u{41")", "syntax error: invalid unicode escape, expected hexadecimal digits and '}' after '\\u{', found character '\"'"},
      {R"("\u{110000}")", "syntax error: invalid unicode escape, expected a Unicode scalar value, found '\\u{110000}'"},
      {R"("\u{FFFFFFFFFFFF}")", "syntax error: invalid unicode escape, expected a Unicode scalar value, found '\\u{FFFFFFFFFFFF}'"},
      {R"("\u{D800}")", "syntax error: invalid unicode escape, expected a Unicode scalar value, found '\\u{D800}'"},
      {R"("\uD83D")", "syntax error: invalid unicode escape, expected a surrogate pair, found the lone surrogate '\\uD83D'"},
      {R"("\uD83Dx")", "syntax error: invalid unicode escape, expected a surrogate pair, found the lone surrogate '\\uD83D'"},
      {R"("\uD83D\u0041")", "syntax error: invalid unicode escape, expected a surrogate pair, found the lone surrogate '\\uD83D'"},
      {R"("\uDE00")", "syntax error: invalid unicode escape, expected a surrogate pair, found the lone surrogate '\\uDE00'"},
      {R"("\u{D83D}\u{DE00}")", "syntax error: invalid unicode escape, expected a Unicode scalar value, found '\\u{D83D}'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    ErrorPtr error = parse_fail(std::string("{ f(a: \"x\", b: ") + c.literal + ") }");
    EXPECT_EQ(error->message, c.message);
    EXPECT_EQ(error->locations, (std::vector<Location>{{1, 17}}));  // the backslash
  }
}

TEST(ParserStrings, UnterminatedStringsGiveStartAndEnd) {
  ErrorPtr at_end = parse_fail("{ f(a: \"abc");
  EXPECT_EQ(at_end->message, "syntax error: unterminated string, expected '\"' before the end of input");
  EXPECT_EQ(at_end->locations, (std::vector<Location>{{1, 8}, {1, 12}}));
  ErrorPtr at_line = parse_fail("{ f(a: \"ab\\\"\n\") }");
  EXPECT_EQ(at_line->message, "syntax error: unterminated string, expected '\"' before the end of the line");
  EXPECT_EQ(at_line->locations, (std::vector<Location>{{1, 8}, {1, 13}}));
  EXPECT_EQ(locations("{ f(a: \"ab\r\") }"), (std::vector<Location>{{1, 8}, {1, 11}}));
  EXPECT_EQ(locations("{ f(a: \"ab\\"), (std::vector<Location>{{1, 8}, {1, 12}}));

  ErrorPtr block = parse_fail("{ f(a: \"\"\"abc\n  \\\"\"\" \"\" ) }");
  EXPECT_EQ(block->message, "syntax error: unterminated block string, expected '\"\"\"' before the end of input");
  EXPECT_EQ(block->locations, (std::vector<Location>{{1, 8}, {2, 14}}));
}

TEST(ParserStrings, BlockStringValue) {
  struct Case {
    const char* raw;
    const char* value;
  };
  const Case cases[] = {
      {"\"\"\"\"\"\"", ""},
      {"\"\"\"  \n\t \n \"\"\"", ""},
      {"\"\"\"simple\"\"\"", "simple"},
      {"\"\"\"  first line keeps its indent\"\"\"", "  first line keeps its indent"},
      {"\"\"\"\n    a\n    b\n\n    c\n    \"\"\"", "a\nb\n\nc"},
      {"\"\"\"\n      deeper\n    common\n  \"\"\"", "  deeper\ncommon"},
      {"\"\"\"first\n    second\n      third\"\"\"", "first\nsecond\n  third"},
      {"\"\"\"\r\n  one\r  two\r\n\"\"\"", "one\ntwo"},
      {"\"\"\"\n\t\ttabbed\n\t\t\tmore\n\"\"\"", "tabbed\n\tmore"},
      {"\"\"\"\n  quote \\\"\"\" inside\n\"\"\"", "quote \"\"\" inside"},
      {"\"\"\"no \\n escapes \\u0041 here\"\"\"", "no \\n escapes \\u0041 here"},
      {"\"\"\"a \" and \"\" inside\"\"\"", "a \" and \"\" inside"},
      {"\"\"\"\n  h\xC3\xA9llo\n    \xF0\x9F\x98\x80\n\"\"\"", "h\xC3\xA9llo\n  \xF0\x9F\x98\x80"},
      {"\"\"\"\n  x\n \n\n   y\n\n\"\"\"", "x\n\n\n y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    EXPECT_EQ(string_value(c.raw), c.value);
  }
  DocumentPtr doc = parse_ok(read_file(fs::path(QUENFEL_FIXTURES_DIR) / "parser-valid" / "multiline_string.graphql"));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->operations()[0].selection_set.items[0].arguments[0].value.text(), "a\nb\n\nc");
}

// ---------------------------------------------------------------------------

TEST(ParserPositions, ColumnsCountCodePointsAndLinesAllTerminators) {
  // "é" is 2 bytes, the emoji 4: each is one column.
  DocumentPtr doc = parse_ok("{ f(a: \"\xC3\xA9\xF0\x9F\x98\x80\") g }");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->operations()[0].selection_set.items[1].pos, (Pos{1, 14}));

  DocumentPtr comment = parse_ok("{ # \xF0\x9F\x98\x80\xF0\x9F\x98\x80\n  a # \xC3\xA9\n b }");
  ASSERT_TRUE(comment);
  EXPECT_EQ(comment->operations()[0].selection_set.items[1].pos, (Pos{3, 2}));

  DocumentPtr lines = parse_ok("{\r\n a\r b\n c\r\n\r\n\td }");
  ASSERT_TRUE(lines);
  const auto& items = lines->operations()[0].selection_set.items;
  EXPECT_EQ(items[0].pos, (Pos{2, 2}));
  EXPECT_EQ(items[1].pos, (Pos{3, 2}));
  EXPECT_EQ(items[2].pos, (Pos{4, 2}));
  EXPECT_EQ(items[3].pos, (Pos{6, 2}));

  DocumentPtr block = parse_ok("{ f(a: \"\"\"x\r\n\xC3\xA9\xC3\xA9\r\"\"\") g }");
  ASSERT_TRUE(block);
  EXPECT_EQ(block->operations()[0].selection_set.items[1].pos, (Pos{3, 6}));

  DocumentPtr bom = parse_ok("\xEF\xBB\xBF{ a \xEF\xBB\xBF b }");
  ASSERT_TRUE(bom);
  EXPECT_EQ(bom->operations()[0].pos, (Pos{1, 2}));
  EXPECT_EQ(bom->operations()[0].selection_set.items[1].pos, (Pos{1, 8}));
}

TEST(ParserPositions, ErrorPositionsMatchNodePositions) {
  // Error positions are computed separately from node positions; both must agree.
  EXPECT_EQ(locations("{ f(a: \"\xC3\xA9\xF0\x9F\x98\x80\") % }"), (std::vector<Location>{{1, 14}}));
  EXPECT_EQ(locations("\xEF\xBB\xBF{\r\n # \xC3\xA9\r\n\r %}"), (std::vector<Location>{{4, 2}}));
}

TEST(ParserLexical, IgnoredTokens) {
  DocumentPtr doc = parse_ok(",,# leading comment\n\xEF\xBB\xBF query ,Q, (,$a,:,Int,=,1,), { ,a, ,b#c\n,}, # trailing");
  ASSERT_TRUE(doc);
  const OperationDefinition& op = doc->operations()[0];
  EXPECT_EQ(op.name, "Q");
  EXPECT_EQ(op.variables[0].default_value->unsigned_number, 1u);
  EXPECT_EQ(op.selection_set.items.size(), 2u);
  EXPECT_EQ(op.selection_set.items[1].name, "b");
  parse_ok("{a}#");
  parse_ok("{a}#\r");
  parse_ok("{\ta\t}");
}

TEST(ParserLexical, InvalidUtf8AndNonAsciiAreSyntaxErrors) {
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"{ a\xC3\xA9 }", "syntax error: expected a selection or '}', found non-ASCII character U+00E9"},
      {"{ \xFF }", "syntax error: expected a selection, found invalid UTF-8 byte 0xFF"},
      {"{ a(b: \"\xC0\x80\") }", "syntax error: expected UTF-8 text in a string, found invalid UTF-8 byte 0xC0"},
      {"{ a(b: \"\xED\xA0\x80\") }", "syntax error: expected UTF-8 text in a string, found invalid UTF-8 byte 0xED"},
      {"{ a(b: \"\xF4\x90\x80\x80\") }", "syntax error: expected UTF-8 text in a string, found invalid UTF-8 byte 0xF4"},
      {"{ a(b: \"\xE2\x82", "syntax error: expected UTF-8 text in a string, found invalid UTF-8 byte 0xE2"},
      {"{ a(b: \"\"\"\xE2\x82\x28\"\"\") }", "syntax error: expected UTF-8 text in a block string, found invalid UTF-8 byte 0xE2"},
      {"{ a } # \x80", "syntax error: expected UTF-8 text in a comment, found invalid UTF-8 byte 0x80"},
      {"{ a } # \xF0\x9F\x98", "syntax error: expected UTF-8 text in a comment, found invalid UTF-8 byte 0xF0"},
      {"\xEF\xBB{ a }", "syntax error: expected a definition ('query', 'mutation', 'subscription', 'fragment' or '{'), found invalid UTF-8 byte 0xEF"},
      {std::string("{ a \0 }", 7), "syntax error: expected a selection or '}', found control character U+0000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fail_message(c.text), c.message);
  }
  EXPECT_EQ(locations("{ a(b: \"xx\xFF\") }"), (std::vector<Location>{{1, 11}}));
}

// ---------------------------------------------------------------------------

TEST(ParserErrors, SyntaxMessagesSayWhatWasExpectedAndFound) {
  const std::string definition = "a definition ('query', 'mutation', 'subscription', 'fragment' or '{')";
  struct Case {
    std::string text;
    std::string message;
    Location at;
  };
  const Case cases[] = {
      {"", "syntax error: unexpected end of input, expected " + definition, {1, 1}},
      {"  # only a comment\n", "syntax error: unexpected end of input, expected " + definition, {2, 1}},
      {"{ }", "syntax error: expected a selection, found '}'", {1, 3}},
      {"{ a", "syntax error: unexpected end of input, expected '}'", {1, 4}},
      {"{ a } }", "syntax error: expected " + definition + ", found '}'", {1, 7}},
      {"{ a(b: ) }", "syntax error: expected a value, found ')'", {1, 8}},
      {"{ a() }", "syntax error: expected an argument name, found ')'", {1, 5}},
      {"{ a(b: 1 }", "syntax error: expected an argument name or ')', found '}'", {1, 10}},
      {"{ a(b 1) }", "syntax error: expected ':', found number '1'", {1, 7}},
      {"{ a @ }", "syntax error: expected a directive name, found '}'", {1, 7}},
      {"{ a: }", "syntax error: expected a field name, found '}'", {1, 6}},
      {"{ a(b: [1 }", "syntax error: expected a value or ']', found '}'", {1, 11}},
      {"{ a(b: {c 1}) }", "syntax error: expected ':', found number '1'", {1, 11}},
      {"{ a(b: {1: 1}) }", "syntax error: expected a field name or '}', found number '1'", {1, 9}},
      {"{ ... }", "syntax error: expected a fragment name, 'on', '@' or '{', found '}'", {1, 7}},
      {"{ ... on { a } }", "syntax error: expected a type name, found '{'", {1, 10}},
      {"{ ... @d }", "syntax error: expected '@' or '{', found '}'", {1, 10}},
      {"{ .. }", "syntax error: expected '...', found '..'", {1, 3}},
      {"{ a & }", "syntax error: expected a selection or '}', found '&'", {1, 5}},
      {"{ a % }", "syntax error: expected a selection or '}', found character '%'", {1, 5}},
      {"query Q Q { a }", "syntax error: expected '(', '@' or '{', found name 'Q'", {1, 9}},
      {"query [", "syntax error: expected an operation name, '(', '@' or '{', found '['", {1, 7}},
      {"query Q() { a }", "syntax error: expected a variable definition, found ')'", {1, 9}},
      {"query Q($a) { a }", "syntax error: expected ':', found ')'", {1, 11}},
      {"query Q($a: ) { a }", "syntax error: expected a type, found ')'", {1, 13}},
      {"query Q($a: [Int) { a }", "syntax error: expected ']', found ')'", {1, 17}},
      {"query Q($a: Int $b: Int { a }", "syntax error: expected a variable definition or ')', found '{'", {1, 25}},
      {"query Q($a: Int = 1 @d = 2) { a }", "syntax error: expected a variable definition or ')', found '='", {1, 24}},
      {"query Q($a: Int = $b) { a }",
       "syntax error: expected a constant value, found a variable (variables are not allowed here)", {1, 19}},
      {"query Q($a: Int @d(x: [$b])) { a }",
       "syntax error: expected a constant value, found a variable (variables are not allowed here)", {1, 24}},
      {"query Q($a: Int) @d", "syntax error: unexpected end of input, expected '@' or '{'", {1, 20}},
      {"fragment on on T { a }", "syntax error: expected a fragment name, found 'on' (which cannot name a fragment)", {1, 10}},
      {"fragment F T { a }", "syntax error: expected 'on', found name 'T'", {1, 12}},
      {"fragment F($a: Int) on T { a }", "syntax error: expected 'on', found '('", {1, 11}},
      {"fragment F on { a }", "syntax error: expected a type name, found '{'", {1, 15}},
      {"fragment F on T", "syntax error: unexpected end of input, expected '@' or '{'", {1, 16}},
      {"Query { a }", "syntax error: expected " + definition + ", found name 'Query'", {1, 1}},
      {"{ a(b: \"x\" \"y\") }", "syntax error: expected an argument name or ')', found a string", {1, 12}},
      {"{ a(b: \"x\" \"\"\"y\"\"\") }", "syntax error: expected an argument name or ')', found a block string", {1, 12}},
      {"{ a(b: $) }", "syntax error: expected a variable name, found ')'", {1, 9}},
      {"{ a } 123", "syntax error: expected " + definition + ", found number '123'", {1, 7}},
      {"{ " + std::string(100, 'n') + "(: 1) }", "syntax error: expected an argument name, found ':'", {1, 104}},
      {"{ a(" + std::string(60, 'n') + " 1) }",
       "syntax error: expected ':', found number '1'", {1, 66}},
      {"{ a } " + std::string(60, 'n'),
       "syntax error: expected " + definition + ", found name '" + std::string(40, 'n') + "...'", {1, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ErrorPtr error = parse_fail(c.text);
    EXPECT_EQ(error->message, c.message);
    EXPECT_EQ(error->locations, (std::vector<Location>{c.at}));
  }
}

TEST(ParserErrors, TypeSystemDefinitionsAreRejected) {
  for (const char* text : {"type Query { a: Int }", "schema { query: Query }", "scalar Date", "interface I { a: Int }",
                           "union U = A | B", "enum E { A }", "input I { a: Int }",
                           "directive @d on FIELD", "extend type Query { b: Int }", "{ a } type Query { a: Int }"}) {
    SCOPED_TRACE(text);
    const std::string message = fail_message(text);
    EXPECT_EQ(message.rfind("syntax error: expected a definition", 0), 0u) << message;
    EXPECT_NE(message.find("found the type-system keyword '"), std::string::npos) << message;
  }
  for (const char* text : {"\"A description\" type Query { a: Int }", "\"\"\"Doc\"\"\" query { a }"}) {
    SCOPED_TRACE(text);
    const std::string message = fail_message(text);
    EXPECT_NE(message.find("descriptions belong to type-system definitions"), std::string::npos) << message;
  }
}

TEST(ParserErrors, DefinitionRulesApplyOnlyToValidSyntax) {
  // A syntax error later in the text wins over a duplicate earlier on.
  EXPECT_EQ(fail_message("query A { a } query A { b } {"), "syntax error: unexpected end of input, expected a selection");
  ErrorPtr missing = parse_fail("fragment F on T { a }");
  EXPECT_EQ(missing->message, "document does not contain an operation");
  EXPECT_FALSE(missing->locations.has_value());
  ErrorPtr anonymous_last = parse_fail("query A { a }\n{ b }");
  EXPECT_EQ(anonymous_last->message, "document contains multiple operations");
  EXPECT_EQ(anonymous_last->locations, (std::vector<Location>{{2, 1}, {1, 1}}));
}

TEST(ParserErrors, TextLongerThanPositionsCanCountFailsCleanly) {
  const std::size_t size = std::size_t{std::numeric_limits<std::uint32_t>::max()} + 1;
  void* memory = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  ErrorPtr error = parse_fail(std::string_view(static_cast<const char*>(memory), size));
  EXPECT_EQ(error->message, "syntax error: expected a query text of at most 4294967295 bytes, found 4294967296 bytes");
  EXPECT_FALSE(error->locations.has_value());
  munmap(memory, size);
}

// ---------------------------------------------------------------------------

TEST(ParserDepth, SixtyFourLevelsParseAndTheNextFails) {
  struct Case {
    const char* what;
    std::string (*text)(int levels);
  };
  const Case cases[] = {
      {"selection sets", [](int n) { return nested("{ a ", n - 1, "{ b }", "}") + ""; }},
      {"list values", [](int n) { return "query($v: Int = " + nested("[", n, "1", "]") + ") { a }"; }},
      {"object values", [](int n) { return "query($v: Int = " + nested("{k: ", n, "1", "}") + ") { a }"; }},
      {"list types", [](int n) { return "query($v: " + nested("[", n, "Int", "]") + ") { a }"; }},
      {"mixed", [](int n) { return nested("{ a(x: ", 1, nested("[{k: ", (n - 1) / 2, "1", "}]"), ") }"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    parse_ok(c.text(64));
    ErrorPtr error = parse_fail(c.text(65));
    EXPECT_EQ(error->message, "recursion limit exceeded.");
    EXPECT_FALSE(error->locations.has_value());
  }
}

TEST(ParserDepth, HundredThousandLevelsFailFast) {
  std::string braces;
  for (int i = 0; i < 100000; ++i) braces += "{a";
  ErrorPtr error = parse_fail(braces);
  EXPECT_EQ(error->message, "recursion limit exceeded.");
  EXPECT_FALSE(error->locations.has_value());
  EXPECT_EQ(fail_message("{ a(b: " + std::string(100000, '[')), "recursion limit exceeded.");
  EXPECT_EQ(fail_message("query($a: " + std::string(100000, '[')), "recursion limit exceeded.");
}

// ---------------------------------------------------------------------------

// Hostile input must fail cleanly, never crash (run under the sanitizers too).
TEST(ParserRobustness, MutatedAndTruncatedInputNeverCrashes) {
  const std::string base = read_file(fs::path(QUENFEL_FIXTURES_DIR) / "parser-valid" / "kitchen-sink.graphql") +
                           "{ a(s: \"\\u{1F600}\\uD83D\\uDE00\", b: \"\"\"\n  x\\\"\"\"\n\"\"\", n: -1.5e3) }";
  for (std::size_t n = 0; n <= base.size(); ++n) {
    auto result = parse_document(std::string_view(base.data(), n));
    if (!result.ok()) {
      EXPECT_EQ(result.error().code(), ErrorCode::GRAPHQL_PARSE_FAILED);
    }
  }
  std::mt19937 random(12345);
  const char alphabet[] = "{}[]()\"\\$@.:=!#,-0e9aZ_\n\r\t \xC3\xA9\xFF\xEF\xBB\xBF";
  for (int round = 0; round < 3000; ++round) {
    std::string text = base;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % text.size();
      const char c = random() % 3 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % (sizeof alphabet - 1)];
      switch (random() % 3) {
        case 0: text[at] = c; break;
        case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
        default: text.erase(at, 1 + random() % 8); break;
      }
    }
    auto result = parse_document(text);
    if (!result.ok()) {
      EXPECT_EQ(result.error().code(), ErrorCode::GRAPHQL_PARSE_FAILED);
      EXPECT_FALSE(result.error().message.empty());
    }
  }
}

}  // namespace
}  // namespace quenfel
