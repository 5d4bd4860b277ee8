#include "workstation/selexport/escape.h"

#include "lib/utf8.h"

namespace {

// The character at the start of `s` and how many bytes it takes: a valid UTF-8
// sequence, else its first byte as Latin-1.
struct Char {
  char32_t code;
  std::size_t bytes;
};

Char first_char(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const std::size_t bytes = utf8_sequence(s.data(), s.size());
  if (bytes == 0) return {byte(0), 1};
  char32_t code = byte(0) & (0x7FU >> bytes);
  for (std::size_t i = 1; i < bytes; ++i) code = code << 6 | (byte(i) & 0x3FU);
  return {code, bytes};
}

void put_utf8(FILE* out, char32_t c) {
  if (c < 0x80) {
    fputc(static_cast<int>(c), out);
  } else if (c < 0x800) {
    fprintf(out, "%c%c", static_cast<int>(0xC0 | c >> 6), static_cast<int>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    fprintf(out, "%c%c%c", static_cast<int>(0xE0 | c >> 12),
            static_cast<int>(0x80 | (c >> 6 & 0x3F)), static_cast<int>(0x80 | (c & 0x3F)));
  } else {
    fprintf(out, "%c%c%c%c", static_cast<int>(0xF0 | c >> 18),
            static_cast<int>(0x80 | (c >> 12 & 0x3F)), static_cast<int>(0x80 | (c >> 6 & 0x3F)),
            static_cast<int>(0x80 | (c & 0x3F)));
  }
}

// Calls `put(out, character)` for each character of `s`.
template <typename Put>
void each_char(FILE* out, std::string_view s, Put put) {
  while (!s.empty()) {
    const Char c = first_char(s);
    put(out, c.code);
    s.remove_prefix(c.bytes);
  }
}

}  // namespace

void json_text(FILE* out, std::string_view s) {
  fputc('"', out);
  each_char(out, s, [](FILE* o, char32_t c) {
    if (c == '"' || c == '\\') {
      fprintf(o, "\\%c", static_cast<int>(c));
    } else if (c < 0x20) {
      fprintf(o, "\\u%04x", static_cast<unsigned>(c));
    } else {
      put_utf8(o, c);
    }
  });
  fputc('"', out);
}

void csv_text(FILE* out, std::string_view s) {
  fputc('"', out);
  each_char(out, s, [](FILE* o, char32_t c) {
    if (c == '"') fputc('"', o);
    put_utf8(o, c);
  });
  fputc('"', out);
}

void html_text(FILE* out, std::string_view s) {
  each_char(out, s, [](FILE* o, char32_t c) {
    switch (c) {
      case '&': fputs("&amp;", o); break;
      case '<': fputs("&lt;", o); break;
      case '>': fputs("&gt;", o); break;
      case '"': fputs("&quot;", o); break;
      case '\'': fputs("&#39;", o); break;
      case '\t':
      case '\n': fputc(static_cast<int>(c), o); break;
      default: put_utf8(o, c < 0x20 ? 0x2400 + c : c == 0x7F ? 0x2421 : c);
    }
  });
}
