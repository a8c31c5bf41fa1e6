#include "engine/parser.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include "engine/tests/fragment_queries.h"
#include "engine/tests/schema_builder.h"

namespace quenfel {
namespace {

namespace fs = std::filesystem;
using testing::nested;

const std::string kDefinition = "a definition ('query', 'mutation', 'subscription', 'fragment' or '{')";

std::string read_fixture(const fs::path& path) {
  std::ifstream in(fs::path(QUENFEL_FIXTURES_DIR) / path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "ok", or the error in brief (its code shows only when it is not GRAPHQL_PARSE_FAILED).
std::string outcome(std::string_view text) {
  Result<DocumentPtr> result = parse_document(text);
  return result ? "ok" : testing::describe(result.error(), ErrorCode::GRAPHQL_PARSE_FAILED);
}

std::string at(Pos pos) { return "@" + std::to_string(pos.line) + ":" + std::to_string(pos.column); }

// What `item` makes of each of `items`, after `open` for the first and `separator` for the others, then
// `close`; nothing when there are none.
template <class Items, class Item>
std::string each(const Items& items, Item item, const char* open = "", const char* separator = "",
                 const char* close = "") {
  std::string out;
  for (const auto& x : items) out += (out.empty() ? open : separator) + item(x);
  return out.empty() ? out : out + close;
}

std::string dump(const Value& value);
std::string named(const NamedValue& v) { return std::string(v.name) + ":" + dump(v.value); }
std::string dump(List<Argument> arguments) { return each(arguments, named, "(", ",", ")"); }

// Numbers as u (unsigned), s (signed) or d (double, shortest round-trip text).
std::string dump(const Value& value) {
  switch (value.kind) {
    case ValueKind::Variable: return "$" + std::string(value.text());
    case ValueKind::Null: return "null";
    case ValueKind::Boolean: return value.boolean ? "true" : "false";
    case ValueKind::String: return "\"" + std::string(value.text()) + "\"";
    default: return std::string(value.text());  // Enum; Binary has no literal
    case ValueKind::Number:
      if (value.number_kind == NumberKind::Unsigned) return "u" + std::to_string(value.unsigned_number);
      if (value.number_kind == NumberKind::Signed) return "s" + std::to_string(value.signed_number);
      return "d" + Json(value.double_number).dump();
    case ValueKind::List: return "[" + each(value.list(), [](const Value& v) { return dump(v); }, "", ",") + "]";
    case ValueKind::Object: return "{" + each(value.object(), named, "", ",") + "}";
  }
}

std::string dump(const TypeRef& type) {
  return (type.kind() == TypeRef::Kind::List ? "[" + dump(type.item()) + "]" : std::string(type.name())) +
         (type.nullable() ? "" : "!");
}

std::string dump(List<Directive> directives) {
  return each(directives, [](const Directive& d) {
    return " @" + std::string(d.name()) + at(d.pos()) + dump(d.arguments());
  });
}

// The tree with the positions of definitions, variables, directives, selections and selection sets.
std::string dump(const SelectionSet& set);
std::string dump(const Selection& s) {
  const std::string name(s.name()), pos = at(s.pos());
  std::string head = "..." + name + pos;  // a fragment spread
  if (s.kind() == SelectionKind::Field) head = (s.has_alias() ? std::string(s.alias()) + ":" : "") + name + pos;
  if (s.kind() == SelectionKind::InlineFragment) {
    head = "..." + pos + (s.has_type_condition() ? " on" + at(s.type_condition_pos()) + " " + name : "");
  }
  return " " + head + dump(s.arguments()) + dump(s.directives()) + dump(s.selection_set());
}

std::string dump(const SelectionSet& set) {
  if (set.empty()) return at(set.pos) == "@0:0" ? "" : "?";
  return " {" + at(set.pos) + each(set.items, [](const Selection& s) { return dump(s); }) + " }";
}

std::string dump(const Document& document) {
  auto variable = [](const VariableDefinition& v) {
    return " $" + std::string(v.name) + at(v.pos) + ":" + dump(*v.type) +
           (v.default_value ? "=" + dump(*v.default_value) : "") + dump(v.directives);
  };
  return each(document.operations(), [&](const OperationDefinition& op) {
           return std::string(operation_type_name(op.type)) + (op.is_anonymous() ? "" : " " + std::string(op.name)) +
                  at(op.pos) + each(op.variables, variable) + dump(op.directives) + dump(op.selection_set) + "\n";
         }) +
         each(document.fragments(), [](const FragmentDefinition& f) {
           return "fragment " + std::string(f.name) + at(f.pos) + " on" + at(f.type_condition_pos) + " " +
                  std::string(f.type_condition) + dump(f.directives) + dump(f.selection_set) + "\n";
         });
}

// Parsed from a copy that is overwritten before the dump: the document must keep its own text.
std::string dump(std::string_view text) {
  std::string copy(text);
  Result<DocumentPtr> result = parse_document(copy);
  std::fill(copy.begin(), copy.end(), 'x');
  return result ? dump(**result) : "error: " + result.error().message;
}

// The literal as the parser reads it in an argument.
std::string value_of(const std::string& literal) {
  Result<DocumentPtr> result = parse_document("{ f(a: " + literal + ") }");
  return result ? dump((*result)->operations().front().selection_set.items.front().arguments().front().value)
                : outcome("{ f(a: " + literal + ") }");
}

TEST(ParserTest, Fixtures) {
  for (const auto& [folder, valid] : {std::pair{"parser-valid", true}, std::pair{"parser-invalid", false}}) {
    for (const auto& entry : fs::directory_iterator(fs::path(QUENFEL_FIXTURES_DIR) / folder)) {
      EXPECT_EQ(outcome(read_fixture(entry.path())) == "ok", valid) << entry.path().filename();
    }
  }
  const std::pair<std::string, std::string> invalid[] = {
      {"directive-without-name.graphql", "syntax error: expected a directive name, found '}' @4:3"},
      {"missing-argument-value.graphql", "syntax error: expected a value, found ')' @2:39"},
      {"operation-defined-twice.graphql", "operation Viewer is defined twice @1:1 @7:1"},
      {"schema-definition.graphql", "syntax error: expected " + kDefinition + ", found the type-system keyword 'type' "
                                    "(a query document cannot define or extend a schema) @1:1"},
  };
  for (const auto& [name, error] : invalid) EXPECT_EQ(outcome(read_fixture("parser-invalid/" + name)), error) << name;
}

TEST(ParserTest, Shape) {
  EXPECT_EQ(dump("query Q($id: ID! = \"x\", $list: [[Int!]]! @dir(a: 1)) @op(v: $id) {\n"
                 "  alias: field(a: 1, b: $id) @include(if: true) {\n    ...Frag @skip(if: false)\n"
                 "    ... on User { name }\n    ... @defer { id }\n  }\n}\n\nfragment Frag on User @fd {\n  id\n}\n"),
            "query Q@1:1 $id@1:9:ID!=\"x\" $list@1:25:[[Int!]]! @dir@1:42(a:u1) @op@1:54(v:$id) {@1:66 "
            "alias:field@2:3(a:u1,b:$id) @include@2:30(if:true) {@2:49 ...Frag@3:5 @skip@3:13(if:false) "
            "...@4:5 on@4:9 User {@4:17 name@4:19 } ...@5:5 @defer@5:9 {@5:16 id@5:18 } } }\n"
            "fragment Frag@9:1 on@9:15 User @fd@9:23 {@9:27 id@10:3 }\n");
  // Keywords are ordinary names elsewhere.
  EXPECT_EQ(dump("query query($on: on = on) { fragment: query(true: false, null: null) on ...query type { "
                 "__typename } }fragment query on on { on }"),
      "query query@1:1 $on@1:13:on=on {@1:27 fragment:query@1:29(true:false,null:null) on@1:70 ...query@1:73 "
      "type@1:82 {@1:87 __typename@1:89 } }\nfragment query@1:103 on@1:118 on {@1:124 on@1:126 }\n");
}

// A selection keeps only the parts it has, packed after its head: every mix of them reads back whole, in place.
TEST(ParserTest, EveryMixOfSelectionPartsReadsBack) {
  for (int mask = 0; mask < 32; ++mask) {
    const bool alias = mask & 1, arguments = mask & 2, directives = mask & 4, set = mask & 8, inline_fragment = mask & 16;
    std::string text = inline_fragment ? std::string("... ") + (alias ? "on T " : "") : alias ? "k: f" : "f";
    std::string expected = inline_fragment ? std::string("...@1:3") + (alias ? " on@1:7 T" : "") : alias ? "k:f@1:3" : "f@1:3";
    if (arguments && !inline_fragment) {
      text += "(x: 1)";
      expected += "(x:u1)";
    }
    if (directives) {
      expected += " @d@1:" + std::to_string(text.size() + 3) + "(y:true) @e@1:" + std::to_string(text.size() + 15);
      text += "@d(y: true) @e";
    }
    if (set || inline_fragment) {
      expected += " {@1:" + std::to_string(text.size() + 3) + " g@1:" + std::to_string(text.size() + 5) + " }";
      text += "{ g }";
    }
    EXPECT_EQ(dump("{ " + text + " }"), "query@1:1 {@1:1 " + expected + " }\n") << text;
  }
}

// Siblings are linked as they come: any number of them keeps its order, and a document that can only fail gives its
// later definitions back yet still reports the first conflict, or a later syntax error.
TEST(ParserTest, LongListsKeepTheirOrderAndCount) {
  constexpr std::size_t kCount = 200'000;
  std::string fields = "{", arguments, items;
  for (std::size_t i = 0; i < kCount; ++i) {
    fields += " a" + std::to_string(i);
    arguments += " a" + std::to_string(i) + ": " + std::to_string(i);
    items += " " + std::to_string(i);
  }
  // Over a megabyte, an unbalanced text is read for its syntax alone: same errors.
  ASSERT_GT(fields.size(), std::size_t{1} << 20);
  EXPECT_EQ(outcome(fields),
            "syntax error: unexpected end of input, expected '}' @1:" + std::to_string(fields.size() + 1));
  EXPECT_EQ(outcome(fields + " b(c: \"}\" d: \"\"\"]\"\"\") # )\n }"), "ok");
  EXPECT_EQ(outcome(fields + " b(c: [{d: 1}]) e(f: [1 }"), "syntax error: expected a value or ']', found '}' @1:" +
                                                               std::to_string(fields.size() + 25));
  DocumentPtr document = *parse_document("{ f(" + arguments + ") " + fields + " } g(x: [" + items + "]) }");
  const Selection& f = document->operations().front().selection_set.items.front();
  auto in_order = [&](const auto& list, auto number_of) {
    std::size_t i = 0;
    for (const auto& node : list) {
      if (number_of(node) != i++) return false;
    }
    return i == kCount && list.size() == kCount;
  };
  EXPECT_TRUE(in_order(f.selection_set().items,
                       [](const Selection& s) { return std::strtoul(s.name().data() + 1, nullptr, 10); }));
  EXPECT_TRUE(in_order(f.arguments(), [](const Argument& a) { return a.value.unsigned_number; }));
  EXPECT_TRUE(in_order(f.next->arguments().front().value.list(), [](const Value& v) { return v.unsigned_number; }));

  std::string operations;
  for (std::size_t k = 0; k < kCount; ++k) operations += "{a}";
  EXPECT_EQ(outcome(operations), "document contains multiple operations @1:1 @1:4");
  EXPECT_EQ(outcome("fragment F on T { a } fragment F on T { b } " + operations),
            "fragment F is defined twice @1:1 @1:23");
  EXPECT_EQ(outcome(operations + " fragment F on T { a } fragment F on T { b }"),
            "document contains multiple operations @1:1 @1:4");
  EXPECT_EQ(outcome(operations + "{"), "syntax error: unexpected end of input, expected a selection @1:" +
                                           std::to_string(operations.size() + 2));
}

TEST(ParserTest, Literals) {
  const std::string range = "syntax error: expected a number within the range of a double, found number '";
  const std::string unterminated = "syntax error: unterminated string, expected '\"' before the end of ";
  const std::pair<std::string, std::string> cases[] = {
      {"[1, \"two\", [THREE], {four: 4, four: null, five: {}}, []]",
       "[u1,\"two\",[THREE],{four:u4,four:null,five:{}},[]]"},
      // Integers keep their form while they fit 64 bits; "-0" is plain zero.
      {"0", "u0"}, {"-0", "u0"}, {"-1", "s-1"},
      {"18446744073709551615", "u18446744073709551615"}, {"-9223372036854775808", "s-9223372036854775808"},
      {"18446744073709551616", "d1.8446744073709552e+19"}, {"-9223372036854775809", "d-9.223372036854776e+18"},
      {"-0.0", "d-0.0"}, {"25E-2", "d0.25"}, {"1.7976931348623157e308", "d1.7976931348623157e+308"},
      {"4e-320", "d4e-320"},  // subnormal
      {"1e-400", "d0.0"}, {"-1e-400", "d-0.0"}, {"0.000001e-999999999999999999999", "d0.0"},  // underflow
      {"1e400", range + "1e400' @1:8"},
      {"1" + std::string(400, '0'), range + "1000000000000000000000000000000000000000...' @1:8"},
      {"0.1e999999999999999999999", range + "0.1e999999999999999999999' @1:8"},
      {"1e9999999999999999999", range + "1e9999999999999999999' @1:8"},  // past 2^63: the exponent saturates
      {"01", "syntax error: expected no digit after a leading zero, found character '1' @1:8 @1:9"},
      {"1.", "syntax error: expected a digit after the decimal point, found character ')' @1:8 @1:10"},
      {".5", "syntax error: expected a digit before the decimal point, found character '.' @1:8"},
      {"1e+", "syntax error: expected a digit in the exponent, found character ')' @1:8 @1:11"},
      {"- 1", "syntax error: expected a digit after '-', found character ' ' @1:8 @1:9"},
      {"0x1F", "syntax error: expected a separator after the number '0', found character 'x' @1:8 @1:9"},
      {"1.5.3", "syntax error: expected a separator after the number '1.5', found character '.' @1:8 @1:11"},
      {R"("a\"b\\c\/d\be\ff\ng\rh\ti")", "\"a\"b\\c/d\be\ff\ng\rh\ti\""},
      {R"("\u0041\u00e9\u20AC\u{41}\u{1F600}\u{0000000041}\u{10FFFF}\uD83D\uDE00!")",
       "\"A\xC3\xA9\xE2\x82\xAC" "A\xF0\x9F\x98\x80" "A\xF4\x8F\xBF\xBF\xF0\x9F\x98\x80!\""},
      {R"("\u0000")", std::string("\"\0\"", 3)},
      {"\"h\xC3\xA9llo \xF0\x9F\x98\x80 tab\there #not a comment\"",
       "\"h\xC3\xA9llo \xF0\x9F\x98\x80 tab\there #not a comment\""},
      // Block strings: common indentation (of every line but the first) and
      // blank lines at either end go, line ends become "\n", nothing else is decoded.
      {"\"\"\"\"\"\"", "\"\""}, {"\"\"\"  \n\t \n \"\"\"", "\"\""},
      {"\"\"\"\n      deeper\n    common\n \n\n    c\n    \"\"\"", "\"  deeper\ncommon\n\n\nc\""},
      {"\"\"\"first\n    second\n      third\"\"\"", "\"first\nsecond\n  third\""},
      {"\"\"\"\r\n  one\r  two\r\n\"\"\"", "\"one\ntwo\""},
      {"\"\"\"\n\t\ttabbed\n\t\t\tmore\n\"\"\"", "\"tabbed\n\tmore\""},
      {"\"\"\"\n  quote \\\"\"\" inside\n\"\"\"", "\"quote \"\"\" inside\""},
      {"\"\"\"no \\n escapes \\u0041, a \" and \"\" inside\"\"\"", "\"no \\n escapes \\u0041, a \" and \"\" inside\""},
      {"\"abc", unterminated + "input @1:8 @1:15"},
      {"\"ab\\", unterminated + "input @1:8 @1:15"},
      {"\"ab\\\"\n\"", unterminated + "the line @1:8 @1:13"},
      {"\"ab\r\"", unterminated + "the line @1:8 @1:11"},
      {"\"\"\"abc\n  \\\"\"\" \"\" ) }",
       "syntax error: unterminated block string, expected '\"\"\"' before the end of input @1:8 @2:17"},
  };
  for (const auto& [literal, expected] : cases) EXPECT_EQ(value_of(literal), expected) << literal;
}

TEST(ParserTest, BadEscapesPointAtTheBackslash) {
  const char* kUnicode = "syntax error: invalid unicode escape, expected ";
  const std::pair<const char*, std::string> cases[] = {
      {R"(\q)",
       "syntax error: invalid escape sequence, expected one of \\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u, found '\\q'"},
      {R"(\u12G4)", std::string(kUnicode) + "four hexadecimal digits after '\\u', found character 'G'"},
      {R"(\u{})", std::string(kUnicode) + "hexadecimal digits and '}' after '\\u{', found character '}'"},
      {R"(\u{41)", std::string(kUnicode) + "hexadecimal digits and '}' after '\\u{', found character '\"'"},
      {R"(\u{110000})", std::string(kUnicode) + "a Unicode scalar value, found '\\u{110000}'"},
      {R"(\u{FFFFFFFFFFFF})", std::string(kUnicode) + "a Unicode scalar value, found '\\u{FFFFFFFFFFFF}'"},
      {R"(\u{D800})", std::string(kUnicode) + "a Unicode scalar value, found '\\u{D800}'"},
      {R"(\uD83D)", std::string(kUnicode) + "a surrogate pair, found the lone surrogate '\\uD83D'"},
      {R"(\uD83D\u0041)", std::string(kUnicode) + "a surrogate pair, found the lone surrogate '\\uD83D'"},
      {R"(\uDE00)", std::string(kUnicode) + "a surrogate pair, found the lone surrogate '\\uDE00'"},
  };
  for (const auto& [escape, message] : cases) {
    EXPECT_EQ(outcome(std::string("{ f(a: \"x\", b: \"") + escape + "\") }"), message + " @1:17") << escape;
  }
}

TEST(ParserTest, ColumnsCountCodePointsAndLinesEveryTerminator) {
  // "é" is 2 bytes, the emoji 4: each is one column.
  EXPECT_EQ(dump("{ f(a: \"\xC3\xA9\xF0\x9F\x98\x80\") g }"),
            "query@1:1 {@1:1 f@1:3(a:\"\xC3\xA9\xF0\x9F\x98\x80\") g@1:14 }\n");
  EXPECT_EQ(dump("{ # \xF0\x9F\x98\x80\xF0\x9F\x98\x80\n  a # \xC3\xA9\n b }"), "query@1:1 {@1:1 a@2:3 b@3:2 }\n");
  EXPECT_EQ(dump("{\r\n a\r b\n c\r\n\r\n\td }"), "query@1:1 {@1:1 a@2:2 b@3:2 c@4:2 d@6:2 }\n");
  EXPECT_EQ(dump("{ f(a: \"\"\"x\r\n\xC3\xA9\xC3\xA9\r\"\"\") g }"),
            "query@1:1 {@1:1 f@1:3(a:\"x\n\xC3\xA9\xC3\xA9\") g@3:6 }\n");
  EXPECT_EQ(dump("\xEF\xBB\xBF{ a \xEF\xBB\xBF b }"), "query@1:2 {@1:2 a@1:4 b@1:8 }\n");
  // Error positions are computed apart from node positions; both must agree.
  EXPECT_EQ(outcome("{ f(a: \"\xC3\xA9\xF0\x9F\x98\x80\") % }"),
            "syntax error: expected a selection or '}', found character '%' @1:14");
  EXPECT_EQ(outcome("\xEF\xBB\xBF{\r\n # \xC3\xA9\r\n\r %}"),
            "syntax error: expected a selection, found character '%' @4:2");
  for (const char* text : {"{a}#", "{a}#\r", "{\ta\t}"}) EXPECT_EQ(outcome(text), "ok");
}

TEST(ParserTest, SyntaxErrorsSayWhatWasExpectedAndFound) {
  const std::string expected = "syntax error: expected ";
  const std::string variable = expected + "a constant value, found a variable (variables are not allowed here)";
  const std::string in_string = expected + "UTF-8 text in a string, found invalid UTF-8 byte ";
  const std::pair<std::string, std::string> cases[] = {
      {"{ a\xC3\xA9 }", "syntax error: expected a selection or '}', found non-ASCII character U+00E9 @1:4"},
      {"{ \xFF }", "syntax error: expected a selection, found invalid UTF-8 byte 0xFF @1:3"},
      {"{ a(b: \"\xC0\x80\") }", in_string + "0xC0 @1:9"},
      {"{ a(b: \"\xED\xA0\x80\") }", in_string + "0xED @1:9"},
      {"{ a(b: \"\xF4\x90\x80\x80\") }", in_string + "0xF4 @1:9"},
      {"{ a(b: \"\xE2\x82", in_string + "0xE2 @1:9"},
      {"{ a(b: \"\"\"\xE2\x82\x28\"\"\") }",
       "syntax error: expected UTF-8 text in a block string, found invalid UTF-8 byte 0xE2 @1:11"},
      {"{ a } # \x80", "syntax error: expected UTF-8 text in a comment, found invalid UTF-8 byte 0x80 @1:9"},
      {"\xEF\xBB{ a }", "syntax error: expected " + kDefinition + ", found invalid UTF-8 byte 0xEF @1:1"},
      {std::string("{ a \0 }", 7), "syntax error: expected a selection or '}', found control character U+0000 @1:5"},
      {"{ }", expected + "a selection, found '}' @1:3"},
      {"{ a() }", expected + "an argument name, found ')' @1:5"},
      {"{ a(b: 1 }", expected + "an argument name or ')', found '}' @1:10"},
      {"{ a(b 1) }", expected + "':', found number '1' @1:7"},
      {"{ a: }", expected + "a field name, found '}' @1:6"},
      {"{ a(b: {1: 1}) }", expected + "a field name or '}', found number '1' @1:9"},
      {"{ ... }", expected + "a fragment name, 'on', '@' or '{', found '}' @1:7"},
      {"{ ... on { a } }", expected + "a type name, found '{' @1:10"},
      {"{ ... @d }", expected + "'@' or '{', found '}' @1:10"},
      {"{ .. }", expected + "'...', found '..' @1:3"},
      {"query Q Q { a }", expected + "'(', '@' or '{', found name 'Q' @1:9"},
      {"query [", expected + "an operation name, '(', '@' or '{', found '[' @1:7"},
      {"query Q() { a }", expected + "a variable definition, found ')' @1:9"},
      {"query Q($a) { a }", expected + "':', found ')' @1:11"},
      {"query Q($a: ) { a }", expected + "a type, found ')' @1:13"},
      {"query Q($a: [Int) { a }", expected + "']', found ')' @1:17"},
      {"query Q($a: Int $b: Int { a }", expected + "a variable definition or ')', found '{' @1:25"},
      {"query Q($a: Int = 1 @d = 2) { a }", expected + "a variable definition or ')', found '=' @1:24"},
      {"query Q($a: Int = $b) { a }", variable + " @1:19"},
      {"query Q($a: Int @d(x: [$b])) { a }", variable + " @1:24"},
      {"query Q($a: Int) @d", "syntax error: unexpected end of input, expected '@' or '{' @1:20"},
      {"fragment on on T { a }", expected + "a fragment name, found 'on' (which cannot name a fragment) @1:10"},
      {"fragment F($a: Int) on T { a }", expected + "'on', found '(' @1:11"},
      {"fragment F on { a }", expected + "a type name, found '{' @1:15"},
      {"fragment F on T", "syntax error: unexpected end of input, expected '@' or '{' @1:16"},
      {"Query { a }", expected + kDefinition + ", found name 'Query' @1:1"},
      {"{ a(b: \"x\" \"y\") }", expected + "an argument name or ')', found a string @1:12"},
      {"{ a(b: $) }", expected + "a variable name, found ')' @1:9"},
      {"\"\"\"Doc\"\"\" query { a }",
       expected + kDefinition + ", found a block string (descriptions belong to type-system definitions, which a query "
                                "document cannot hold) @1:1"},
      // Definition rules apply to valid syntax only, the first conflict in source order.
      {"query A { a } query A { b } {", "syntax error: unexpected end of input, expected a selection @1:30"},
      {"fragment F on T { a }", "document does not contain an operation"},
      {"query A { a }\n{ b }", "document contains multiple operations @2:1 @1:1"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(outcome(text), message) << text;
  for (const char* text :
       {"schema { query: Query }", "scalar Date", "interface I { a: Int }", "union U = A | B", "enum E { A }",
        "input I { a: Int }", "directive @d on FIELD", "extend type Query { b: Int }", "{ a } type Query { a: Int }"}) {
    EXPECT_NE(outcome(text).find(", found the type-system keyword '"), std::string::npos) << text;
  }
}

TEST(ParserTest, TextLongerThanPositionsCanCountFailsCleanly) {
  const std::size_t size = std::size_t{std::numeric_limits<std::uint32_t>::max()} + 1;
  void* memory = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  EXPECT_EQ(outcome(std::string_view(static_cast<const char*>(memory), size)),
            "syntax error: expected a query text of at most 4294967295 bytes, found 4294967296 bytes");
  munmap(memory, size);
}

TEST(ParserTest, SixtyFourLevelsParseAndTheNextFails) {
  std::string (*const cases[])(int) = {
      [](int n) { return nested("{ a ", n - 1, "{ b }", "}"); },
      [](int n) { return "query($v: Int = " + nested("[", n, "1", "]") + ") { a }"; },
      [](int n) { return "query($v: Int = " + nested("{k: ", n, "1", "}") + ") { a }"; },
      [](int n) { return "query($v: " + nested("[", n, "Int", "]") + ") { a }"; },
      [](int n) { return nested("{ a(x: ", 1, nested("[{k: ", (n - 1) / 2, "1", "}]"), ") }"); },
  };
  for (auto text : cases) {
    EXPECT_EQ(outcome(text(64)), "ok");
    EXPECT_EQ(outcome(text(65)), "recursion limit exceeded.");
  }
  std::string braces;
  for (int i = 0; i < 100000; ++i) braces += "{a";
  for (const std::string& text :
       {braces, "{ a(b: " + std::string(100000, '['), "query($a: " + std::string(100000, '[')}) {
    EXPECT_EQ(outcome(text), "recursion limit exceeded.");
  }
}

// The arena holds an indented query in little more than the text's size a few
// times over, and a dense one with little left unused.
TEST(ParserTest, FootprintStaysNearWhatTheNodesNeed) {
  std::string indented = "query Dashboard($first: Int = 10) {\n";
  for (int i = 0; i < 400; ++i) {
    indented += "  r" + std::to_string(i) +
                ": repository(owner: \"o\", name: \"p\") {\n    ...RepoFields\n"
                "    issues(first: $first, states: [OPEN], orderBy: {field: CREATED_AT, direction: DESC}) {\n"
                "      nodes {\n        id\n        author { login avatarUrl(size: 40) }\n      }\n    }\n  }\n";
  }
  indented += "}\nfragment RepoFields on Repository {\n  id\n}\n";
  EXPECT_LE((*parse_document(indented))->heap_bytes(), 8 * indented.size());
  for (int fields : {100, 100'000}) {
    std::string dense = "{";
    for (int i = 0; i < fields; ++i) dense += "a,";
    const std::size_t needed = dense.size() + 1 + fields * sizeof(Selection) + sizeof(Document);
    const std::size_t held = (*parse_document(dense + "}"))->heap_bytes();
    EXPECT_TRUE(held >= needed && held <= needed + needed / 4 + 1024) << fields << " fields: " << held;
  }
}

// Hostile input must fail cleanly, never crash (run under the sanitizers too).
TEST(ParserTest, MutatedAndTruncatedInputNeverCrashes) {
  const std::string base = read_fixture("parser-valid/kitchen-sink.graphql") +
                           "{ a(s: \"\\u{1F600}\\uD83D\\uDE00\", b: \"\"\"\n  x\\\"\"\"\n\"\"\", n: -1.5e3) }";
  for (std::size_t n = 0; n <= base.size(); ++n) outcome(std::string_view(base.data(), n));
  std::mt19937 random(12345);
  const char alphabet[] = "{}[]()\"\\$@.:=!#,-0e9aZ_\n\r\t \xC3\xA9\xFF\xEF\xBB\xBF";
  for (int round = 0; round < 3000; ++round) {
    std::string text = base;
    for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
      const std::size_t at = random() % text.size();
      const char c = random() % 3 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % (sizeof alphabet - 1)];
      switch (random() % 3) {
        case 0: text[at] = c; break;
        case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
        default: text.erase(at, 1 + random() % 8); break;
      }
    }
    EXPECT_FALSE(outcome(text).empty());
  }
}

}  // namespace
}  // namespace quenfel
