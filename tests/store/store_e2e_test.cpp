// The real `sel` reading stores in a module root: what it prints, logs and sends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <memory>

#include "tests/support/root_test.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr const char* kStore = "/mnt/logs/sel";

class StoreE2eTest : public RootTest {
 protected:
  void SetUp() override {
    RootTest::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void write_store(int rec_count, int oldest_file) {
    const SelInfo ring = sel_ring_info(1, rec_count, oldest_file);
    ASSERT_EQ(store_write(kStore, ring, store_plain_record, nullptr), 0);
  }
};

// The line of the plain record with ring index `index` and id `id`.
std::string plain_line(int id, int index) {
  const time_t t = index;
  return "Record " + std::to_string(id) + ": " + std::string(ctime(&t), 24) +
         " [unknown-type.normal]: Don't know how to decode this record.\n";
}

std::string plain_lines(int first_id, int first_index, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += plain_line(first_id + i, first_index + i);
  return text;
}

// The clear requests waiting on seld's queue.
int clear_requests_waiting() {
  const int id = msgget(7, 0);
  if (id < 0) return 0;
  int found = 0;
  struct {
    long pri;
    unsigned char body[8192];
  } msg{};
  ssize_t n;
  while ((n = msgrcv(id, &msg, sizeof msg.body, 0, IPC_NOWAIT)) >= 0) {
    int32_t fields[5];  // type, pid, skey, size, count
    memcpy(fields, msg.body, sizeof fields);
    EXPECT_EQ(n, 80);
    EXPECT_EQ(msg.pri, 1);
    EXPECT_EQ(fields[0], 6);
    EXPECT_EQ(fields[3], 80);
    EXPECT_EQ(fields[4], -1);
    ++found;
  }
  return found;
}

TEST_F(StoreE2eTest, Summary) {
  struct Case {
    int rec_count, oldest;
    std::string expected;
  } cases[] = {
      {0, 0,
       "SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 0\n"
       "Record size: 64 Bytes\n"},
      {2500, 2,
       "SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 2500\n"
       "Record size: 64 Bytes\nOldest record's id: 2001\nLatest record's id: 500\n"},
  };
  for (const Case& c : cases) {
    write_store(c.rec_count, c.oldest);
    const RunResult r = run(program(SEL_BINARY, {"info", "extra", "args"}));
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.out, c.expected);
  }
}

TEST_F(StoreE2eTest, Listings) {
  write_store(2500, 3);
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"rd_all"}, plain_lines(3001, 0, 1000) + plain_lines(1, 1000, 1000) +
                       plain_lines(1001, 2000, 500)},
      {{"rd_first", "3"}, plain_lines(3001, 0, 3)},
      {{"rd_first", "2junk"}, plain_lines(3001, 0, 2)},
      {{"rd_first", "abc"}, ""},
      {{"rd_last", "-5"}, ""},
      {{"rd_last", "  +2"}, plain_lines(1499, 2498, 2)},
      {{"rd_first", "5000"}, "SEL contains only 2500 records\n" + plain_lines(3001, 0, 1000) +
                                 plain_lines(1, 1000, 1000) + plain_lines(1001, 2000, 500)},
      {{"rd_last", "99999999999"}, "SEL contains only 2500 records\n" +
                                       plain_lines(3001, 0, 1000) + plain_lines(1, 1000, 1000) +
                                       plain_lines(1001, 2000, 500)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    const RunResult r = run(program(SEL_BINARY, c.args));
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.out, c.expected);
  }
  EXPECT_EQ(clear_requests_waiting(), 0);
}

TEST_F(StoreE2eTest, EmptyStore) {
  write_store(0, 1);
  for (const char* option : {"rd_all", "rd_first", "rd_last"}) {
    const RunResult r = run(program(SEL_BINARY, {option, "abc"}));
    EXPECT_EQ(r.out, "SEL is empty.\n") << option;
  }
}

TEST_F(StoreE2eTest, MissingRecordFileClearsTheStore) {
  write_store(2500, 0);
  unlink("/mnt/logs/sel/sel.1");
  SyslogSink sink;
  const RunResult r = run(program(SEL_BINARY, {"rd_all"}));
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out, plain_lines(1, 0, 1000) + "Error reading sel.1\nClear SEL.\n");
  const auto lines = sink.take();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].priority, LOG_ERR);
  EXPECT_EQ(lines[0].text, "Error open /mnt/logs/sel/sel.1 for read\n");
  EXPECT_EQ(lines[1].priority, LOG_WARNING);
  EXPECT_EQ(lines[1].text, "Clear SEL\n");
  EXPECT_EQ(clear_requests_waiting(), 1);
}

TEST_F(StoreE2eTest, ShortRecordFileEndsTheListing) {
  write_store(1500, 0);
  ASSERT_EQ(truncate("/mnt/logs/sel/sel.1", 100 * 64), 0);
  const RunResult r = run(program(SEL_BINARY, {"rd_last", "600"}));
  EXPECT_EQ(r.out, plain_lines(901, 900, 200) + "SEL ends unexpectedly.\n");
  EXPECT_EQ(clear_requests_waiting(), 0);
}

TEST_F(StoreE2eTest, InfoFileThatCannotBeUsed) {
  constexpr const char* kRefused = "Error reading SEL info\n";
  struct Case {
    const char* content;  // nullptr: no info file
    std::string info_out;  // what `info` prints; the reading modes print kRefused
    std::string logged;    // by every mode, once
  } cases[] = {
      {nullptr, kRefused, "Error open /mnt/logs/sel/sel.inf for read\n"},
      {"1 20 0", kRefused, "Bad SEL info in /mnt/logs/sel/sel.inf: holds 3 of its 5 numbers\n"},
      {"1 4001 0 0 1",
       "SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 4001\n"
       "Record size: 64 Bytes\nOldest record's id: 1\nLatest record's id: 1\n",
       "Bad SEL info in /mnt/logs/sel/sel.inf: record count 4001 is outside 0 to 4000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content == nullptr ? "(missing)" : c.content);
    write_store(20, 0);
    unlink("/mnt/logs/sel/sel.inf");
    if (c.content != nullptr) write_file("/mnt/logs/sel/sel.inf", c.content);
    for (const char* option : {"info", "rd_all", "rd_last"}) {
      SyslogSink sink;
      const RunResult r = run(program(SEL_BINARY, {option, "3"}));
      EXPECT_EQ(r.exit_code(), 0);
      EXPECT_EQ(r.out, std::string(option) == "info" ? c.info_out : kRefused) << option;
      const auto lines = sink.take();
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].priority, LOG_ERR);
      EXPECT_EQ(lines[0].text, c.logged);
    }
    EXPECT_EQ(clear_requests_waiting(), 0);
  }
}

TEST_F(StoreE2eTest, StoreLockFileThatCannotBeOpened) {
  write_store(20, 0);
  ASSERT_EQ(mkdir("/velmar/run/seldb.lck", 0755), 0);
  SyslogSink sink;
  const RunResult r = run(program(SEL_BINARY, {"rd_all"}));
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out, "Error reading SEL database\n");
  const auto lines = sink.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text,
            std::string("error opening /velmar/run/seldb.lck: ") + strerror(EISDIR) + "\n");
  EXPECT_EQ(clear_requests_waiting(), 0);
}

TEST_F(StoreE2eTest, LockFilesAreMadeForEverybody) {
  write_store(20, 0);
  umask(077);
  run(program(SEL_BINARY, {"info"}));
  umask(022);
  for (const char* path : {"/velmar/run/seldb.lck", "/velmar/run/seli.lck", "/velmar/run/sel"}) {
    struct stat st {};
    ASSERT_EQ(stat(path, &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, 0666u) << path;
  }
}

TEST_F(StoreE2eTest, WaitsForTheStoreLockAndEndsOnSigusr1) {
  write_store(20, 0);
  auto holder = std::make_unique<LockHolder>("/velmar/run/seldb.lck");
  Running waiting(program(SEL_BINARY, {"info"}));
  EXPECT_TRUE(wait_until([&] { return has_open(waiting.pid(), "/velmar/run/seldb.lck"); }));
  holder.reset();
  const RunResult r = waiting.finish();
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out,
            "SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 20\n"
            "Record size: 64 Bytes\nOldest record's id: 1\nLatest record's id: 20\n");

  // A session holder stuck on the store lock is ended by SIGUSR1 with status 0. It
  // opens that lock's file only once its session, and with it the handler, is in place.
  holder = std::make_unique<LockHolder>("/velmar/run/seldb.lck");
  Running stuck(program(SEL_BINARY, {"rd_all"}));
  ASSERT_TRUE(wait_until([&] { return has_open(stuck.pid(), "/velmar/run/seldb.lck"); }));
  kill(stuck.pid(), SIGUSR1);
  const RunResult ended = stuck.finish();
  EXPECT_TRUE(WIFEXITED(ended.status));
  EXPECT_EQ(ended.exit_code(), 0);
  EXPECT_EQ(ended.out, "");
}

TEST_F(StoreE2eTest, ClearPrintsNothing) {
  write_store(20, 0);
  const RunResult r = run(program(SEL_BINARY, {"clear"}));
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(clear_requests_waiting(), 1);
}

}  // namespace
