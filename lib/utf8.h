// What counts as UTF-8 in a record's text. The logging services copy 8-bit bytes as
// they come; every writer of texts (rows, reports) passes a valid sequence through and
// takes any other byte as Latin-1, so all of them must agree on what is valid.
#pragma once

#include <cstddef>

// Length of the valid UTF-8 sequence at the start of `text`, or 0 when its first byte
// does not begin one (overlong forms, surrogates and values past U+10FFFF included).
inline std::size_t utf8_sequence(const char* text, std::size_t size) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b = at(0);
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (size < len || at(1) < lo || at(1) > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return len;
}

// The character of the valid sequence of `len` bytes at `text` (utf8_sequence's length).
inline char32_t utf8_code(const char* text, std::size_t len) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  char32_t code = at(0) & (0x7FU >> len);
  for (std::size_t i = 1; i < len; ++i) code = code << 6 | (at(i) & 0x3FU);
  return code;
}
