#include "workstation/selexport/shown.h"

#include "common/escape.h"
#include "lib/utf8.h"
#include "lib/visible.h"

namespace {

// The character at the start of `s` and how many bytes it takes: a valid UTF-8
// sequence, else its first byte as Latin-1.
struct Char {
  char32_t code;
  std::size_t bytes;
};

Char first_char(std::string_view s) {
  const std::size_t bytes = utf8_sequence(s.data(), s.size());
  if (bytes == 0) return {static_cast<unsigned char>(s[0]), 1};
  return {utf8_code(s.data(), bytes), bytes};
}

void append_utf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    if (c >= 0x10000) out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(c >= 0x10000 ? 0x80 | (c >> 12 & 0x3F) : 0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// "<U+202E>".
void mark(char (&buf)[16], char32_t c) {
  (void)snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(c));
}

}  // namespace

std::string shown_text(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const Char c = first_char(s);
    if (text_char_hidden(c.code)) {
      char buf[16];
      mark(buf, c.code);
      out.append(buf);
    } else if (c.code < 0x20 && c.code != '\t' && c.code != '\n') {
      append_utf8(&out, 0x2400 + c.code);
    } else {
      append_utf8(&out, c.code == 0x7F ? 0x2421 : c.code);
    }
    s.remove_prefix(c.bytes);
  }
  return out;
}

void html_shown(FILE* out, std::string_view s) { html_text(out, shown_text(s)); }
