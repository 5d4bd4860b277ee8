#include "lib/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include "lib/visible.h"

namespace {

bool g_visible = false;
void (*g_tap)(int priority, const char* text) = nullptr;

// The report made visible, handed to the tap and logged.
void log_visibly(int priority, const char* buf, int len) {
  char shown[VISIBLE_MAX * LOG_BUF_SIZE];
  // Without the newline, which would be shown as a byte of its own.
  visible_copy({buf, static_cast<std::size_t>(len - 1)}, shown, sizeof shown);
  if (g_tap != nullptr) g_tap(priority, shown);
  syslog(priority, "%s\n", shown);
}

}  // namespace

void log_open(const char* ident, int option, int facility) {
  openlog(ident, option, facility);
}

void log_visible(void (*tap)(int priority, const char* text)) {
  g_visible = true;
  g_tap = tap;
}

int log_vformat(char* buf, int with_errno, int saved_errno, const char* fmt, va_list ap) {
  buf[0] = '\0';
  // An overlong report is cut to the buffer; the lengths are taken from what landed.
  (void)vsnprintf(buf, LOG_BUF_SIZE, fmt, ap);
  std::size_t len = strnlen(buf, LOG_BUF_SIZE - 1);
  if (with_errno != 0) {
    // A long message keeps its own text and loses the tail of the error text.
    (void)snprintf(buf + len, LOG_BUF_SIZE - len, ": %s", strerror(saved_errno));
    len = strnlen(buf, LOG_BUF_SIZE - 1);
  }
  if (len > static_cast<std::size_t>(LOG_TEXT_MAX)) len = LOG_TEXT_MAX;
  buf[len] = '\n';
  buf[len + 1] = '\0';
  return static_cast<int>(len + 1);
}

void log_vmsg(int with_errno, int priority, const char* fmt, va_list ap) {
  const int saved_errno = errno;  // formatting may change it
  char buf[LOG_BUF_SIZE];
  const int len = log_vformat(buf, with_errno, saved_errno, fmt, ap);
  if (g_visible) {
    log_visibly(priority, buf, len);
    return;
  }
  syslog(priority, "%s", buf);
}

void log_msg(int priority, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  log_vmsg(0, priority, fmt, ap);
  va_end(ap);
}

void log_msg_errno(int priority, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  log_vmsg(1, priority, fmt, ap);
  va_end(ap);
}
