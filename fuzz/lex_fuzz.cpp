// The lexer over the caller's exact buffer. The parser lexes the document's
// own copy of the text, inside an arena block, so a read past the end of the
// text stays invisible to AddressSanitizer there; here the buffer ends where
// the text ends. Every token must lie inside the text, after the one before,
// at the line and column that a plain recount from the start gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/arena.h"
#include "engine/lexer.h"

namespace {

using quenfel::Pos;
using quenfel::lexing::Lexer;
using quenfel::lexing::Tok;
using quenfel::lexing::Token;

void check(bool condition) {
  if (!condition) std::abort();
}

// Line and column of successive offsets, counted the slow way: lines end at
// "\n", "\r\n" or "\r", and columns count code points (bytes that do not
// continue a UTF-8 sequence).
class Recount {
 public:
  explicit Recount(std::string_view text) : text_(text) {}

  Pos at(std::size_t offset) {
    for (; i_ < offset; ++i_) {
      const auto c = static_cast<unsigned char>(text_[i_]);
      if (c == '\n' || c == '\r') {
        if (c == '\r' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n') ++i_;
        ++pos_.line;
        pos_.column = 1;
      } else if ((c & 0xC0) != 0x80) {
        ++pos_.column;
      }
    }
    return pos_;
  }

 private:
  std::string_view text_;
  std::size_t i_ = 0;
  Pos pos_{1, 1};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const char* const end = text.data() + size;
  quenfel::Arena arena;
  Lexer lexer(text, arena);
  Recount recount(text);
  const char* previous_end = text.data();
  std::uint64_t sum = 0;
  for (;;) {
    lexer.advance();
    const Token& token = lexer.token();
    if (token.kind == Tok::Error) {
      const auto error = lexer.take_error();
      check(error != nullptr && !error->message.empty() && error->locations && !error->locations->empty());
      for (const auto& location : *error->locations) check(location.line >= 1 && location.column >= 1);
      break;
    }
    check(token.start >= previous_end && token.end >= token.start && token.end <= end);
    check(token.pos == recount.at(static_cast<std::size_t>(token.start - text.data())));
    sum += lexer.describe(token).size();
    if (token.kind == Tok::End) {
      check(token.start == end);
      break;
    }
    // The parser stops at a character that starts no token; the lexer's
    // columns are not meant to be right after one that is not ASCII.
    if (token.kind == Tok::Invalid) break;
    check(token.end > token.start);
    if (token.kind == Tok::String || token.kind == Tok::BlockString) {
      for (char c : token.value) sum += static_cast<unsigned char>(c);
    }
    previous_end = token.end;
  }
  volatile std::uint64_t sink = sum;
  (void)sink;
  return 0;
}
