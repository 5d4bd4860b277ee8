// The real `sel` in a module root: the front end, the session and its messages.
#include <syslog.h>

#include <chrono>

#include "tests/support/root_test.h"

namespace {

using CliTest = RootTest;

// Output that cannot be written: a closed descriptor is never handed to a file the tool
// opens (the listing would land in it), and a failed write is logged once.
TEST_F(CliTest, OutputThatCannotBeWritten) {
  write_file("/mnt/logs/sel/sel.inf", "1 0 0 0 0\n");
  const struct {
    const char* redirect;
    std::vector<std::string> logged;
  } cases[] = {
      {">&-", {}},
      {">&- 2>&- <&-", {}},
      {">/dev/full", {std::string("error writing standard output: ") + strerror(ENOSPC) + "\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.redirect);
    SyslogSink sink;
    std::vector<std::string> argv = {"/bin/sh", "-c", std::string("exec \"$@\" ") + c.redirect,
                                     "sh"};
    for (const std::string& word : program(SEL_BINARY, {"info"})) argv.push_back(word);
    const RunResult r = run(argv);
    EXPECT_EQ(r.exit_code(), 0);
    std::vector<std::string> logged;
    for (const LogLine& line : sink.take()) logged.push_back(line.text);
    EXPECT_EQ(logged, c.logged);
    EXPECT_EQ(read_file("/velmar/run/sel").find('\n'), std::string::npos) << "the lock file";
  }
}

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
