#include "common/escape.h"

#include <algorithm>

namespace {

// A text a piece at a time through a buffer that takes the piece escaped.
template <const Escaping& e>
void put(FILE* out, std::string_view s) {
  constexpr std::size_t kPiece = 256;
  char buf[(kPiece + 3) * ESCAPED_MAX];
  for (std::size_t at = 0; at < s.size();) {
    char* end = buf;
    at = escape_text<e>(end, s, at, std::min(at + kPiece, s.size()));
    (void)fwrite(buf, 1, static_cast<std::size_t>(end - buf), out);
  }
}

}  // namespace

void json_text(FILE* out, std::string_view s) {
  fputc('"', out);
  put<ESCAPE_JSON>(out, s);
  fputc('"', out);
}

void json_script_text(FILE* out, std::string_view s) {
  fputc('"', out);
  put<ESCAPE_JSON_SCRIPT>(out, s);
  fputc('"', out);
}

void csv_text(FILE* out, std::string_view s) {
  fputs(csv_risky(s) ? "\"'" : "\"", out);
  put<ESCAPE_CSV>(out, s);
  fputc('"', out);
}

void html_text(FILE* out, std::string_view s) { put<ESCAPE_HTML>(out, s); }
