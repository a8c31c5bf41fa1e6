// The parser's lexer: one token of lookahead over the document's own copy of
// the query text. Internal to the parser; header-only so that advance()
// inlines into the parser's loops.
//
// Names and escape-free strings are views into the text; decoded strings go
// into the document's arena. Line and column come from the current line's
// start offset, corrected by the UTF-8 continuation bytes seen on that line:
// only strings, comments and the BOM can hold them, so the ASCII path pays
// nothing. Error positions are recounted from the start of the text instead,
// which is rare and always right.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/arena.h"
#include "engine/document.h"
#include "engine/error.h"

namespace quenfel::lexing {

enum CharClass : std::uint8_t {
  kNameStart = 1 << 0,
  kNameChar = 1 << 1,
  kDigit = 1 << 2,
  kStringPlain = 1 << 3,  // an ASCII byte that a string or block string copies as it is
  kSkip = 1 << 4,         // space, tab, comma: ignored without further thought
};

constexpr std::array<std::uint8_t, 256> kClass = [] {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 128; ++c) {
    if (c != '"' && c != '\\' && c != '\n' && c != '\r') t[c] |= kStringPlain;
  }
  for (int c = 'a'; c <= 'z'; ++c) t[c] |= kNameStart | kNameChar;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kNameStart | kNameChar;
  t['_'] |= kNameStart | kNameChar;
  for (int c = '0'; c <= '9'; ++c) t[c] |= kDigit | kNameChar;
  t[' '] |= kSkip;
  t['\t'] |= kSkip;
  t[','] |= kSkip;
  return t;
}();

inline unsigned char byte_at(const char* p) { return static_cast<unsigned char>(*p); }
inline bool has_class(const char* p, std::uint8_t cls) { return (kClass[byte_at(p)] & cls) != 0; }

enum class Tok : std::uint8_t {
  End,
  Error,    // the lexer has already recorded an error
  Invalid,  // a character that starts no token
  Bang,
  Dollar,
  Amp,
  LParen,
  RParen,
  Spread,
  Colon,
  Equals,
  At,
  LBracket,
  RBracket,
  LBrace,
  Pipe,
  RBrace,
  Name,
  Int,
  Float,
  String,
  BlockString,
};

constexpr std::array<Tok, 128> kPunctuator = [] {
  std::array<Tok, 128> t{};
  for (Tok& tok : t) tok = Tok::Invalid;
  t['!'] = Tok::Bang;
  t['$'] = Tok::Dollar;
  t['&'] = Tok::Amp;
  t['('] = Tok::LParen;
  t[')'] = Tok::RParen;
  t[':'] = Tok::Colon;
  t['='] = Tok::Equals;
  t['@'] = Tok::At;
  t['['] = Tok::LBracket;
  t[']'] = Tok::RBracket;
  t['{'] = Tok::LBrace;
  t['|'] = Tok::Pipe;
  t['}'] = Tok::RBrace;
  return t;
}();

struct Token {
  Tok kind = Tok::End;
  Pos pos;
  const char* start = nullptr;
  const char* end = nullptr;
  std::string_view value;  // String and BlockString: the decoded value

  std::string_view text() const { return {start, static_cast<std::size_t>(end - start)}; }
};

// Length of the well-formed UTF-8 sequence at p, whose first byte is not ASCII,
// and its code point; 0 when the bytes are malformed (overlong forms, surrogates,
// values above U+10FFFF and truncated sequences included).
inline int utf8_sequence(const char* p, const char* end, char32_t* code_point) {
  const unsigned char b0 = byte_at(p);
  const std::ptrdiff_t avail = end - p;
  auto cont = [&](int i) { return i < avail && (byte_at(p + i) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (!cont(1)) return 0;
    *code_point = (char32_t(b0 & 0x1F) << 6) | (byte_at(p + 1) & 0x3F);
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    const unsigned char b1 = byte_at(p + 1);
    if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F)) return 0;
    *code_point = (char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | (byte_at(p + 2) & 0x3F);
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    const unsigned char b1 = byte_at(p + 1);
    if ((b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 > 0x8F)) return 0;
    *code_point = (char32_t(b0 & 0x07) << 18) | (char32_t(b1 & 0x3F) << 12) |
                  (char32_t(byte_at(p + 2) & 0x3F) << 6) | (byte_at(p + 3) & 0x3F);
    return 4;
  }
  return 0;
}

inline char* put_utf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline std::string code_point_name(char32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
  return buf;
}

// Quotes a piece of query text for a message, shortened when long.
inline std::string quoted(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::size_t cut = text.size();
  if (cut > kMax) {
    cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  }
  std::string out;
  out.reserve(cut + 5);
  out.push_back('\'');
  out.append(text.substr(0, cut));
  if (cut < text.size()) out.append("...");
  out.push_back('\'');
  return out;
}

class Lexer {
 public:
  Lexer(std::string_view text, Arena& arena)
      : arena_(arena), begin_(text.data()), end_(text.data() + text.size()), p_(begin_), line_start_(begin_) {}

  const Token& token() const { return token_; }
  // Moves to the next token; a lexical error leaves the token at Tok::Error for good.
  void advance();

  // Each records the error unless one is already recorded, and returns false.
  bool fail(std::string message, const char* at, const char* second = nullptr);
  // "expected X, found <the current token>" at the current token.
  bool fail_expected(const char* expected);
  bool fail_without_location(std::string message);
  ErrorPtr take_error() { return std::move(error_); }

  std::string describe(const Token& token) const;

 private:
  bool skip_comment(const char*& p);
  void lex_number(const char* p);
  void lex_string(const char* p);
  void lex_block_string(const char* p);
  bool decode_escapes(const char* from, const char* to, bool has_escape);
  std::string_view block_string_value(const char* from, const char* to);
  bool lex_unicode_escape(const char*& p, char32_t* cp);
  void lex_fail(std::string message, const char* at, const char* second = nullptr) {
    fail(std::move(message), at, second);
    token_.kind = Tok::Error;
  }
  void new_line(const char* p) {
    ++line_;
    line_start_ = p;
    continuation_bytes_ = 0;
  }
  Pos pos_here(const char* p) const {
    return {line_, static_cast<std::uint32_t>(p - line_start_) + 1 - continuation_bytes_};
  }
  Pos pos_of(const char* at) const;
  std::string describe_char(const char* p) const;

  Arena& arena_;
  const char* const begin_;
  const char* const end_;
  const char* p_;  // where the next token's search starts
  const char* line_start_;
  std::uint32_t line_ = 1;
  std::uint32_t continuation_bytes_ = 0;  // UTF-8 continuation bytes in [line_start_, p_)
  Token token_;
  ErrorPtr error_;
};

// Token :: Punctuator | Name | IntValue | FloatValue | StringValue, after any Ignored
inline void Lexer::advance() {
  if (token_.kind == Tok::Error) return;
  const char* p = p_;
  for (;;) {
    if (p == end_) break;
    if (has_class(p, kSkip)) {
      ++p;
      continue;
    }
    const unsigned char c = byte_at(p);
    if (c == '\n') {
      new_line(++p);
    } else if (c == '\r') {
      ++p;
      if (p != end_ && *p == '\n') ++p;
      new_line(p);
    } else if (c == '#') {
      if (!skip_comment(p)) return;
    } else if (c == 0xEF && end_ - p >= 3 && byte_at(p + 1) == 0xBB && byte_at(p + 2) == 0xBF) {
      p += 3;  // byte order mark
      continuation_bytes_ += 2;
    } else {
      break;
    }
  }

  token_.start = p;
  token_.pos = pos_here(p);
  if (p == end_) {
    token_.kind = Tok::End;
    token_.end = p_ = p;
    return;
  }
  const unsigned char c = byte_at(p);
  if (has_class(p, kNameStart)) {
    const char* q = p + 1;
    while (q != end_ && has_class(q, kNameChar)) ++q;
    token_.kind = Tok::Name;
    token_.end = p_ = q;
  } else if (c < 128 && kPunctuator[c] != Tok::Invalid) {
    token_.kind = kPunctuator[c];
    token_.end = p_ = p + 1;
  } else if (has_class(p, kDigit) || c == '-') {
    lex_number(p);
  } else if (c == '"') {
    if (end_ - p >= 3 && p[1] == '"' && p[2] == '"') {
      lex_block_string(p);
    } else {
      lex_string(p);
    }
  } else if (c == '.') {
    if (end_ - p >= 3 && p[1] == '.' && p[2] == '.') {
      token_.kind = Tok::Spread;
      token_.end = p_ = p + 3;
    } else if (end_ - p >= 2 && has_class(p + 1, kDigit)) {
      lex_fail("syntax error: expected a digit before the decimal point, found " + describe_char(p), p);
    } else {
      lex_fail("syntax error: expected '...', found " + quoted(std::string_view(p, p + 1 < end_ && p[1] == '.' ? 2 : 1)), p);
    }
  } else {
    token_.kind = Tok::Invalid;
    token_.end = p_ = p + 1;
  }
}

// Comment :: # CommentChar*
inline bool Lexer::skip_comment(const char*& p) {
  ++p;  // '#'
  for (;;) {
    while (p != end_ && byte_at(p) < 0x80) {
      if (*p == '\n' || *p == '\r') return true;
      ++p;
    }
    if (p == end_) return true;
    char32_t cp;
    const int n = utf8_sequence(p, end_, &cp);
    if (n == 0) {
      lex_fail("syntax error: expected UTF-8 text in a comment, found " + describe_char(p), p);
      return false;
    }
    p += n;
    continuation_bytes_ += n - 1;
  }
}

// IntValue :: IntegerPart
// FloatValue :: IntegerPart FractionalPart? ExponentPart?, with a fraction or an exponent
inline void Lexer::lex_number(const char* p) {
  const char* const start = p;
  auto digits = [&] {
    while (p != end_ && has_class(p, kDigit)) ++p;
  };
  auto bad = [&](const char* expected) {
    lex_fail(std::string("syntax error: expected ") + expected + ", found " + describe_char(p), start, p);
  };
  bool is_float = false;
  if (*p == '-') {
    ++p;
    if (p == end_ || !has_class(p, kDigit)) return bad("a digit after '-'");
  }
  if (*p == '0') {
    ++p;
    if (p != end_ && has_class(p, kDigit)) return bad("no digit after a leading zero");
  } else {
    digits();
  }
  if (p != end_ && *p == '.') {
    ++p;
    if (p == end_ || !has_class(p, kDigit)) return bad("a digit after the decimal point");
    digits();
    is_float = true;
  }
  if (p != end_ && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end_ && (*p == '+' || *p == '-')) ++p;
    if (p == end_ || !has_class(p, kDigit)) return bad("a digit in the exponent");
    digits();
    is_float = true;
  }
  if (p != end_ && (has_class(p, kNameChar) || *p == '.')) {
    return bad(("a separator after the number " + quoted(std::string_view(start, p - start))).c_str());
  }
  token_.kind = is_float ? Tok::Float : Tok::Int;
  token_.end = p_ = p;
}

// StringValue :: " StringCharacter* "
inline void Lexer::lex_string(const char* p) {
  const char* const start = p;
  const char* const content = ++p;
  bool has_escape = false;
  for (;;) {
    while (p != end_ && has_class(p, kStringPlain)) ++p;
    if (p == end_ || *p == '\n' || *p == '\r') {
      return lex_fail(std::string("syntax error: unterminated string, expected '\"' before the end of ") +
                          (p == end_ ? "input" : "the line"),
                      start, p);
    }
    const unsigned char c = byte_at(p);
    if (c == '"') break;
    if (c == '\\') {
      has_escape = true;
      // Skip the escaped character only when it could end the scan too early.
      p += (p + 1 != end_ && (p[1] == '"' || p[1] == '\\')) ? 2 : 1;
      continue;
    }
    char32_t cp;
    const int n = utf8_sequence(p, end_, &cp);
    if (n == 0) {
      return lex_fail("syntax error: expected UTF-8 text in a string, found " + describe_char(p), p);
    }
    p += n;
    continuation_bytes_ += n - 1;
  }
  if (!decode_escapes(content, p, has_escape)) return;
  token_.kind = Tok::String;
  token_.end = p_ = p + 1;
}

// EscapedUnicode :: { HexDigit+ } | HexDigit HexDigit HexDigit HexDigit
// Reads the escape after "\u" (p is on the 'u'); leaves p after the escape.
inline bool Lexer::lex_unicode_escape(const char*& p, char32_t* cp) {
  const char* const escape = p - 1;
  ++p;
  if (p != end_ && *p == '{') {
    ++p;
    char32_t value = 0;
    const char* digits = p;
    while (p != end_ && hex_value(*p) >= 0) {
      if (value <= 0x10FFFF) value = value * 16 + static_cast<char32_t>(hex_value(*p));
      ++p;
    }
    if (p == digits || p == end_ || *p != '}') {
      lex_fail("syntax error: invalid unicode escape, expected hexadecimal digits and '}' after '\\u{', found " +
                   describe_char(p),
               escape);
      return false;
    }
    ++p;
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      lex_fail("syntax error: invalid unicode escape, expected a Unicode scalar value, found " +
                   quoted(std::string_view(escape, p - escape)),
               escape);
      return false;
    }
    *cp = value;
    return true;
  }
  auto four_hex = [&](const char* at, char32_t* out) {
    if (end_ - at < 4) return false;
    char32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const int h = hex_value(at[i]);
      if (h < 0) return false;
      v = v * 16 + static_cast<char32_t>(h);
    }
    *out = v;
    return true;
  };
  char32_t value;
  if (!four_hex(p, &value)) {
    const char* bad = p;
    while (bad != end_ && bad < p + 4 && hex_value(*bad) >= 0) ++bad;
    lex_fail("syntax error: invalid unicode escape, expected four hexadecimal digits after '\\u', found " +
                 describe_char(bad),
             escape);
    return false;
  }
  p += 4;
  if (value >= 0xD800 && value <= 0xDBFF) {
    char32_t low;
    if (end_ - p >= 2 && p[0] == '\\' && p[1] == 'u' && four_hex(p + 2, &low) && low >= 0xDC00 && low <= 0xDFFF) {
      p += 6;
      *cp = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
      return true;
    }
  }
  if (value >= 0xD800 && value <= 0xDFFF) {
    lex_fail("syntax error: invalid unicode escape, expected a surrogate pair, found the lone surrogate " +
                 quoted(std::string_view(escape, 6)),
             escape);
    return false;
  }
  *cp = value;
  return true;
}

// Sets token_.value to the string between from and to with its escapes resolved.
inline bool Lexer::decode_escapes(const char* from, const char* to, bool has_escape) {
  if (!has_escape) {
    token_.value = std::string_view(from, to - from);
    return true;
  }
  // Every escape is longer than what it stands for, so the raw length bounds the value.
  char* const out_begin = static_cast<char*>(arena_.allocate(to - from, 1));
  char* out = out_begin;
  const char* p = from;
  while (p != to) {
    if (*p != '\\') {
      *out++ = *p++;
      continue;
    }
    const char* const escape = p++;
    switch (*p) {
      case '"': *out++ = '"'; break;
      case '\\': *out++ = '\\'; break;
      case '/': *out++ = '/'; break;
      case 'b': *out++ = '\b'; break;
      case 'f': *out++ = '\f'; break;
      case 'n': *out++ = '\n'; break;
      case 'r': *out++ = '\r'; break;
      case 't': *out++ = '\t'; break;
      case 'u': {
        char32_t cp;
        if (!lex_unicode_escape(p, &cp)) return false;
        out = put_utf8(out, cp);
        continue;
      }
      default:
        lex_fail("syntax error: invalid escape sequence, expected one of \\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u, found " +
                     (byte_at(p) < 0x80 ? quoted(std::string_view(escape, 2)) : describe_char(p)),
                 escape);
        return false;
    }
    ++p;
  }
  token_.value = std::string_view(out_begin, out - out_begin);
  return true;
}

// StringValue :: """ BlockStringCharacter* """
inline void Lexer::lex_block_string(const char* p) {
  const char* const start = p;
  p += 3;
  const char* const content = p;
  for (;;) {
    while (p != end_ && has_class(p, kStringPlain)) ++p;
    if (p == end_) {
      return lex_fail("syntax error: unterminated block string, expected '\"\"\"' before the end of input", start, p);
    }
    const unsigned char c = byte_at(p);
    if (c == '"') {
      if (end_ - p >= 3 && p[1] == '"' && p[2] == '"') break;
      ++p;
    } else if (c == '\\') {
      p += (end_ - p >= 4 && p[1] == '"' && p[2] == '"' && p[3] == '"') ? 4 : 1;
    } else if (c == '\n') {
      new_line(++p);
    } else if (c == '\r') {
      ++p;
      if (p != end_ && *p == '\n') ++p;
      new_line(p);
    } else {
      char32_t cp;
      const int n = utf8_sequence(p, end_, &cp);
      if (n == 0) {
        return lex_fail("syntax error: expected UTF-8 text in a block string, found " + describe_char(p), p);
      }
      p += n;
      continuation_bytes_ += n - 1;
    }
  }
  token_.value = block_string_value(content, p);
  token_.kind = Tok::BlockString;
  token_.end = p_ = p + 3;
}

// The value of a block string: common indentation and leading and trailing
// blank lines removed, line terminators turned into "\n", \""" into """.
inline std::string_view Lexer::block_string_value(const char* from, const char* to) {
  // Calls f(index, begin, end) for each raw line.
  auto for_each_line = [&](auto&& f) {
    std::size_t index = 0;
    const char* line = from;
    for (const char* p = from;; ++p) {
      if (p == to || *p == '\n' || *p == '\r') {
        f(index++, line, p);
        if (p == to) return;
        if (*p == '\r' && p + 1 != to && p[1] == '\n') ++p;
        line = p + 1;
      }
    }
  };
  auto indent_of = [](const char* b, const char* e) {
    const char* p = b;
    while (p != e && (*p == ' ' || *p == '\t')) ++p;
    return static_cast<std::size_t>(p - b);
  };

  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t common = kNone;
  std::size_t first = kNone;
  std::size_t last = 0;
  for_each_line([&](std::size_t i, const char* b, const char* e) {
    const std::size_t indent = indent_of(b, e);
    if (indent == static_cast<std::size_t>(e - b)) return;  // blank
    if (i > 0 && indent < common) common = indent;
    if (first == kNone) first = i;
    last = i;
  });
  if (first == kNone) return std::string_view(from, 0);
  if (common == kNone) common = 0;

  char* const out_begin = static_cast<char*>(arena_.allocate(to - from, 1));
  char* out = out_begin;
  for_each_line([&](std::size_t i, const char* b, const char* e) {
    if (i < first || i > last) return;
    if (i > first) *out++ = '\n';
    if (i > 0) b += std::min(common, static_cast<std::size_t>(e - b));
    while (b != e) {
      if (*b == '\\' && e - b >= 4 && b[1] == '"' && b[2] == '"' && b[3] == '"') {
        ++b;  // \""" stands for """
        continue;
      }
      *out++ = *b++;
    }
  });
  return std::string_view(out_begin, out - out_begin);
}


// Computed from scratch: errors are rare, and this stays right wherever the lexer stopped.
inline Pos Lexer::pos_of(const char* at) const {
  std::uint32_t line = 1;
  const char* line_start = begin_;
  for (const char* p = begin_; p < at; ++p) {
    if (*p == '\n' || *p == '\r') {
      if (*p == '\r' && p + 1 < at && p[1] == '\n') ++p;
      ++line;
      line_start = p + 1;
    }
  }
  std::uint32_t column = 1;
  for (const char* p = line_start; p < at; ++p) {
    if ((byte_at(p) & 0xC0) != 0x80) ++column;
  }
  return {line, column};
}

inline std::string Lexer::describe_char(const char* p) const {
  if (p == end_) return "end of input";
  const unsigned char c = byte_at(p);
  if (c == '\n' || c == '\r') return "a line break";
  if (c >= 0x20 && c < 0x7F) return "character '" + std::string(1, static_cast<char>(c)) + "'";
  if (c < 0x80) return "control character " + code_point_name(c);
  char32_t cp;
  if (utf8_sequence(p, end_, &cp) == 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return std::string("invalid UTF-8 byte ") + buf;
  }
  return "non-ASCII character " + code_point_name(cp);
}

inline std::string Lexer::describe(const Token& token) const {
  switch (token.kind) {
    case Tok::End:
      return "end of input";
    case Tok::Invalid:
    case Tok::Error:
      return describe_char(token.start);
    case Tok::Name:
      return "name " + quoted(token.text());
    case Tok::Int:
    case Tok::Float:
      return "number " + quoted(token.text());
    case Tok::String:
      return "a string";
    case Tok::BlockString:
      return "a block string";
    default:
      return quoted(token.text());
  }
}

inline bool Lexer::fail(std::string message, const char* at, const char* second) {
  if (error_) return false;  // the first error stands
  error_ = make_error(std::move(message), ErrorCode::GRAPHQL_PARSE_FAILED);
  const Pos first = pos_of(at);
  std::vector<Location> locations{{first.line, first.column}};
  if (second != nullptr) {
    const Pos next = pos_of(second);
    locations.push_back({next.line, next.column});
  }
  error_->locations = std::move(locations);
  return false;
}

inline bool Lexer::fail_expected(const char* expected) {
  if (token_.kind == Tok::Error) return false;
  if (token_.kind == Tok::End) {
    return fail(std::string("syntax error: unexpected end of input, expected ") + expected, token_.start);
  }
  return fail(std::string("syntax error: expected ") + expected + ", found " + describe(token_), token_.start);
}

inline bool Lexer::fail_without_location(std::string message) {
  if (!error_) error_ = make_error(std::move(message), ErrorCode::GRAPHQL_PARSE_FAILED);
  return false;
}

}  // namespace quenfel::lexing
