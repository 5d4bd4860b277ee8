// The session lock in a module root, called in-process.

#include "lib/session_lock.h"
#include "lib/session_start.h"
#include "tests/support/root_test.h"

namespace {

class SessionLockTest : public RootTest {
 protected:
  void TearDown() override { session_lock_release(); }
};

TEST_F(SessionLockTest, TakingHoldingAndReleasing) {
  const std::string owner = "root," + std::to_string(getpid());
  EXPECT_EQ(session_lock_release(), -1) << "nothing held yet";
  const mode_t old = umask(077);
  ASSERT_EQ(session_lock_try("sel", nullptr), 1);
  EXPECT_EQ(umask(old), 077u) << "the caller's mask must be restored";
  struct stat st {};
  ASSERT_EQ(stat("/velmar/run/sel", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  EXPECT_EQ(session_lock_release(), 0);
  write_file("/velmar/run/sel", "a much longer owner text from an earlier holder,1");
  ASSERT_EQ(session_lock_try("sel", nullptr), 1);
  EXPECT_EQ(read_file("/velmar/run/sel"), owner) << "truncated first, no newline";
  EXPECT_EQ(session_lock_try("sel", nullptr), -14);
  EXPECT_EQ(session_lock_try("other", nullptr), -14);
  EXPECT_FALSE(exists("/velmar/run/other"));
  EXPECT_EQ(session_lock_write_owner(std::string(60, 'u').c_str(), 1234), 1);
  EXPECT_EQ(read_file("/velmar/run/sel"), std::string(50, 'u')) << "cut at 50";
  EXPECT_EQ(session_lock_release(), 0);
  EXPECT_EQ(session_lock_release(), -1);
  EXPECT_TRUE(exists("/velmar/run/sel")) << "left in place";

  // A name of 40 characters is cut to its first 38: the path is 50 long.
  const std::string name(40, 'n');
  ASSERT_EQ(session_lock_try(name.c_str(), nullptr), 1);
  EXPECT_TRUE(exists("/velmar/run/" + name.substr(0, 38)));
  EXPECT_EQ(session_lock_release(), 0);

  LockHolder other("/velmar/run/sel");
  errno = 0;
  EXPECT_EQ(session_lock_try("sel", nullptr), -3);
  EXPECT_TRUE(errno == EAGAIN || errno == EACCES) << strerror(errno);
  EXPECT_EQ(session_lock_release(), -1) << "a failed acquisition holds nothing";
  other.release();
  EXPECT_EQ(session_lock_try("sel", nullptr), 1);
}

TEST_F(SessionLockTest, MissingDirectoryAndErrorTexts) {
  ASSERT_EQ(rmdir("/velmar/run"), 0);
  EXPECT_EQ(session_lock_try("sel", nullptr), -1);
  mkdir("/velmar/run", 0755);
  // A FIFO there fails as an open, and the log says what is wrong.
  ASSERT_EQ(mkfifo("/velmar/run/sel", 0666), 0);
  SyslogSink sink;
  EXPECT_EQ(session_start("sel", 1), -1);
  EXPECT_TRUE(sink.arrives("/velmar/run/sel is not a regular file: remove it\n"));
  // The texts at both ends of the table, two neighbours, and codes past them.
  EXPECT_STREQ(session_lock_strerror(-1), "can't open lock file");
  EXPECT_STREQ(session_lock_strerror(-5), "can't find delimeter");
  EXPECT_STREQ(session_lock_strerror(-6), "can't touch pid");
  EXPECT_STREQ(session_lock_strerror(-15), "can't allocate packet buffer");
  for (int code : {1, 0, -16}) EXPECT_STREQ(session_lock_strerror(code), "unknown");
}

volatile sig_atomic_t seen_signal = 0;
void remember(int signo) { seen_signal = signo; }

TEST_F(SessionLockTest, Sigusr1RunsTheCallbackOrEndsTheHolder) {
  ASSERT_EQ(session_lock_try("sel", remember), 1);
  raise(SIGUSR1);
  EXPECT_EQ(seen_signal, 10);
  EXPECT_EQ(session_lock_release(), 0);
  EXPECT_EQ(signal(SIGUSR1, SIG_DFL), SIG_DFL) << "the release restores the default action";

  const pid_t child = fork();
  if (child == 0) {
    if (session_lock_try("sel", nullptr) != 1) _exit(3);
    raise(SIGUSR1);
    _exit(4);  // not reached: the handler ends the process with 0
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(session_lock_try("sel", nullptr), 1) << "the ended holder's lock is free";
}

}  // namespace
