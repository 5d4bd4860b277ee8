// The session lock in a module root, called in-process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "lib/session_lock.h"
#include "tests/support/root_test.h"

namespace {

class SessionLockTest : public RootTest {
 protected:
  void TearDown() override { session_lock_release(); }
};

std::string owner_of_this_process() { return "root," + std::to_string(getpid()); }

TEST_F(SessionLockTest, CreatesTheLockFileForEverybody) {
  const mode_t old = umask(077);
  ASSERT_EQ(session_lock_try("sel", nullptr), 1);
  EXPECT_EQ(umask(old), 077u) << "the caller's mask must be restored";
  struct stat st {};
  ASSERT_EQ(stat("/velmar/run/sel", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  EXPECT_EQ(read_file("/velmar/run/sel"), owner_of_this_process());
}

TEST_F(SessionLockTest, HoldingReleasingAndHoldingAgain) {
  EXPECT_EQ(session_lock_release(), -1) << "nothing held yet";
  write_file("/velmar/run/sel", "a much longer owner text from an earlier holder,1");
  ASSERT_EQ(session_lock_try("sel", nullptr), 1);
  EXPECT_EQ(read_file("/velmar/run/sel"), owner_of_this_process()) << "truncated first";
  EXPECT_EQ(session_lock_try("sel", nullptr), -14);
  EXPECT_EQ(session_lock_try("other", nullptr), -14);
  EXPECT_FALSE(exists("/velmar/run/other"));
  EXPECT_EQ(session_lock_release(), 0);
  EXPECT_EQ(session_lock_release(), -1);
  EXPECT_EQ(read_file("/velmar/run/sel"), owner_of_this_process()) << "left in place";
  EXPECT_EQ(session_lock_try("sel", nullptr), 1);
}

TEST_F(SessionLockTest, LongToolNameIsCutToFitThePath) {
  const std::string name(40, 'n');
  ASSERT_EQ(session_lock_try(name.c_str(), nullptr), 1);
  const std::string path = "/velmar/run/" + name.substr(0, 38);
  EXPECT_EQ(path.size(), 50u);
  EXPECT_TRUE(exists(path));
  EXPECT_FALSE(exists("/velmar/run/" + name));
}

TEST_F(SessionLockTest, HeldByAnotherProcess) {
  LockHolder other("/velmar/run/sel");
  errno = 0;
  EXPECT_EQ(session_lock_try("sel", nullptr), -3);
  EXPECT_TRUE(errno == EAGAIN || errno == EACCES) << strerror(errno);
  EXPECT_EQ(session_lock_release(), -1) << "a failed acquisition holds nothing";
  other.release();
  EXPECT_EQ(session_lock_try("sel", nullptr), 1);
}

TEST_F(SessionLockTest, MissingDirectory) {
  rmdir("/velmar/run");
  EXPECT_EQ(session_lock_try("sel", nullptr), -1);
  mkdir("/velmar/run", 0755);
}

TEST_F(SessionLockTest, OwnerTextIsCutAt50) {
  ASSERT_EQ(session_lock_try("sel", nullptr), 1);
  EXPECT_EQ(session_lock_write_owner(std::string(60, 'u').c_str(), 1234), 1);
  EXPECT_EQ(read_file("/velmar/run/sel"), std::string(50, 'u'));
  EXPECT_EQ(session_lock_write_owner("operator", 7), 1);
  EXPECT_EQ(read_file("/velmar/run/sel"), "operator,7");
}

TEST_F(SessionLockTest, ErrorTexts) {
  EXPECT_STREQ(session_lock_strerror(-1), "can't open lock file");
  EXPECT_STREQ(session_lock_strerror(-3), "can't acquire lock with error");
  EXPECT_STREQ(session_lock_strerror(-5), "can't find delimeter");
  EXPECT_STREQ(session_lock_strerror(-7), "can't message configd");
  EXPECT_STREQ(session_lock_strerror(-15), "can't allocate packet buffer");
  for (int code : {1, 0, -16, -1000}) EXPECT_STREQ(session_lock_strerror(code), "unknown");
}

volatile sig_atomic_t seen_signal = 0;
void remember(int signo) { seen_signal = signo; }

TEST_F(SessionLockTest, Sigusr1RunsTheCallbackOrEndsTheHolder) {
  ASSERT_EQ(session_lock_try("sel", remember), 1);
  raise(SIGUSR1);
  EXPECT_EQ(seen_signal, 10);
  EXPECT_EQ(session_lock_release(), 0);

  const pid_t child = fork();
  if (child == 0) {
    if (session_lock_try("sel", nullptr) != 1) _exit(3);
    raise(SIGUSR1);
    _exit(4);  // not reached: the handler ends the process with 0
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(session_lock_try("sel", nullptr), 1) << "the ended holder's lock is free";
}

}  // namespace
