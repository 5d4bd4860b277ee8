#include "lib/visible.h"

#include <cstring>

#include "lib/utf8.h"

namespace {

bool plain(unsigned char c) { return c >= 0x20 && c != 0x7f && c < 0x80; }

// The length of the character at `text` that can be shown as it is, or 0.
std::size_t shown(const char* text, std::size_t size) {
  const auto c = static_cast<unsigned char>(text[0]);
  if (plain(c)) return 1;
  const std::size_t len = utf8_sequence(text, size);
  // U+0080 to U+009F are the C1 controls: C2 80 to C2 9F.
  if (len == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) return 0;
  return len;
}

}  // namespace

std::size_t visible_copy(std::string_view text, char* buf, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = shown(text.data() + i, text.size() - i);
    const char32_t code = len > 1 ? utf8_code(text.data() + i, len) : 0;
    if (text_char_hidden(code)) {
      char mark[16];
      const int n = snprintf(mark, sizeof mark, "<U+%04X>", static_cast<unsigned>(code));
      if (out + static_cast<std::size_t>(n) >= size) break;
      memcpy(buf + out, mark, static_cast<std::size_t>(n));
      out += static_cast<std::size_t>(n);
      i += len;
      continue;
    }
    if (out + (len != 0 ? len : VISIBLE_MAX) >= size) break;
    if (len != 0) {
      memcpy(buf + out, text.data() + i, len);
      out += len;
      i += len;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i++]);
    buf[out++] = '\\';
    buf[out++] = 'x';
    buf[out++] = kHex[c >> 4];
    buf[out++] = kHex[c & 15];
  }
  if (size > 0) buf[out] = '\0';
  return out;
}

void visible_write(FILE* out, std::string_view text) {
  constexpr std::size_t kPiece = 256;
  char buf[(kPiece + 3) * VISIBLE_MAX + 1];
  for (std::size_t at = 0; at < text.size();) {
    std::size_t take = text.size() - at < kPiece ? text.size() - at : kPiece;
    // A character cut at the piece's end is taken whole: up to three more bytes.
    while (take < text.size() - at && take < kPiece + 3 &&
           (static_cast<unsigned char>(text[at + take]) & 0xC0) == 0x80) {
      ++take;
    }
    // Not substr(): its range check would bring the C++ library into sel-forward.
    const std::size_t n = visible_copy({text.data() + at, take}, buf, sizeof buf);
    (void)fwrite(buf, 1, n, out);
    at += take;
  }
}
