// The real `sel` against broken stores and broken surroundings, as a module that lost
// power mid-write or a store copied off a module may leave them. Whatever it meets, it
// must say what is wrong on standard output, exit 0, leave every file of the store as it
// was and never open a record file outside the ring of four.
//
// Unreadable record file: as root in the module root a mode of 000 is still readable and
// a FIFO would block the open, so a directory stands in its place: it opens, and every
// read of it fails.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/root_test.h"
#include "tools/storewriter/record_builder.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr const char* kStore = "/mnt/logs/sel";
constexpr const char* kInfo = "/mnt/logs/sel/sel.inf";
constexpr const char* kLocked = "Resource locked by another user. Please try again later.\n";

// A date as ctime prints it in UTC, worked out without the process's time zone.
std::string utc_date(std::int32_t when) {
  const time_t t = when;
  tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts);
  return text;
}

// The lines of store_plain_record from ring index `first_index` and id `first_id` on.
std::string plain_lines(int first_id, int first_index, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "Record " + std::to_string(first_id + i) + ": " + utc_date(first_index + i) +
            " [unknown-type.normal]: Don't know how to decode this record.\n";
  }
  return text;
}

// Numbers a reader cannot go by: the reason goes to the system log only.
constexpr const char* kBadInfo = "Error reading SEL info\n";

// Where planted links point: nothing may create it.
constexpr const char* kPlanted = "/tmp/planted";

// Records whose bytes are all 0xff, as they print.
std::string ones_lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "Record -1: Wed Dec 31 23:59:59 1969 [unknown-type.unknown-severity]: Don't know "
            "how to decode this record.\n";
  }
  return text;
}

void plain_store(int rec_count, int oldest_file) {
  ASSERT_EQ(
      store_write(kStore, sel_ring_info(1, rec_count, oldest_file), store_plain_record, nullptr),
      0);
}

// A store of 20 good records under an info file with the given text.
void info_text(const char* text) {
  plain_store(20, 0);
  write_file(kInfo, text);
}

void append(const std::string& path, const std::string& bytes) {
  write_file(path, read_file(path) + bytes);
}

// Ring index -> record, for stores of hand-made records.
SelRecord from_list(int index, void* ctx) {
  return static_cast<const std::vector<SelRecord>*>(ctx)->at(static_cast<size_t>(index));
}

void records_store(std::vector<SelRecord> records) {
  const SelInfo ring = sel_ring_info(1, static_cast<std::int32_t>(records.size()), 0);
  ASSERT_EQ(store_write(kStore, ring, from_list, &records), 0);
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
  std::string expected;  // the whole standard output
  int clear_requests;    // that reach seld's queue
  Ending ending = Ending::Runs;
};

// Rows show in test names by their name alone.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<Row> rows() {
  return {
      // The info file.
      {"InfoMissing", [] { info_text(""); unlink(kInfo); }, {"info"},
       "Error reading SEL info\n", 0},
      {"InfoEmpty", [] { info_text(""); }, {"rd_all"}, kBadInfo,
       0},
      {"InfoShort", [] { info_text("1 20 0"); }, {"rd_last", "3"},
       kBadInfo, 0},
      {"InfoText", [] { info_text("version one\n"); }, {"info"},
       kBadInfo, 0},
      {"InfoIsDirectory", [] { info_text(""); unlink(kInfo); mkdir(kInfo, 0755); }, {"rd_all"},
       kBadInfo, 0},
      {"InfoIsFifo", [] { info_text(""); unlink(kInfo); mkfifo(kInfo, 0644); }, {"info"},
       kBadInfo, 0},
      // The summary shows whatever five numbers there are: it is how a user sees what is wrong.
      {"InfoSummaryOutsideTheRing", [] { info_text("7 5000 9 -2 12"); }, {"info"},
       "SEL version: 7\nMaximum number of records: 4000\n\nNumber of records: 5000\n"
       "Record size: 64 Bytes\nOldest record's id: 9001\nLatest record's id: 12\n", 0},
      {"RecCountNegative", [] { info_text("1 -1 0 0 20"); }, {"rd_last", "3"},
       kBadInfo, 0},
      {"RecCountAboveRing", [] { info_text("1 4001 0 0 20"); }, {"rd_last", "4001"},
       kBadInfo, 0},
      // Read as the module reads it: an overlong number is held at the nearest int.
      {"RecCountOverlong", [] { info_text("1 4294967297 0 0 20"); }, {"rd_all"},
       kBadInfo, 0},
      {"OldestFileNegative", [] { info_text("1 20 -1 0 20"); }, {"rd_all"},
       kBadInfo, 0},
      {"OldestFileAboveRing", [] { info_text("1 20 4 0 20"); }, {"rd_first", "5"},
       kBadInfo, 0},
      {"LatestFileNegative", [] { info_text("1 20 0 -1 20"); }, {"rd_last", "3"},
       kBadInfo, 0},
      {"LatestFileAboveRing", [] { info_text("1 20 0 4 20"); }, {"rd_last", "3"},
       kBadInfo, 0},

      // The record files.
      {"FirstRecordFileMissing", [] { plain_store(20, 0); unlink("/mnt/logs/sel/sel.0"); },
       {"rd_all"}, "Error reading sel.0\nClear SEL.\n", 1},
      {"RecordFileMissingMidWalk", [] { plain_store(1020, 0); unlink("/mnt/logs/sel/sel.1"); },
       {"rd_last", "30"}, plain_lines(991, 990, 10) + "Error reading sel.1\nClear SEL.\n", 1},
      {"RecordFileEmpty",
       [] { plain_store(20, 0); ASSERT_EQ(truncate("/mnt/logs/sel/sel.0", 0), 0); }, {"rd_all"},
       "SEL ends unexpectedly.\n", 0},
      {"RecordFileCutMidRecord",
       [] { plain_store(30, 0); ASSERT_EQ(truncate("/mnt/logs/sel/sel.0", 25 * 64 + 10), 0); },
       {"rd_all"}, plain_lines(1, 0, 20) + "SEL ends unexpectedly.\n", 0},
      {"NewestFileLongerThanPromised",
       [] { plain_store(30, 0); write_file(kInfo, "1 20 0 0 20\n");
            append("/mnt/logs/sel/sel.0", std::string(32, '\xff')); },
       {"rd_all"}, plain_lines(1, 0, 20), 0},
      {"FullFileLongerThan1000Records",
       [] { plain_store(1020, 0); append("/mnt/logs/sel/sel.0", std::string(5 * 64, '\xff')); },
       {"rd_last", "25"},
       plain_lines(996, 995, 5) + ones_lines(5) + plain_lines(1001, 1000, 15), 0},
      {"RecordFileIsDirectory",
       [] {
         plain_store(1020, 0);
         unlink("/mnt/logs/sel/sel.1");
         mkdir("/mnt/logs/sel/sel.1", 0755);
       },
       {"rd_last", "30"}, plain_lines(991, 990, 10) + "Error reading sel.1: not a regular file\n",
       0},
      {"RecordFileIsFifo",
       [] {
         plain_store(1020, 0);
         unlink("/mnt/logs/sel/sel.1");
         mkfifo("/mnt/logs/sel/sel.1", 0644);
       },
       {"rd_last", "30"}, plain_lines(991, 990, 10) + "Error reading sel.1: not a regular file\n",
       0},

      // The lock files and their directory.
      {"RunDirectoryMissing", [] { plain_store(20, 0); rmdir("/velmar/run"); }, {"info"}, kLocked,
       0},
      {"SessionLockIsDirectory", [] { plain_store(20, 0); mkdir("/velmar/run/sel", 0755); },
       {"rd_all"}, kLocked, 0},
      {"StoreLockIsDirectory", [] { plain_store(20, 0); mkdir("/velmar/run/seldb.lck", 0755); },
       {"rd_all"}, "Error reading SEL database\n", 0},
      {"InfoLockIsDirectory", [] { plain_store(20, 0); mkdir("/velmar/run/seli.lck", 0755); },
       {"info"}, "Error reading SEL info\n", 0},
      {"SessionLockIsLink", [] { plain_store(20, 0); symlink(kPlanted, "/velmar/run/sel"); },
       {"rd_all"}, kLocked, 0},
      {"StoreLockIsLink", [] { plain_store(20, 0); symlink(kPlanted, "/velmar/run/seldb.lck"); },
       {"rd_all"}, "Error reading SEL database\n", 0},
      {"InfoLockIsFifo", [] { plain_store(20, 0); mkfifo("/velmar/run/seli.lck", 0666); },
       {"info"}, "Error reading SEL info\n", 0},

      // What the records hold.
      {"RecordsAllZero",
       [] { plain_store(3, 0); write_file("/mnt/logs/sel/sel.0", std::string(3 * 64, '\0')); },
       {"rd_all"},
       "Record 0: Thu Jan  1 00:00:00 1970 [DXA.normal]: Unknown\n"
       "Record 0: Thu Jan  1 00:00:00 1970 [DXA.normal]: Unknown\n"
       "Record 0: Thu Jan  1 00:00:00 1970 [DXA.normal]: Unknown\n",
       0},
      {"RecordsAllOnes",
       [] { plain_store(2, 0); write_file("/mnt/logs/sel/sel.0", std::string(2 * 64, '\xff')); },
       {"rd_all"}, ones_lines(2), 0},
      {"TextsWithoutNul",
       [] {
         records_store({
             RecordBuilder(0, 0, 0, 3).fill(16, 8, 'u').fill(24, 40, 'c'),
             RecordBuilder(0, 0, 1, 12).fill(16, 48, 't'),
             RecordBuilder(0, 0, 2, 14).u8(16, 1).fill(17, 47, 'g'),
             RecordBuilder(0, 0, 3, 14).u8(16, 2).fill(17, 47, 'g'),
             RecordBuilder(0, 0, 4, 6).u32(16, 4).fill(20, 28, 'n').u32(48, 0x41414141)
                 .s32(52, 50).s32(56, -1).s32(60, -1),
         });
       },
       {"rd_all"},
       "Record 1: Thu Jan  1 00:00:00 1970 [DXA CLI.normal]: uuuuuuuu \"" + std::string(40, 'c') +
           "\"\n"
           "Record 2: Thu Jan  1 00:00:00 1970 [Trap Event.notice]: " + std::string(44, 't') +
           "\n"
           "Record 3: Thu Jan  1 00:00:00 1970 [auth.warning]: " + std::string(47, 'g') + "\n"
           "Record 4: Thu Jan  1 00:00:00 1970 [unknown-type.critical]: " + std::string(47, 'g') +
           "\n"
           "Record 5: Thu Jan  1 00:00:00 1970 [KALDO.emergency]: Appliance sensor Sensor " +
           std::string(28, 'n') + " in Critical state, current reading 50, \n",
       0},
      {"TimesAtTheEndsOf32Bits",
       [] {
         const std::int32_t ends[] = {INT32_MIN, INT32_MAX, 0, -1};
         std::vector<SelRecord> records;
         for (int i = 0; i < 4; ++i) {
           records.push_back(RecordBuilder(0, ends[i], 0, 11)
                                 .s32(16, 0)
                                 .s32(20, ends[i])
                                 .s32(24, ends[(i + 1) % 4]));
         }
         records_store(records);
       },
       {"rd_all"},
       "Record 1: Fri Dec 13 20:45:52 1901 [Heartbeat.normal]: Set DXA time. Old time: Fri Dec 13 "
       "20:45:52 1901. New time: Tue Jan 19 03:14:07 2038.\n"
       "Record 2: Tue Jan 19 03:14:07 2038 [Heartbeat.normal]: Set DXA time. Old time: Tue Jan 19 "
       "03:14:07 2038. New time: Thu Jan  1 00:00:00 1970.\n"
       "Record 3: Thu Jan  1 00:00:00 1970 [Heartbeat.normal]: Set DXA time. Old time: Thu Jan  1 "
       "00:00:00 1970. New time: Wed Dec 31 23:59:59 1969.\n"
       "Record 4: Wed Dec 31 23:59:59 1969 [Heartbeat.normal]: Set DXA time. Old time: Wed Dec 31 "
       "23:59:59 1969. New time: Fri Dec 13 20:45:52 1901.\n",
       0},

      // seld's queue.
      {"SeldQueueFull", [] { plain_store(20, 0); fill_seld_queue(); }, {"clear"}, "", 0,
       Ending::Sigusr1WhenBlocked},
  };
}

// Every file under the store directory: its kind, mode and content.
void snapshot(const std::string& dir, std::map<std::string, std::string>& files) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    struct stat st {};
    lstat(path.c_str(), &st);
    std::string& entry = files[path];
    entry = std::to_string(st.st_mode) + " ";
    if (S_ISDIR(st.st_mode)) {
      snapshot(path, files);
    } else if (S_ISREG(st.st_mode)) {
      entry += read_file(path);
    }
  }
  closedir(d);
}

std::map<std::string, std::string> store_files() {
  std::map<std::string, std::string> files;
  snapshot(kStore, files);
  return files;
}

// Takes the clear requests waiting on seld's queue.
int take_clear_requests() {
  const int id = msgget(7, 0);
  if (id < 0) return 0;
  struct {
    long pri;
    unsigned char body[8192];
  } msg{};
  int found = 0;
  for (ssize_t n; (n = msgrcv(id, &msg, sizeof msg.body, 0, IPC_NOWAIT)) >= 0;) {
    std::int32_t count = 0;
    memcpy(&count, msg.body + 16, sizeof count);
    EXPECT_EQ(n, 80);
    EXPECT_EQ(count, -1);
    ++found;
  }
  return found;
}

msgqnum_t seld_queue_length() {
  msqid_ds ds{};
  const int id = msgget(7, 0);
  return id >= 0 && msgctl(id, IPC_STAT, &ds) == 0 ? ds.msg_qnum : 0;
}

// Waits until the tool, having logged its clear notice, sits in the send, and ends it
// with SIGUSR1 as another user's takeover would.
RunResult end_when_blocked(const std::vector<std::string>& argv, SyslogSink& sink) {
  Running tool(argv);
  EXPECT_TRUE(wait_until([&] { return sleeps_in(tool.pid(), "msgsnd"); }))
      << "the send to a full queue waits";
  bool noticed = false;
  for (const LogLine& line : sink.take()) noticed = noticed || line.text == "Clear SEL\n";
  EXPECT_TRUE(noticed);
  kill(tool.pid(), SIGUSR1);
  return tool.finish();
}

class HostileTest : public RootTest, public testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    RootTest::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_P(HostileTest, SaysWhatIsWrongAndLeavesTheStoreAlone) {
  const Row& row = GetParam();
  // Files of every index a miscounted ring could reach, so that opening one shows.
  for (int index : {-4, -3, -2, -1, 4, 5, 6, 7})
    write_file(std::string(kStore) + "/sel." + std::to_string(index), "");
  row.setup();
  const auto before = store_files();
  const msgqnum_t queued = seld_queue_length();
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, kStore, IN_OPEN), 0);

  SyslogSink sink;
  const RunResult r = row.ending == Ending::Runs
                          ? run(program(SEL_BINARY, row.args))
                          : end_when_blocked(program(SEL_BINARY, row.args), sink);
  EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, row.expected);
  // Only the tool has touched the store since the watch began.
  const std::set<std::string> ring = {"sel.inf", "sel.0", "sel.1", "sel.2", "sel.3"};
  alignas(inotify_event) char buf[65536];
  for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;) {
    for (char* p = buf; p < buf + n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(p);
      EXPECT_EQ(ev->mask & IN_Q_OVERFLOW, 0u);
      if (ev->len > 0) {
        EXPECT_TRUE(ring.count(ev->name) == 1) << "opened " << ev->name;
      }
      p += sizeof(inotify_event) + ev->len;
    }
  }
  close(watch);

  EXPECT_EQ(store_files(), before);
  EXPECT_FALSE(exists(kPlanted)) << "a planted link was followed";
  if (row.ending == Ending::Runs) {
    EXPECT_EQ(take_clear_requests(), row.clear_requests);
  } else {
    EXPECT_EQ(seld_queue_length(), queued);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileTest, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
