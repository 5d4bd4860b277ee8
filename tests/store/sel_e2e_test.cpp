// The real `sel` in a module root against sound and broken stores and surroundings, as a
// module that lost power mid-write or a store copied off a module may leave them. Each
// row gives what it must print, log and send to seld; whatever it meets, it must exit 0,
// leave every file of the store as it was, never open a record file outside the ring of
// four, and make its lock files for everybody whatever the caller's mask.
#include <filesystem>
#include <ostream>

#include "tests/support/root_test.h"

namespace {

constexpr const char* kStore = "/mnt/logs/sel";
constexpr const char* kInfo = "/mnt/logs/sel/sel.inf";
constexpr const char* kBadInfo = "Error reading SEL info\n";
constexpr const char* kPlanted = "/tmp/planted";  // where planted links point

std::string usage() {
  return std::string("Usage: ") + SEL_BINARY +
         " <option>\nAvailable options:\n        info\n        rd_all\n"
         "        rd_first <num_recs>\n        rd_last <num_recs>\n";
}

std::string summary(const std::string& numbers) {
  return "SEL version: 1\nMaximum number of records: 4000\n\n" + numbers;
}

// All of a store of 2500 records from file 3.
std::string all_2500() {
  return plain_lines(3001, 0, 1000) + plain_lines(1, 1000, 1000) + plain_lines(1001, 2000, 500);
}

// A store of 20 records under an info file with the given text.
void info_text(const char* text) {
  plain_store(20, 0);
  write_file(kInfo, text);
}

// seld's queue, filled until a message of any size would block.
void fill_seld_queue() {
  const int id = msgget(7, IPC_CREAT | 0666);
  ASSERT_GE(id, 0) << strerror(errno);
  struct {
    long pri;
    char text[4096];
  } msg{1, {}};
  for (size_t size = sizeof msg.text; size > 0;) {
    if (msgsnd(id, &msg, size, IPC_NOWAIT) == 0) continue;
    ASSERT_EQ(errno, EAGAIN) << strerror(errno);
    size /= 2;
  }
}

enum class Ending { Runs, Sigusr1WhenBlocked };

struct Row {
  const char* name;
  void (*setup)();
  std::vector<std::string> args;
  std::string expected;             // the whole standard output
  std::vector<std::string> logged;  // "<priority> <text>"
  int clear_requests = 0;           // that reach seld's queue
  Ending ending = Ending::Runs;
  const char* redirect = nullptr;   // of its standard descriptors, by the shell
};

// Rows show in test names by their name alone.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const std::string kNoSel0 = "3 Error open /mnt/logs/sel/sel.0 for read\n";

std::vector<Row> rows() {
  const auto sound = [] { plain_store(2500, 3); };
  return {
      // The usage text, for no option, an unknown one, or a missing count.
      {"NoOption", sound, {}, usage(), {}},
      {"FirstWithoutCount", sound, {"rd_first"}, usage(), {}},
      {"NotAnOption", sound, {"INFO"}, usage(), {}},

      // Sound stores: the summary (further arguments ignored), the listings and counts.
      {"SummaryOfEmptyStore", [] { plain_store(0, 0); }, {"info", "extra", "args"},
       summary("Number of records: 0\nRecord size: 64 Bytes\n"), {}},
      {"Summary", [] { plain_store(2500, 2); }, {"info"},
       summary("Number of records: 2500\nRecord size: 64 Bytes\nOldest record's id: 2001\n"
               "Latest record's id: 500\n"), {}},
      {"All", sound, {"rd_all"}, all_2500(), {}},
      {"FirstDecimalDigitsOnly", sound, {"rd_first", "08junk"}, plain_lines(3001, 0, 8), {}},
      {"LastNegative", sound, {"rd_last", "-5"}, "", {}},
      {"LastBlanksAndSign", sound, {"rd_last", "  +2"}, plain_lines(1499, 2498, 2), {}},
      {"FirstMoreThanHeld", sound, {"rd_first", "5000"},
       "SEL contains only 2500 records\n" + all_2500(), {}},
      {"LastOverlong", sound, {"rd_last", "99999999999"},
       "SEL contains only 2500 records\n" + all_2500(), {}},
      {"EmptyStore", [] { plain_store(0, 1); }, {"rd_first", "abc"}, "SEL is empty.\n", {}},
      // A zone that is no file is read as UTC, never waited on with the locks held.
      {"ZoneIsFifo", [] { plain_store(2500, 3); mkfifo("/tmp/zone", 0644); setenv("TZ", "/tmp/zone", 1); },
       {"rd_all"}, all_2500(), {}},
      {"Clear", sound, {"clear"}, "", {"4 Clear SEL\n"}, 1},
      // Output that cannot be written: a closed descriptor is never handed to a file that
      // the tool opens (the listing would land in it), and a failed write is logged once.
      {"AllClosed", sound, {"rd_last", "2"}, "", {}, 0, Ending::Runs, ">&- 2>&- <&-"},
      {"OutputFull", sound, {"info"}, "",
       {"3 error writing standard output: " + std::string(strerror(ENOSPC)) + "\n"}, 0,
       Ending::Runs, ">/dev/full"},

      // The info file: the summary shows whatever five numbers there are, as the user
      // sees what is wrong; no reading mode goes by them.
      {"InfoMissing", [] { info_text(""); unlink(kInfo); }, {"info"}, kBadInfo,
       {"3 Error open /mnt/logs/sel/sel.inf for read\n"}},
      {"InfoText", [] { info_text("version one\n"); }, {"info"}, kBadInfo,
       {"3 Bad SEL info in /mnt/logs/sel/sel.inf: holds 0 of its 5 numbers\n"}},
      {"InfoIsFifo", [] { info_text(""); unlink(kInfo); mkfifo(kInfo, 0644); }, {"info"},
       kBadInfo, {"3 Error open /mnt/logs/sel/sel.inf for read\n"}},
      {"InfoSummaryOutsideTheRing", [] { info_text("7 5000 99999999999 -2 12"); }, {"info"},
       "SEL version: 7\nMaximum number of records: 4000\n\nNumber of records: 5000\n"
       "Record size: 64 Bytes\nOldest record's id: -999\nLatest record's id: 12\n",
       {"3 Bad SEL info in /mnt/logs/sel/sel.inf: record count 5000 is outside 0 to 4000\n"}},
      {"RecCountAboveRing", [] { info_text("1 4001 0 0 20"); }, {"rd_last", "4001"}, kBadInfo,
       {"3 Bad SEL info in /mnt/logs/sel/sel.inf: record count 4001 is outside 0 to 4000\n"}},

      // The record files.
      {"RecordFileMissing", [] { plain_store(20, 0); unlink("/mnt/logs/sel/sel.0"); },
       {"rd_all"}, "Error reading sel.0\nClear SEL.\n", {kNoSel0, "4 Clear SEL\n"}, 1},
      {"RecordFileCutMidRecord",
       [] { plain_store(30, 0); ASSERT_EQ(truncate("/mnt/logs/sel/sel.0", 25 * 64 + 10), 0); },
       {"rd_all"}, plain_lines(1, 0, 20) + "SEL ends unexpectedly.\n", {}},
      {"NewestFileLongerThanPromised",
       [] { info_text("1 20 0 0 20\n"); ASSERT_EQ(truncate("/mnt/logs/sel/sel.0", 1312), 0); },
       {"rd_all"}, plain_lines(1, 0, 20), {}},
      {"RecordFileIsFifo",
       [] {
         plain_store(1020, 0);
         unlink("/mnt/logs/sel/sel.1");
         mkfifo("/mnt/logs/sel/sel.1", 0644);
       },
       {"rd_last", "30"}, plain_lines(991, 990, 10) + "Error reading sel.1: not a regular file\n",
       {"3 /mnt/logs/sel/sel.1 is not a regular file\n"}},

      // The lock files.
      {"StoreLockIsLink", [] { plain_store(20, 0); symlink(kPlanted, "/velmar/run/seldb.lck"); },
       {"rd_all"}, "Error reading SEL database\n",
       {"3 error opening /velmar/run/seldb.lck: " + std::string(strerror(ELOOP)) + "\n"}},
      {"InfoLockIsFifo", [] { plain_store(20, 0); mkfifo("/velmar/run/seli.lck", 0666); },
       {"info"}, kBadInfo,
       {"3 error opening /velmar/run/seli.lck: " + std::string(strerror(ENXIO)) + "\n",
        "3 sel_get_info: Fail to get SEL_LOCK_INFO\n"}},

      // seld's queue: the tool waits in the send, where a takeover's SIGUSR1 ends it.
      {"SeldQueueFull", [] { plain_store(20, 0); fill_seld_queue(); }, {"clear"}, "",
       {"4 Clear SEL\n"}, 0, Ending::Sigusr1WhenBlocked},
  };
}

// Every file under the store directory: its kind, mode and content.
std::map<std::string, std::string> store_files() {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& e : std::filesystem::recursive_directory_iterator(kStore, error)) {
    struct stat st {};
    lstat(e.path().c_str(), &st);
    files[e.path()] = std::to_string(st.st_mode) + " " + (S_ISREG(st.st_mode) ? read_file(e.path()) : "");
  }
  return files;
}

// Takes the clear requests waiting on seld's queue.
int take_clear_requests() {
  const int id = msgget(7, 0);
  if (id < 0) return 0;
  struct {
    long pri;
    std::int32_t fields[2048];  // type, pid, skey, size, count
  } msg{};
  int found = 0;
  for (ssize_t n; (n = msgrcv(id, &msg, sizeof msg.fields, 0, IPC_NOWAIT)) >= 0; ++found) {
    EXPECT_EQ(n, 80);
    EXPECT_EQ(msg.pri, 1);
    EXPECT_EQ(msg.fields[0], 6);
    EXPECT_EQ(msg.fields[3], 80);
    EXPECT_EQ(msg.fields[4], -1);
  }
  return found;
}

msgqnum_t seld_queue_length() {
  msqid_ds ds{};
  const int id = msgget(7, 0);
  return id >= 0 && msgctl(id, IPC_STAT, &ds) == 0 ? ds.msg_qnum : 0;
}

class SelTest : public RootTest, public testing::WithParamInterface<Row> {};

TEST_P(SelTest, PrintsLogsAndSendsWhatTheRowSays) {
  const Row& row = GetParam();
  // Files of every index a miscounted ring could reach, so that opening one shows.
  for (int index : {-4, -3, -2, -1, 4, 5, 6, 7})
    write_file(std::string(kStore) + "/sel." + std::to_string(index), "");
  row.setup();
  const auto before = store_files();
  const msgqnum_t queued = seld_queue_length();
  OpenWatch watch(kStore);
  SyslogSink sink;
  const mode_t mask = umask(077);
  std::vector<std::string> argv = program(SEL_BINARY, row.args);
  if (row.redirect != nullptr)
    argv.insert(argv.begin(), {"/bin/sh", "-c", std::string("exec \"$@\" ") + row.redirect, "sh"});
  Running sel(argv);
  umask(mask);
  if (row.ending == Ending::Sigusr1WhenBlocked) {
    EXPECT_TRUE(wait_until([&] { return sleeps_in(sel.pid(), "msgsnd"); }))
        << "the send to a full queue waits";
    kill(sel.pid(), SIGUSR1);
  }
  const RunResult r = sel.finish();
  EXPECT_EQ(r.exit_code(), 0) << "status " << r.status;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, row.expected);
  std::vector<std::string> logged;
  for (const LogLine& line : sink.take())
    logged.push_back(std::to_string(line.priority) + " " + line.text);
  EXPECT_EQ(logged, row.logged);

  for (const auto& [name, opens] : watch.opened()) {
    EXPECT_TRUE(name == "sel.inf" || (name.size() == 5 && name.compare(0, 4, "sel.") == 0 &&
                                      name[4] >= '0' && name[4] <= '3'))
        << "opened " << name;
  }
  EXPECT_EQ(store_files(), before);
  EXPECT_FALSE(exists(kPlanted)) << "a planted link was followed";
  EXPECT_EQ(read_file("/velmar/run/sel").find('\n'), std::string::npos) << "in the lock file";
  for (const char* lock : {"/velmar/run/seldb.lck", "/velmar/run/seli.lck", "/velmar/run/sel"}) {
    struct stat st {};
    if (lstat(lock, &st) == 0 && S_ISREG(st.st_mode)) {
      EXPECT_EQ(st.st_mode & 0777, 0666u) << lock;
    }
  }
  if (row.ending == Ending::Runs) {
    EXPECT_EQ(take_clear_requests(), row.clear_requests);
  } else {
    EXPECT_EQ(seld_queue_length(), queued);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SelTest, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row>& row) {
                           return std::string(row.param.name);
                         });

TEST_F(RootTest, SelWaitsForTheStoreLock) {
  plain_store(20, 0);
  auto holder = std::make_unique<LockHolder>("/velmar/run/seldb.lck");
  Running waiting(program(SEL_BINARY, {"rd_first", "1"}));
  EXPECT_TRUE(wait_until([&] { return has_open(waiting.pid(), "/velmar/run/seldb.lck"); }));
  holder.reset();
  EXPECT_EQ(waiting.finish().out, plain_lines(1, 0, 1));
}

}  // namespace
