// sel-save: snapshots of a store that seld keeps appending to, each sound; the lock
// order; what it saves of a damaged store; what an interrupted one leaves.
#include <fcntl.h>

#include "tests/support/root_test.h"

namespace {

using SaveTest = RootTest;

RunResult shell(const std::string& command) { return run({"sh", "-c", command}); }
RunResult check(const std::string& snapshot) {
  return run(program(SELEXPORT_BINARY, {"--check", snapshot}));
}

// The process that holds a write lock on `path`, or 0.
pid_t lock_holder(const char* path) {
  const int fd = open(path, O_RDWR | O_CLOEXEC);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool asked = fd >= 0 && fcntl(fd, F_GETLK, &fl) == 0;
  if (fd >= 0) close(fd);
  return asked && fl.l_type != F_UNLCK ? fl.l_pid : 0;
}

TEST_F(SaveTest, SnapshotsOfAStoreBeingWrittenAreSound) {
  Running seld(program(SELD_BINARY, {}));
  ASSERT_TRUE(wait_until([] { return exists("/mnt/logs/sel/sel.inf"); })) << "seld made no store";
  // As fast as it can, for longer than the test: the ring turns all the while.
  Running injector(program(SEL_INJECT_BINARY, {"--batch", "136", "random", "100000000", "1"}));
  std::string first, last;
  for (int i = 0; i < 6; ++i) {
    const RunResult save = run(program(SEL_SAVE_BINARY, {}));
    ASSERT_EQ(save.exit_code(), 0) << save.err;
    const std::string tar = "/tmp/snap" + std::to_string(i).append(".tar");
    write_file(tar, save.out);
    const RunResult c = check(tar);
    EXPECT_EQ(c.exit_code(), 0) << c.out;
    (i == 0 ? first : last) = save.out;
  }
  EXPECT_NE(first, last) << "seld wrote nothing between the snapshots";
  const RunResult to_dir = run(program(SEL_SAVE_BINARY, {"-o", "/tmp/live"}));
  EXPECT_EQ(to_dir.exit_code(), 0) << to_dir.err;
  EXPECT_EQ(check("/tmp/live").exit_code(), 0);

  // Once nothing writes, the archive and the directory hold the same bytes (but the
  // times at which they were taken).
  kill(injector.pid(), SIGKILL);
  kill(seld.pid(), SIGTERM);
  EXPECT_EQ(seld.finish().exit_code(), 0);
  write_file("/tmp/still.tar", run(program(SEL_SAVE_BINARY, {})).out);
  ASSERT_EQ(run(program(SEL_SAVE_BINARY, {"-o", "/tmp/still"})).exit_code(), 0);
  const RunResult same = shell(
      "mkdir /tmp/x && tar xf /tmp/still.tar -C /tmp/x && "
      "diff -r -x sel.meta /tmp/x/sel /tmp/still && ls /tmp/still | wc -l");
  EXPECT_EQ(same.exit_code(), 0) << same.out << same.err;
  EXPECT_EQ(same.out, "6\n");  // the ring is full: the info file, four record files, sel.meta
}

TEST_F(SaveTest, TakesTheStoreLockThenTheInfoLock) {
  plain_store(10, 0);
  LockHolder info("/velmar/run/seli.lck");
  Running save(program(SEL_SAVE_BINARY, {"-o", "/tmp/snap"}));
  // It holds the store lock while it waits for the info lock.
  EXPECT_TRUE(wait_until([&] { return lock_holder("/velmar/run/seldb.lck") == save.pid(); }));
  EXPECT_FALSE(exists("/tmp/snap/sel.inf"));
  info.release();
  const RunResult r = save.finish();
  EXPECT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(check("/tmp/snap").exit_code(), 0);
  EXPECT_EQ(lock_holder("/velmar/run/seldb.lck") + lock_holder("/velmar/run/seli.lck"), 0);
}

TEST_F(SaveTest, SavesWhatThereIsOfADamagedStore) {
  const struct {
    const char* damage;  // run in the store's directory
    int status;
    const char* message;
    const char* finding;  // of selexport --check on the snapshot
  } cases[] = {
      {"truncate -s 70000 sel.1", 0, "", "sound: 3500 records"},  // only what is promised
      {"rm sel.3", 1, "sel-save: sel.3 is missing; the info file promises 500 records in it\n",
       "sel.3: missing"},
      {"echo 1 5000 0 0 0 >sel.inf", 1,
       "sel-save: sel.inf: record count 5000 is outside 0 to 4000; only the info file is saved\n",
       "record count 5000"},
      {"rm sel.inf", 2, "sel-save: cannot read /mnt/logs/sel/sel.inf: No such file or directory\n",
       nullptr},
      {"mkdir /tmp/snap", 2,
       "sel-save: cannot make /tmp/snap: File exists (name a new directory)\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.damage);
    ASSERT_EQ(shell("rm -rf /tmp/snap /mnt/logs/sel/*").exit_code(), 0);
    plain_store(3500, 0);
    ASSERT_EQ(shell(std::string("cd /mnt/logs/sel && ") + c.damage).exit_code(), 0);
    const RunResult r = run(program(SEL_SAVE_BINARY, {"-o", "/tmp/snap"}));
    EXPECT_EQ(r.exit_code(), c.status);
    EXPECT_EQ(r.err, c.message);
    if (c.finding != nullptr) {
      const RunResult found = check("/tmp/snap");
      EXPECT_NE(found.out.find(c.finding), std::string::npos) << found.out;
    }
  }
}

TEST_F(SaveTest, AnInterruptedSnapshotLeavesNoDirectory) {
  plain_store(10, 0);
  const struct {
    const char* held;  // by the test: sel-save waits for it
    int signal;
  } cases[] = {
      {"/velmar/run/seldb.lck", SIGTERM},
      {"/velmar/run/seli.lck", SIGINT},   // while it holds the store lock
      {"/velmar/run/seli.lck", SIGKILL},  // no handler runs: only the partial one is left
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signal));
    LockHolder lock(c.held);
    Running save(program(SEL_SAVE_BINARY, {"-o", "/tmp/snap/"}));
    EXPECT_TRUE(wait_until([&] { return has_open(save.pid(), c.held); }));
    kill(save.pid(), c.signal);
    const RunResult r = save.finish();
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == c.signal) << r.status;
    EXPECT_FALSE(exists("/tmp/snap"));
    EXPECT_EQ(shell("ls -d /tmp/snap.partial-*").exit_code() == 0, c.signal == SIGKILL);
    lock.release();
    EXPECT_EQ(run(program(SEL_SAVE_BINARY, {"-o", "/tmp/snap"})).exit_code(), 0);
    EXPECT_EQ(check("/tmp/snap").exit_code(), 0);
    ASSERT_EQ(shell("rm -r /tmp/snap*").exit_code(), 0);
  }
}

}  // namespace
