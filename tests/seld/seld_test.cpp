// seld against a real store in a module root: where records go, the file change at
// 1000, the ring's wrap at 4000, the clear, messages it must refuse, a full disk, and
// what the stand-ins do at start.

#include <sys/mount.h>

#include "lib/coding.h"
#include "tests/support/root_test.h"
#include "store/sel_format.h"
#include "standins/inject/inject_records.h"
#include "standins/seld/seld_request.h"

namespace {

constexpr std::uint32_t kSeed = 5;
const std::string kDir = "/mnt/logs/sel/";

// A message as msgrcv() leaves it: pri, the header fields, the count, the bodies.
std::vector<unsigned char> message(std::int32_t type, std::int32_t count, std::size_t bodies,
                                   std::int32_t size_error = 0) {
  std::vector<unsigned char> m(offsetof(SelRequest, body) + bodies * SEL_RECORD_BODY_SIZE);
  const MsgHeader h{1, type, 0, 0,
                    static_cast<std::int32_t>(m.size() - sizeof(long)) + size_error};
  memcpy(m.data(), &h, sizeof h);
  memcpy(m.data() + offsetof(SelRequest, count), &count, sizeof count);
  return m;
}

// Sends records `from` to `to` - 1 of the random sequence in requests of 73, so that
// requests straddle the file boundaries.
void feed(std::uint32_t from, std::uint32_t to) {
  while (from < to) {
    const std::uint32_t n = to - from < 73 ? to - from : 73;
    std::vector<unsigned char> m = message(SEL_REQUEST_TYPE, static_cast<std::int32_t>(n), n);
    for (std::uint32_t i = 0; i < n; ++i) {
      const SelRecord rec = inject_random_record(kSeed, from + i);
      memcpy(m.data() + offsetof(SelRequest, body) + i * SEL_RECORD_BODY_SIZE,
             rec.bytes.data() + 4, SEL_RECORD_BODY_SIZE);
    }
    ASSERT_EQ(seld_handle_message(m.data(), m.size()), SELD_APPLIED);
    from += n;
  }
}

std::string record_files() {
  std::string all;
  for (int f = 0; f < 4; ++f) all += '|' + read_file(kDir + "sel." + std::to_string(f));
  return all;
}

std::string store_files() { return read_file(kDir + "sel.inf") + record_files(); }

// The info file's text; a FIFO there is not read.
std::string info_text() {
  struct stat st {};
  if (lstat(SEL_INFO_FILE, &st) == 0 && !S_ISREG(st.st_mode)) return "(not a file)";
  return read_file(SEL_INFO_FILE);
}

// Whether `pid` has ended within `seconds`; it is left to be reaped.
bool ends_within(pid_t pid, int seconds) {
  return wait_until([&] {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
  }, seconds);
}

// The store holds the newest `count` of `sent` records, in ring order from the oldest
// file, each with the id of its slot.
void expect_ring(std::uint32_t sent, int count, int oldest) {
  std::string ring;
  for (int i = 0; i < 4; ++i) ring += read_file(kDir + "sel." + std::to_string((oldest + i) % 4));
  ASSERT_EQ(ring.size(), static_cast<std::size_t>(count) * SEL_RECORD_SIZE);
  for (int i = 0; i < count; ++i) {
    const auto* rec = reinterpret_cast<const unsigned char*>(ring.data()) + i * SEL_RECORD_SIZE;
    const int slot = (oldest * 1000 + i) % 4000;
    ASSERT_EQ(load_be32(rec), static_cast<std::uint32_t>(slot + 1)) << "record " << i;
    const SelRecord want = inject_random_record(kSeed, sent - static_cast<std::uint32_t>(count) +
                                                           static_cast<std::uint32_t>(i));
    ASSERT_EQ(memcmp(rec + 4, want.bytes.data() + 4, SEL_RECORD_BODY_SIZE), 0) << "record " << i;
  }
}

using SeldTest = RootTest;

TEST_F(SeldTest, AppendsMovesOnAndWrapsTheRing) {
  struct Case {
    std::uint32_t sent;    // records sent in all, from an empty store
    const char* info;
    int oldest;
  };
  const Case cases[] = {
      {1, "1 1 0 0 1\n", 0},
      {1000, "1 1000 0 0 1000\n", 0},        // file 0 full, still the newest
      {1001, "1 1001 0 1 1001\n", 0},        // the next file begins
      {4000, "1 4000 0 3 4000\n", 0},        // the ring is full
      {4001, "1 3001 1 0 1\n", 1},           // file 0 dropped and begun again
      {5001, "1 3001 2 1 1001\n", 2},
      {8000, "1 4000 0 3 4000\n", 0},        // a whole turn
  };
  std::uint32_t sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    feed(sent, c.sent);
    sent = c.sent;
    EXPECT_EQ(read_file(kDir + "sel.inf"), c.info);
    const int count = std::stoi(std::string(c.info).substr(2));
    expect_ring(sent, count, c.oldest);
  }
  // The clear empties every file; the next record is id 1 again.
  std::vector<unsigned char> clear = message(SEL_REQUEST_TYPE, SEL_REQUEST_CLEAR, 1);
  ASSERT_EQ(seld_handle_message(clear.data(), clear.size()), SELD_APPLIED);
  EXPECT_EQ(store_files(), "1 0 0 0 0\n||||");
  feed(sent, sent + 1);
  EXPECT_EQ(read_file(kDir + "sel.inf"), "1 1 0 0 1\n");
}

TEST_F(SeldTest, MalformedMessagesLeaveTheStoreAlone) {
  SyslogSink sink;
  feed(0, 1500);
  const std::string before = store_files();
  sink.take();

  struct Case {
    const char* what;
    std::vector<unsigned char> msg;
  };
  std::vector<unsigned char> no_count = message(SEL_REQUEST_TYPE, 1, 1);
  no_count.resize(offsetof(SelRequest, count) + 2);
  const Case cases[] = {
      {"a packet's type", message(2, 1, 1)},
      {"size one more than sent", message(SEL_REQUEST_TYPE, 1, 1, 1)},
      {"cut before the count", no_count},
      {"count 0", message(SEL_REQUEST_TYPE, 0, 1)},
      {"count 10^6", message(SEL_REQUEST_TYPE, 1000000, 1)},
      {"count 2, one body", message(SEL_REQUEST_TYPE, 2, 1)},
      {"count 1, two bodies", message(SEL_REQUEST_TYPE, 1, 2)},
      {"a clear with two bodies", message(SEL_REQUEST_TYPE, -1, 2)},
      {"more bodies than a queue takes", message(SEL_REQUEST_TYPE, 137, 137)},
      {"nothing at all", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(seld_handle_message(c.msg.empty() ? nullptr : c.msg.data(), c.msg.size()),
              SELD_REJECTED)
        << c.what;
    EXPECT_EQ(sink.take().size(), 1U) << c.what;
  }
  EXPECT_EQ(store_files(), before);
}

// A full disk costs the records that do not fit, never the store: the clear frees the
// space first, and records go in again after it.
TEST_F(SeldTest, AFullDiskLosesOnlyWhatDoesNotFit) {
  ASSERT_EQ(mount("tmpfs", "/mnt/logs/sel", "tmpfs", 0, "size=150k"), 0) << strerror(errno);
  SyslogSink sink;
  std::uint32_t sent = 0;
  std::vector<unsigned char> one = message(SEL_REQUEST_TYPE, 73, 73);
  while (sent < 4000 && seld_handle_message(one.data(), one.size()) == SELD_APPLIED) sent += 73;
  ASSERT_LT(sent, 4000U) << "150 KiB took the whole ring";
  bool logged = false;
  for (const LogLine& line : sink.take()) {
    logged |= line.text.find("No space left") != std::string::npos;
  }
  EXPECT_TRUE(logged);
  // Every record that the info file promises is in its file.
  SelInfo info{};
  ASSERT_TRUE(sel_read_info(SEL_INFO_FILE, &info).ok());
  EXPECT_EQ(sel_info_faults(info), 0U);
  for (int f = 0; f < 4; ++f) {
    const int promised = sel_ring_records_in(info.rec_count, info.oldest_file, f);
    EXPECT_GE(read_file(kDir + "sel." + std::to_string(f)).size(), promised * 64U);
  }
  std::vector<unsigned char> clear = message(SEL_REQUEST_TYPE, SEL_REQUEST_CLEAR, 1);
  ASSERT_EQ(seld_handle_message(clear.data(), clear.size()), SELD_APPLIED);
  EXPECT_EQ(store_files(), "1 0 0 0 0\n||||");
  feed(0, 1);
}

// seld at start refuses a second seld and a store that is no ring, rebuilds the info file
// from the record files, ends on SIGTERM behind a reader, and never changes a record file.
TEST_F(SeldTest, StartUp) {
  enum Also { kNothing, kSecondSeld, kReaderHoldsStoreLock };
  struct Row {
    const char* what;
    int status;
    const char* says;                  // in its output
    int records, oldest;               // the ring written first
    const char* damage;                // then run in the store
    const char* info_after = nullptr;  // nullptr: unchanged
    const char* up = nullptr;          // the log line that shows it running: SIGTERM then
    Also also = kNothing;
    const char* redirect = "";         // of its standard descriptors, by the shell
  };
  const Row rows[] = {
      {"a second seld", 2, "another seld", 1500, 0, "true", nullptr, nullptr, kSecondSeld},
      {"no info file", 0, "", 2500, 3, "rm sel.inf", "1 2500 3 1 1500\n", "reading queue"},
      {"fewer promised than held", 0, "", 2500, 0, "echo 1 10 0 0 10 >sel.inf",
       "1 2500 0 2 2500\n", "reading queue"},
      {"a full ring, no two numbers agree", 2, "which is the oldest", 4000, 1,
       "echo 1 4000 1 2 500 >sel.inf"},
      {"SIGTERM while a reader keeps the store lock", 0, "", 4000, 0,
       "echo 1 4000 0 0 4000 >sel.inf", nullptr, "rebuilding", kReaderHoldsStoreLock},
      {"a link at sel.2", 2, "sel.2 is not a regular file", 2500, 0,
       "rm sel.2 && ln -s /tmp/target sel.2"},
      // What it says goes to the system log alone, not into what took standard error's place.
      {"a FIFO at sel.inf, standard error closed", 2, "", 2500, 0, "rm sel.inf && mkfifo sel.inf",
       nullptr, nullptr, kNothing, "2>&-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SetUp();
    SyslogSink sink;
    plain_store(row.records, row.oldest);
    write_file("/tmp/target", "precious");
    ASSERT_EQ(run({"sh", "-c", std::string("cd /mnt/logs/sel && ") + row.damage}).exit_code(), 0);
    const std::string info_before = info_text();
    const std::string records_before = record_files();
    std::unique_ptr<Running> first;
    if (row.also == kSecondSeld) {
      first = std::make_unique<Running>(program(SELD_BINARY, {}));
      ASSERT_TRUE(sink.arrives("reading queue", first->pid()));
    }
    std::unique_ptr<LockHolder> reader;
    if (row.also == kReaderHoldsStoreLock) {
      reader = std::make_unique<LockHolder>("/velmar/run/seldb.lck");
    }
    std::vector<std::string> argv = {"sh", "-c", std::string("exec \"$@\" ") + row.redirect, "sh"};
    for (const std::string& word : program(SELD_BINARY, {})) argv.push_back(word);
    Running p(argv);
    if (row.up != nullptr) {
      EXPECT_TRUE(sink.arrives(row.up, p.pid())) << "not logged: " << row.up;
      kill(p.pid(), SIGTERM);
    }
    if (!ends_within(p.pid(), 60)) {
      ADD_FAILURE() << "still running";
      continue;
    }
    const RunResult r = p.finish();
    EXPECT_EQ(r.exit_code(), row.status) << r.err;
    EXPECT_NE((r.out + r.err).find(row.says), std::string::npos) << r.out << r.err;
    EXPECT_EQ(info_text(), row.info_after != nullptr ? row.info_after : info_before);
    EXPECT_TRUE(record_files() == records_before) << "a record file changed";
    EXPECT_EQ(read_file("/tmp/target"), "precious");
    (void)sink.take();  // fails on a message that is no syslog one
    if (first) {
      EXPECT_FALSE(ends_within(first->pid(), 0)) << "the first seld stopped";
    }
  }
}

}  // namespace
