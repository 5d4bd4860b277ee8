// The cutting rules of a report, without a log daemon.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "lib/log.h"

namespace {

std::string format(int with_errno, int saved_errno, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

std::string format(int with_errno, int saved_errno, const char* fmt, ...) {
  char buf[LOG_BUF_SIZE];
  memset(buf, 'X', sizeof buf);
  va_list ap;
  va_start(ap, fmt);
  const int len = log_vformat(buf, with_errno, saved_errno, fmt, ap);
  va_end(ap);
  EXPECT_EQ(static_cast<size_t>(len), strlen(buf));
  return std::string(buf);
}

TEST(LogFormat, LengthsAroundTheLimit) {
  struct Case {
    size_t message;  // characters of text handed in
    size_t logged;   // characters of the finished report, newline included
  } cases[] = {
      {0, 1}, {4093, 4094}, {4094, 4095}, {4095, 4095}, {4096, 4095}, {10000, 4095},
  };
  for (const Case& c : cases) {
    const std::string text(c.message, 'a');
    const std::string report = format(0, 0, "%s", text.c_str());
    SCOPED_TRACE(c.message);
    ASSERT_EQ(report.size(), c.logged);
    EXPECT_EQ(report.back(), '\n');
    EXPECT_EQ(report.substr(0, c.logged - 1), text.substr(0, c.logged - 1));
  }
}

TEST(LogFormat, ErrorTextAndArguments) {
  EXPECT_EQ(format(1, EAGAIN, "error locking %s", "/velmar/run/seldb.lck"),
            std::string("error locking /velmar/run/seldb.lck: ") + strerror(EAGAIN) + "\n");
  // A message that fills the buffer keeps its text and loses the error text.
  const std::string long_text(4090, 'b');
  EXPECT_EQ(format(1, ENOENT, "%s", long_text.c_str()), long_text + ": No\n");
  EXPECT_EQ(format(0, 0, "error opening %s", "/tmp/100%s%n"), "error opening /tmp/100%s%n\n");
  EXPECT_EQ(format(0, 0, "ends in a newline\n"), "ends in a newline\n\n");
}

}  // namespace
