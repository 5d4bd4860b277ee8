#include "common/say.h"

#include <cstring>

#include "lib/visible.h"

namespace {

const char* g_program = "?";
FILE* g_err = stderr;

constexpr std::size_t kLineMax = 4096;

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
  char visible[VISIBLE_MAX * kLineMax];
  visible_copy({line, len}, visible, sizeof visible);
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
