// The real `sel` in a module root, kept out of its session by another user.
#include <syslog.h>

#include <chrono>

#include "tests/support/root_test.h"

namespace {

using CliTest = RootTest;

TEST_F(CliTest, SessionHeldByAnotherUser) {
  LockHolder other("/velmar/run/sel");
  SyslogSink sink;
  const auto start = std::chrono::steady_clock::now();
  Running sel(program(SEL_BINARY, {"no-such-option"}));
  const pid_t pid = sel.pid();
  const RunResult r = sel.finish();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out, "Resource locked by another user. Please try again later.\n");
  EXPECT_GE(seconds, 9.5);
  EXPECT_LT(seconds, 20.0);
  const auto lines = sink.take();
  ASSERT_EQ(lines.size(), 10u);
  for (const LogLine& line : lines) {
    EXPECT_EQ(line.priority, LOG_ERR);
    EXPECT_EQ(line.facility, LOG_USER);
    EXPECT_EQ(line.ident, "sel");
    EXPECT_EQ(line.pid, pid);
    const std::string head = "user root: get sel lock error -3: can't acquire lock with error: ";
    EXPECT_TRUE(line.text == head + strerror(EAGAIN) + "\n" ||
                line.text == head + strerror(EACCES) + "\n")
        << line.text;
  }
}

}  // namespace
