// Texts of any bytes (record texts, paths, what an archive says of itself) written into
// JSON strings, CSV fields and HTML. Record texts are 8-bit bytes as the logging
// services copied them, so one rule reads every text: a valid UTF-8 sequence is its
// character, and any other byte is the Latin-1 character U+00XX. Each format then writes
// those characters its own way:
//
// - JSON: quote and backslash escaped, the control characters as \n, \r and \t or
//   \u00XX, a character taken from a stray byte as \u00XX, and the line and paragraph
//   separators as \u2028 and \u2029 (JSON allows them raw, but a script that takes the
//   text as code, as scripts before ES2019 do, would end a string at them);
// - JSON inside an HTML script element (the report's data): the same, and "<" as
//   \u003c, so that no "</script" or "<!--" in a text ends the element;
// - CSV (fields always quoted): quotes doubled, control characters as they are, a
//   character taken from a stray byte in UTF-8; a text that begins with a character
//   that a spreadsheet takes for the start of a formula (= + - @, a tab or a carriage
//   return) begins with ' (csv_risky): the way spreadsheet users are told to keep a
//   cell text. Numbers are no texts and stay as they are;
// - HTML (an element's content or a quoted attribute's value): & < > " ' as entities,
//   control characters but tab and line feed as their pictures (U+2400 on, U+2421 for
//   DEL), a character taken from a stray byte in UTF-8.
//
// So every output is valid UTF-8 and says the same text. The escaping is done by table,
// eight plain bytes at a time where a row's cost counts (rows.cpp).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "lib/utf8.h"

// What one byte of a text becomes: itself (len 0; runs of those are copied at once)
// or the `len` bytes of `text`. A byte past ASCII is checked first (`utf8`): one that
// begins a valid UTF-8 sequence passes with it, and `text` is what any other becomes.
struct EscapeByte {
  std::uint8_t len;
  bool utf8;
  std::array<char, 6> text;
};
inline constexpr std::size_t ESCAPED_MAX = 6;  // the most bytes that one byte becomes

// A format's escaping: its table and, for the test of eight bytes at once (`words`),
// a superset of the bytes that the table does not pass as they are: those below
// `below`, `a` and `b`, and all past ASCII.
struct Escaping {
  std::array<EscapeByte, 256> table{};
  bool words = false;
  unsigned char below = 0;
  unsigned char a = 0;
  unsigned char b = 0;
  bool separators = false;  // U+2028 and U+2029 as \u2028 and \u2029
};

namespace escape_detail {

inline constexpr std::string_view kHexDigits = "0123456789abcdef";

// The Latin-1 character of a byte past ASCII in UTF-8.
constexpr EscapeByte latin1(std::size_t b) {
  return {2, true, {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))}};
}

constexpr Escaping json() {
  Escaping e{{}, true, 0x20, '"', '\\', true};
  for (std::size_t b = 0; b < 256; ++b) {
    if (b < 0x20 || b >= 0x80) {
      e.table[b] = {6, b >= 0x80, {'\\', 'u', '0', '0', kHexDigits[b >> 4], kHexDigits[b & 15]}};
    }
  }
  e.table['"'] = {2, false, {'\\', '"'}};
  e.table['\\'] = {2, false, {'\\', '\\'}};
  e.table['\n'] = {2, false, {'\\', 'n'}};
  e.table['\r'] = {2, false, {'\\', 'r'}};
  e.table['\t'] = {2, false, {'\\', 't'}};
  return e;
}

// Eight bytes at a time would need a third byte to look for: one at a time.
constexpr Escaping json_in_script() {
  Escaping e = json();
  e.words = false;
  e.table['<'] = {6, false, {'\\', 'u', '0', '0', '3', 'c'}};
  return e;
}

constexpr Escaping csv() {
  Escaping e{{}, true, 0, '"', '"'};
  for (std::size_t b = 0x80; b < 256; ++b) e.table[b] = latin1(b);
  e.table['"'] = {2, false, {'"', '"'}};
  return e;
}

constexpr Escaping html() {
  Escaping e{};
  for (std::size_t b = 0; b < 0x20; ++b) {
    if (b != '\t' && b != '\n')
      e.table[b] = {3, false, {'\xE2', '\x90', static_cast<char>(0x80 + b)}};
  }
  e.table[0x7F] = {3, false, {'\xE2', '\x90', '\xA1'}};
  for (std::size_t b = 0x80; b < 256; ++b) e.table[b] = latin1(b);
  e.table['&'] = {5, false, {'&', 'a', 'm', 'p', ';'}};
  e.table['<'] = {4, false, {'&', 'l', 't', ';'}};
  e.table['>'] = {4, false, {'&', 'g', 't', ';'}};
  e.table['"'] = {6, false, {'&', 'q', 'u', 'o', 't', ';'}};
  e.table['\''] = {5, false, {'&', '#', '3', '9', ';'}};
  return e;
}

// Every byte that the table escapes is marked by the test of eight bytes.
constexpr bool words_cover(const Escaping& e) {
  for (std::size_t b = 0; b < 256; ++b) {
    const bool marked = b < e.below || b == e.a || b == e.b || b >= 0x80;
    if (e.words && e.table[b].len != 0 && !marked) return false;
  }
  return true;
}

inline constexpr std::uint64_t kOnes = 0x0101010101010101;
inline constexpr std::uint64_t kHighBits = kOnes * 0x80;

}  // namespace escape_detail

inline constexpr Escaping ESCAPE_JSON = escape_detail::json();
inline constexpr Escaping ESCAPE_JSON_SCRIPT = escape_detail::json_in_script();
inline constexpr Escaping ESCAPE_CSV = escape_detail::csv();
inline constexpr Escaping ESCAPE_HTML = escape_detail::html();
static_assert(escape_detail::words_cover(ESCAPE_JSON) && escape_detail::words_cover(ESCAPE_CSV));
static_assert(ESCAPE_JSON.table['"'].len == 2 && ESCAPE_JSON.table[0x1F].text[5] == 'f');
static_assert(ESCAPE_CSV.table[0xE9].text[0] == '\xC3' && ESCAPE_CSV.table[0xE9].text[1] == '\xA9');
static_assert(ESCAPE_HTML.table[0x1B].text[2] == '\x9B' && ESCAPE_HTML.table['\n'].len == 0);

namespace escape_detail {

// The bytes of the eight in `w` that `e` escapes, each marked by its high bit: a byte
// of w below n sets it in (w - n * ones) & ~w, and so does a zero byte of w ^ (c * ones),
// a byte equal to c. A borrow may mark more bytes, but only above one rightly marked,
// so that the lowest mark is always right.
template <const Escaping& e>
constexpr std::uint64_t escaped_bytes(std::uint64_t w) {
  const std::uint64_t xa = w ^ (kOnes * e.a);
  const std::uint64_t xb = w ^ (kOnes * e.b);
  return (((w - kOnes * e.below) & ~w) | ((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb) | w) &
         kHighBits;
}
static_assert(escaped_bytes<ESCAPE_JSON>(0x2120417a7e5b5d7f) == 0);
static_assert(escaped_bytes<ESCAPE_JSON>(0x2120417a7e5b5d1f) == 0x80);
static_assert(escaped_bytes<ESCAPE_JSON>(0x41414141415c2041) == 0x800000);
static_assert(escaped_bytes<ESCAPE_CSV>(0x41414141415c2041) == 0);
static_assert(escaped_bytes<ESCAPE_CSV>(0xC141414141414122) == 0x8000000000000080);

// How many of the eight bytes loaded into a word with these marks come before the
// first escaped one. On a big-endian machine the first in memory is the highest,
// where a mark may be wrong: none is counted, and the bytes go one at a time.
constexpr std::size_t plain_prefix(std::uint64_t marks) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  } else {
    return 0;
  }
}

}  // namespace escape_detail

// Escapes the bytes of `s` from `at` on into `out` until `stop` (a UTF-8 sequence is
// taken whole, up to 3 bytes past `stop`); returns where it stopped in `s`. `out` needs
// room for ESCAPED_MAX bytes a byte. Eight bytes that need nothing are copied at once.
template <const Escaping& e>
std::size_t escape_text(char*& out, std::string_view s, std::size_t at, std::size_t stop) {
  char* p = out;
  while (at < stop) {
    for (std::uint64_t w = 0; e.words && stop - at >= 8; at += 8, p += 8) {
      std::memcpy(&w, s.data() + at, 8);
      std::memcpy(p, &w, 8);
      if (const std::uint64_t marks = escape_detail::escaped_bytes<e>(w); marks != 0) {
        at += escape_detail::plain_prefix(marks);
        p += escape_detail::plain_prefix(marks);
        break;
      }
    }
    if (at == stop) break;
    const EscapeByte& x = e.table[static_cast<unsigned char>(s[at])];
    if (x.len == 0) {
      *p++ = s[at++];
      continue;
    }
    const std::size_t len = x.utf8 ? utf8_sequence(s.data() + at, s.size() - at) : 0;
    if (e.separators && len == 3 && s[at] == '\xE2' && s[at + 1] == '\x80' &&
        (s[at + 2] == '\xA8' || s[at + 2] == '\xA9')) {
      constexpr std::string_view kLine = "\\u2028", kParagraph = "\\u2029";
      const std::string_view sep = s[at + 2] == '\xA8' ? kLine : kParagraph;
      p = std::copy(sep.begin(), sep.end(), p);
      at += len;
    } else if (len != 0) {
      std::memcpy(p, s.data() + at, len);
      p += len;
      at += len;
    } else {
      std::memcpy(p, x.text.data(), ESCAPED_MAX);
      p += x.len;
      ++at;
    }
  }
  out = p;
  return at;
}

// Whether a CSV text cell holding `s` needs a leading ' to stay text in a spreadsheet.
constexpr bool csv_risky(std::string_view s) {
  return !s.empty() && std::string_view("=+-@\t\r").find(s[0]) != std::string_view::npos;
}
static_assert(csv_risky("=1+1") && csv_risky("\tx") && !csv_risky("x=1") && !csv_risky(""));

// A JSON string, quotes included.
void json_text(FILE* out, std::string_view s);
// A JSON string, quotes included, that may stand inside an HTML script element.
void json_script_text(FILE* out, std::string_view s);
// A CSV text field, quotes included, with a leading ' where csv_risky says.
void csv_text(FILE* out, std::string_view s);
// HTML text.
void html_text(FILE* out, std::string_view s);
