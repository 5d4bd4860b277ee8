#include "workstation/selexport/escape.h"

#include <cstdlib>

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

// Calls `put(out, character)` for each character of `s` as the report shows it.
template <typename Put>
void each_shown(FILE* out, std::string_view s, Put put) {
  each_char(out, s, [&put](FILE* o, char32_t c) {
    if (text_char_hidden(c)) {
      char mark[16];
      (void)snprintf(mark, sizeof mark, "<U+%04X>", static_cast<unsigned>(c));
      for (const char* p = mark; *p != '\0'; ++p) put(o, static_cast<char32_t>(*p));
    } else if (c < 0x20 && c != '\t' && c != '\n') {
      put(o, 0x2400 + c);
    } else {
      put(o, c == 0x7F ? 0x2421 : c);
    }
  });
}

}  // namespace

void json_text(FILE* out, std::string_view s) {
  fputc('"', out);
  each_char(out, s, [](FILE* o, char32_t c) {
    if (c == '"' || c == '\\') {
      fprintf(o, "\\%c", static_cast<int>(c));
    } else if (c < 0x20 || c == 0x2028 || c == 0x2029) {
      // The separators too: JSON allows them raw, but a script that takes the line as
      // code (before ES2019) would end a string at them.
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
  each_shown(out, s, [](FILE* o, char32_t c) {
    switch (c) {
      case '&': fputs("&amp;", o); break;
      case '<': fputs("&lt;", o); break;
      case '>': fputs("&gt;", o); break;
      case '"': fputs("&quot;", o); break;
      case '\'': fputs("&#39;", o); break;
      default: put_utf8(o, c);
    }
  });
}

bool text_char_hidden(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

std::string shown_text(std::string_view s) {
  std::string out;
  char* text = nullptr;
  std::size_t size = 0;
  FILE* mem = open_memstream(&text, &size);
  if (mem == nullptr) return out;
  each_shown(mem, s, [](FILE* o, char32_t c) { put_utf8(o, c); });
  (void)fclose(mem);  // a memory stream only fails to grow, and then holds less
  out.assign(text, size);
  free(text);
  return out;
}

void json_script_text(FILE* out, std::string_view utf8) {
  fputc('"', out);
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      fprintf(out, "\\%c", c);
    } else if (c == '\n' || c == '\r' || c == '\t') {
      fputs(c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t", out);
    } else if (b < 0x20 || c == '<') {
      fprintf(out, "\\u%04x", b);
    } else {
      putc_unlocked(c, out);
    }
  }
  fputc('"', out);
}

void terminal_text(FILE* out, std::string_view s) {
  while (!s.empty()) {
    const Char c = first_char(s);
    const bool stray = c.bytes == 1 && c.code >= 0x80;  // no UTF-8 sequence begins here
    if (stray || c.code < 0x20 || (c.code >= 0x7F && c.code < 0xA0)) {
      for (std::size_t i = 0; i < c.bytes; ++i)
        fprintf(out, "\\x%02X", static_cast<unsigned char>(s[i]));
    } else if (text_char_hidden(c.code)) {
      fprintf(out, "<U+%04X>", static_cast<unsigned>(c.code));
    } else {
      (void)fwrite(s.data(), 1, c.bytes, out);
    }
    s.remove_prefix(c.bytes);
  }
}
