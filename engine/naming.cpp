#include "engine/naming.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace quenfel {

namespace {

// Appends the full upper-case mapping of one code point (it may be several: "ß" is "SS").
void append_upper(std::string& out, UChar32 c) {
  UChar source[2];
  int32_t source_length = 0;
  U16_APPEND_UNSAFE(source, source_length, c);
  UChar upper[8];
  UErrorCode status = U_ZERO_ERROR;
  int32_t upper_length = u_strToUpper(upper, 8, source, source_length, "", &status);
  if (U_FAILURE(status) || upper_length > 8) {
    upper_length = 0;
    U16_APPEND_UNSAFE(upper, upper_length, c);
  }
  for (int32_t i = 0; i < upper_length;) {
    UChar32 u;
    U16_NEXT_UNSAFE(upper, i, u);
    char bytes[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, u);
    out.append(bytes, static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string to_camel_case(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  bool upper_next = false;
  const auto* s = reinterpret_cast<const uint8_t*>(name.data());
  const auto length = static_cast<int32_t>(name.size());
  for (int32_t i = 0; i < length;) {
    uint8_t byte = s[i];
    if (byte == '_') {
      upper_next = true;
      ++i;
      continue;
    }
    if (byte < 0x80) {
      char c = static_cast<char>(byte);
      if (upper_next && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      out += c;
      upper_next = false;
      ++i;
      continue;
    }
    int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0 || !upper_next) {
      // Invalid UTF-8 is copied as it stands.
      out.append(name.data() + start, static_cast<std::size_t>(i - start));
    } else {
      append_upper(out, c);
    }
    upper_next = false;
  }
  return out;
}

}  // namespace quenfel
