#include "common/say.h"

#include <cstring>

#include "lib/utf8.h"

namespace {

const char* g_program = "?";
FILE* g_err = stderr;

constexpr std::size_t kLineMax = 4096;

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

// Copies `text` (`size` bytes) into `buf` as say() shows it: \xHH for every byte that is
// a control or not valid UTF-8. Cut at a whole character to fit `buf_size` (NUL
// included); returns the length written.
std::size_t say_visible(const char* text, std::size_t size, char* buf, std::size_t buf_size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t out = 0;
  for (std::size_t i = 0; i < size;) {
    const std::size_t len = shown(text + i, size - i);
    if (out + (len != 0 ? len : 4) >= buf_size) break;
    if (len != 0) {
      memcpy(buf + out, text + i, len);
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
  if (buf_size > 0) buf[out] = '\0';
  return out;
}

}  // namespace

void say_as(const char* program, FILE* err) {
  g_program = program;
  g_err = err;
}

const char* say_program() { return g_program; }

void vsay(const char* format, va_list args) {
  char line[kLineMax];
  const int n = vsnprintf(line, sizeof line, format, args);
  std::size_t len = n < 0 ? 0 : static_cast<std::size_t>(n);
  if (len >= sizeof line) len = sizeof line - 1;
  char visible[4 * kLineMax];
  say_visible(line, len, visible, sizeof visible);
  fprintf(g_err, "%s: %s\n", g_program, visible);
}

void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsay(format, args);
  va_end(args);
}

void say_try_help() { fprintf(g_err, "Try '%s --help'.\n", g_program); }

void say_status(const Status& status, const char* format, ...) {
  char text[kLineMax];
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) text[0] = '\0';
  if (status.error != 0) {
    say("%s: %s", text, strerror(status.error));
  } else {
    say("%s", text);
  }
}
