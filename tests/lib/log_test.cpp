// Reports as they reach the module root's /dev/log.
#include <syslog.h>

#include <cwchar>

#include "lib/log.h"
#include "tests/support/root_test.h"

namespace {

using LogTest = RootTest;

// The error text is that of the number at the call: converting a wide character that
// this locale cannot hold fails with EILSEQ inside the formatting.
TEST_F(LogTest, ReachesTheSystemLogAsSent) {
  SyslogSink sink;
  log_open("seltest", LOG_PID | LOG_CONS | LOG_NDELAY, LOG_USER);
  log_msg(LOG_ERR, "Error open %s for read", "/mnt/logs/sel/100%d");
  log_msg(LOG_WARNING, "Clear SEL");
  const wchar_t unconvertible[] = {static_cast<wchar_t>(0x263A), 0};
  errno = EAGAIN;
  log_msg_errno(LOG_ERR, "wide %ls", unconvertible);
  closelog();

  const auto lines = sink.take();
  ASSERT_EQ(lines.size(), 3u);
  for (const LogLine& line : lines) {
    EXPECT_EQ(line.facility, LOG_USER);
    EXPECT_EQ(line.ident, "seltest");
    EXPECT_EQ(line.pid, getpid());
  }
  EXPECT_EQ(lines[0].priority, LOG_ERR);
  EXPECT_EQ(lines[0].text, "Error open /mnt/logs/sel/100%d for read\n");
  EXPECT_EQ(lines[1].priority, LOG_WARNING);
  EXPECT_EQ(lines[1].text, "Clear SEL\n");
  const std::string tail = std::string(": ") + strerror(EAGAIN) + "\n";
  ASSERT_GE(lines[2].text.size(), tail.size());
  EXPECT_EQ(lines[2].text.substr(lines[2].text.size() - tail.size()), tail);
}

}  // namespace
