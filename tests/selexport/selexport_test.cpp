// selexport against the real `sel`: the same records and texts, valid JSON and CSV,
// and a check that finds each kind of damage.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <sstream>

#include "lib/coding.h"
#include "tests/support/root_test.h"
#include "standins/storewriter/record_builder.h"
#include "standins/storewriter/store_writer.h"

namespace {

constexpr const char* kStore = "/mnt/logs/sel";
constexpr bool kGzip = SEL_HAVE_ZLIB;  // the build reads compressed archives

using SelexportTest = RootTest;

// Random bytes, with event types and severities just past their tables now and then;
// the texts hold bytes that are not UTF-8.
SelRecord random_record(int /*index*/, void* ctx) {
  auto& gen = *static_cast<std::mt19937*>(ctx);
  SelRecord rec{};
  for (auto& b : rec.bytes) b = static_cast<unsigned char>(gen());
  store_be16(rec.bytes.data() + 14, static_cast<std::uint16_t>(gen() % 16));
  store_be32(rec.bytes.data() + 8, static_cast<std::uint32_t>(gen() % 6));
  return rec;
}

RunResult selexport(std::vector<std::string> args) {
  return run(program(SELEXPORT_BINARY, std::move(args)));
}

RunResult shell(const std::string& command) { return run({"sh", "-c", command}); }

// Whether process `pid` has ended (and waits to be reaped).
bool ended(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t paren = stat.rfind(')');
  return paren == std::string::npos || stat.compare(paren, 3, ") Z") == 0;
}

// One of our programs run by the shell, with its output redirected as `redirect` says.
RunResult redirected(const char* binary, const std::vector<std::string>& args,
                     const std::string& redirect) {
  std::string command = "exec";
  for (const std::string& w : program(binary, args)) command += " " + w;
  return shell(command + " " + redirect);
}

TEST_F(SelexportTest, TextsAndLabelsAreThoseOfSel) {
  // A ring that wraps: files 3, 0 whole, then 700 records of file 1.
  std::mt19937 gen(20261205);
  ASSERT_TRUE(store_write(kStore, sel_ring_info(1, 2700, 3), random_record, &gen).ok());
  const std::vector<std::string> options[][2] = {
      {{"rd_first", "1001"}, {"--first", "1001"}},
      {{"rd_last", "1800"}, {"--last", "1800"}},
  };
  for (const auto& [sel_args, export_args] : options) {
    SCOPED_TRACE(sel_args[0]);
    const RunResult sel = run(program(SEL_BINARY, sel_args));
    std::vector<std::string> args = export_args;
    args.push_back(kStore);
    const RunResult jsonl = selexport(args);
    args.insert(args.end() - 1, {"--format", "csv"});
    const RunResult csv = selexport(args);
    ASSERT_EQ(jsonl.exit_code(), 0) << jsonl.err;
    ASSERT_EQ(csv.exit_code(), 0) << csv.err;
    EXPECT_NE(jsonl.out.find("\\u00"), std::string::npos) << "no text byte outside UTF-8";
    write_file("/tmp/export.jsonl", jsonl.out);
    write_file("/tmp/export.csv", csv.out);
    write_file("/tmp/sel.out", sel.out);
    const RunResult replay =
        run({"python3", REPLAY_SCRIPT, "/tmp/export.jsonl", "/tmp/export.csv", "/tmp/sel.out"});
    EXPECT_EQ(replay.exit_code(), 0) << replay.err;
    EXPECT_NE(replay.out, "0\n");
  }
}

// 1500 records from file 3, ids by slot, or numbered on from `first_id`.
void write_sound_store(const std::string& dir, std::uint32_t first_id = 0) {
  mkdir(dir.c_str(), 0755);
  SelInfo info = sel_ring_info(1, 1500, 3);
  if (first_id != 0) info.latest_id = static_cast<std::int32_t>(first_id + 1499);
  ASSERT_TRUE(store_write(dir.c_str(), info, store_plain_record, nullptr, first_id).ok());
}

TEST_F(SelexportTest, CheckFindsEachFault) {
  const struct {
    const char* damage;  // run in a copy of a sound store
    const char* finding;
    std::uint32_t first_id = 0;  // numbered on from this id, past INT_MAX
  } cases[] = {
      {"true", "sound: 1500 records, ids by slot"},
      {"true", "sound: 1500 records, ids numbered on from 2147483000", 2147483000},
      {"rm sel.inf", "sel.inf: missing"},
      {"echo 1 1500 3 >sel.inf", "holds 3 of its 5 numbers"},
      {"echo 1 4001 3 0 500 >sel.inf", "record count 4001 is outside 0 to 4000"},
      {"echo 1 1500 3 1 500 >sel.inf", "latest file 1, but 1500 records from file 3 end in file 0"},
      {"echo 1 1500 3 0 499 >sel.inf", "latest id 499, but the newest record's id is 500"},
      {"rm sel.3", "sel.3: missing"},
      {"truncate -s 16010 sel.0",
       "sel.0: 16010 bytes where the info file promises 500 records (32000 bytes); its last "
       "record is cut short"},
      // Neither a device, a FIFO nor a file of any size is read past what the ring holds.
      {"rm sel.0 && ln -s /dev/zero sel.0", "sel.0: not a regular file"},
      {"truncate -s 8G sel.3", "sel.3: "},  // its size, or EOVERFLOW in a 32-bit build
      {"dd if=sel.3 bs=64 skip=6 count=1 >r && dd if=sel.3 bs=64 skip=5 count=1 >>r && "
       "dd if=r of=sel.3 bs=64 seek=5 conv=notrunc",
       "sel.3 record 5: id 3007 where the ring has id 3006"},
      {"dd if=sel.0 bs=64 skip=9 count=1 of=sel.0 seek=8 conv=notrunc",
       "sel.0 record 8: id -2147483287 where the sequence has id -2147483288", 2147483000},
      {"dd if=/dev/zero of=sel.0 bs=64 seek=7 count=1 conv=notrunc",
       "sel.0 record 7: all bytes 0x00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.damage);
    write_sound_store("/tmp/check", c.first_id);
    ASSERT_EQ(shell(std::string("cd /tmp/check && ") + c.damage + " 2>/dev/null").exit_code(), 0);
    const RunResult r = selexport({"--check", "/tmp/check"});
    EXPECT_NE(r.out.find(c.finding), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code(), c.damage == std::string("true") ? 0 : 1) << r.out;
    const int exported = selexport({"/tmp/check"}).exit_code();
    EXPECT_TRUE(exported >= 0 && exported <= 2) << "the export ends with status " << exported;
    ASSERT_EQ(shell("rm -r /tmp/check").exit_code(), 0);
  }
  // A name that a terminal would take for commands is shown as the messages show it.
  const std::string odd = "/tmp/\x1b[2J\xc2\x9b";
  write_sound_store(odd);
  EXPECT_EQ(selexport({"--check", odd}).out,
            "/tmp/\\x1b[2J\\xc2\\x9b: sound: 1500 records, ids by slot\n");
  EXPECT_NE(selexport({"--summary", odd}).out.find("Store              /tmp/\\x1b[2J\\xc2\\x9b\n"),
            std::string::npos);
  // A report that cannot be written, or has nowhere to go, is an error.
  write_sound_store("/tmp/check");
  for (const auto& [redirect, says] : {std::pair{">/dev/full", "cannot write the output"},
                                       std::pair{">&-", "standard output is closed"}}) {
    const RunResult r = redirected(SELEXPORT_BINARY, {"--check", "/tmp/check"}, redirect);
    EXPECT_EQ(r.exit_code(), 2);
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
  }
}

TEST_F(SelexportTest, RefusesBadArgumentsAndDirectoriesWithoutAStore) {
  write_sound_store("/tmp/sound");
  write_sound_store("/tmp/broken");
  unlink("/tmp/broken/sel.0");
  write_sound_store("/tmp/short");  // 212 whole records and a part of file 3, then file 0
  ASSERT_EQ(truncate("/tmp/short/sel.3", 212 * 64 + 30), 0);
  write_sound_store("/tmp/holey");  // a folder in place of file 3
  ASSERT_EQ(shell("rm /tmp/holey/sel.3 && mkdir /tmp/holey/sel.3").exit_code(), 0);
  mkdir("/tmp/empty", 0755);
  mkdir("/tmp/two", 0755);  // a folder of two stores: which one is meant?
  write_sound_store("/tmp/two/a");
  write_sound_store("/tmp/two/b");
  const struct {
    const char* args;
    int exit_code;
    int rows = -1;        // read, where a store is read in part
    const char* says = "";  // on standard error
  } cases[] = {
      {"", 2}, {"--format xml /tmp/sound", 2}, {"--check --last 3 /tmp/sound", 2},
      {"/tmp/none", 2}, {"/tmp/empty", 2}, {"--since tomorrow /tmp/sound", 2},
      {"--until 2025-02-29T00:00:00Z /tmp/sound", 2}, {"--type 65536 /tmp/sound", 2},
      // All that is whole is read; what is not is said.
      {"/tmp/broken", 1, 1000, "/tmp/broken: sel.0 is missing: its 500 records are not read"},
      {"/tmp/short", 1, 712, "/tmp/short: sel.3 is cut short after 212 of 1000 records\n"},
      {"/tmp/holey", 1, 500, "/tmp/holey: sel.3 is not a regular file: its 1000 records"},
      {"--since 2025-12-06 --until 2025-12-05 /tmp/sound", 2},
      {"--since -1h --until -2h /tmp/sound", 2}, {"--since -2x /tmp/sound", 2},
      {"--severity warning --severity notice /tmp/sound", 2}, {"--format json /tmp/sound", 2},
      {"--summary --format csv /tmp/sound", 2}, {"--since -h /tmp/sound", 2},
      // Among several, a store refused is a run done in part; all of them, nothing done.
      {"/tmp/sound /tmp/none", 1, 1500}, {"/tmp/none /tmp/empty /tmp/two", 2},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;) args.push_back(word);
    const RunResult r = selexport(args);
    EXPECT_EQ(r.exit_code(), c.exit_code) << c.args << r.err;
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.err.find("usage:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (c.rows >= 0) {
      EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), c.rows);
    }
  }
}

// Twelve records a minute apart from 2025-12-05T16:00:00Z, severities 0 to 5 twice, these
// types and bytes 16 (14 with 1 is "auth", 0 "unknown"); the last sets 16:00 to 17:00.
constexpr int kFilterTypes[12][2] = {{0, 0},  {8, 0}, {9, 0}, {13, 0}, {14, 1}, {14, 0},
                                     {15, 0}, {3, 0}, {1, 0}, {2, 0},  {5, 0},  {11, 0}};
constexpr std::uint32_t k1600 = 1764950400;

SelRecord filter_record(int i, void* /*ctx*/) {
  return RecordBuilder(0, static_cast<std::int32_t>(k1600) + 60 * i, static_cast<unsigned>(i % 6),
                       static_cast<std::uint16_t>(kFilterTypes[i][0]))
      .u8(16, static_cast<std::uint8_t>(kFilterTypes[i][1]))
      .u32(20, k1600)
      .u32(24, k1600 + 3600);
}

// The ids of JSON Lines or CSV rows, in their order.
std::string ids_of(const std::string& out) {
  std::istringstream in(out);
  std::string ids;
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.rfind("{\"id\":", 0) == 0 ? 6 : 0;
    if (isdigit(static_cast<unsigned char>(line[at])) == 0) continue;  // the CSV header
    if (!ids.empty()) ids += ' ';
    ids += std::to_string(atoi(line.c_str() + at));
  }
  return ids;
}

// The program's command line with `env` and `assignment` in front.
std::vector<std::string> with_env(const char* assignment, const std::vector<std::string>& words) {
  std::vector<std::string> argv = {"env", assignment};
  argv.insert(argv.end(), words.begin(), words.end());
  return argv;
}

TEST_F(SelexportTest, FiltersOrderAndZones) {
  ASSERT_TRUE(store_write(kStore, sel_ring_info(1, 12, 0), filter_record, nullptr).ok());
  // Snapshots taken on a module whose zone is EST5; whose TZ holds a line break and a
  // zone of its own; whose sel.meta names its zone twice; whose host name is as long as
  // Linux allows.
  write_file("/tmp/est.tar", run(with_env("TZ=EST5", program(SEL_SAVE_BINARY, {}))).out);
  write_file("/tmp/lies.tar", run(with_env("TZ=EST5\nzone=UTC0", program(SEL_SAVE_BINARY, {}))).out);
  const std::string host64(64, 'h');
  std::vector<std::string> renamed = {"unshare", "-u", "sh", "-c", "hostname " + host64 + " && exec \"$@\"", "sh"};
  for (const std::string& word : program(SEL_SAVE_BINARY, {})) renamed.push_back(word);
  write_file("/tmp/host64.tar", run(renamed).out);
  ASSERT_EQ(shell("mkdir /tmp/twice && cp /mnt/logs/sel/* /tmp/twice && "
                  "printf 'zone=UTC0\\nzone=UTC0\\n' >/tmp/twice/sel.meta")
                .exit_code(),
            0);
  const struct {
    std::vector<std::string> args;
    const char* ids;
    const char* tz = "UTC0";     // selexport's own zone
    const char* text = nullptr;  // in the output
    const char* store = kStore;
  } cases[] = {
      {{}, "1 2 3 4 5 6 7 8 9 10 11 12"},
      {{"--since", "1764950640", "--until", "2025-12-05T16:06:00Z"}, "5 6 7"},
      {{"--severity", "warning"}, "3 4 5 6 9 10 11 12"},
      {{"--type", "bios"}, "2 3 4"},
      {{"--first", "4", "--reverse"}, "4 3 2 1"},
      {{"--format", "csv", "--severity", "notice", "--type", "BIOS", "--reverse"}, "4 3 2"},
      // The dates inside the text are UTC unless --local, whatever TZ says.
      {{"--type", "11"}, "12", "EST5", "Old time: Fri Dec  5 16:00:00 2025. New time: Fri Dec"},
      {{"--type", "11", "--local"}, "12", "EST5", "Old time: Fri Dec  5 11:00:00 2025. New"},
      // The module's own zone, where the snapshot names one.
      {{"--type", "11", "--local"}, "12", "UTC0", "Old time: Fri Dec  5 11:00:00 2025.", "/tmp/est.tar"},
      {{"--since", "2025-12-05t16:10:00z"}, "11 12"},
      {{"--since", "2025-12-05T17:05+01:00", "--until", "1764951000"}, "6 7 8 9 10 11"},
      {{"--until", "2025-12-04"}, ""},
      {{"--since", "-3m"}, "9 10 11 12"},  // from the newest record back
      {{"--until", "-10m", "--type", "DXA", "--type", "bios"}, "1 2"},
      // A zone that is no file reads as UTC, rather than blocking.
      {{"--type", "11", "--local"}, "12", "/tmp/zone", "Old time: Fri Dec  5 16:00:00 2025"},
      // Metadata that lies is no zone: the caller's is taken.
      {{"--type", "11", "--local"}, "12", "EST5", "Old time: Fri Dec  5 11:00:00 2025.", "/tmp/lies.tar"},
      {{"--type", "11", "--local"}, "12", "EST5", "Old time: Fri Dec  5 11:00:00 2025.", "/tmp/twice"},
      {{"--summary"}, "", "UTC0", "\nHost               hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh\n",
       "/tmp/host64.tar"},
      // A zone that counts leap seconds names its days all the same.
      {{"--summary", "--local"}, "", "right/Europe/Berlin", "\n  2025-12-05             12\n"},
      {{"--summary", "--local", "--format", "json"}, "", "right/Europe/Berlin", "\"2025-12-05\":12"},
  };
  ASSERT_EQ(mkfifo("/tmp/zone", 0644), 0);
  for (const auto& c : cases) {
    std::vector<std::string> argv = with_env((std::string("TZ=") + c.tz).c_str(),
                                             program(SELEXPORT_BINARY, c.args));
    argv.push_back(c.store);
    const RunResult r = run(argv);
    SCOPED_TRACE(argv[argv.size() - 2]);
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(ids_of(r.out), c.ids);
    if (c.text != nullptr) {
      EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
    }
  }
}

// The same store as a directory and as archives made every way: the same output.
TEST_F(SelexportTest, ArchivesReadAsTheirDirectory) {
  ASSERT_EQ(
      run(program(SEL_INJECT_BINARY, {"--offline", kStore, "--oldest-file", "2", "demo", "1250"}))
          .exit_code(),
      0);
  const RunResult saved = run(program(SEL_SAVE_BINARY, {}));
  ASSERT_EQ(saved.exit_code(), 0) << saved.err;
  // An archive with nowhere to go goes nowhere, not into a file that sel-save opens.
  const RunResult closed = redirected(SEL_SAVE_BINARY, {}, ">&-");
  EXPECT_EQ(closed.exit_code(), 2);
  EXPECT_NE(closed.err.find("standard output is closed"), std::string::npos) << closed.err;
  EXPECT_EQ(read_file("/velmar/run/seldb.lck") + read_file("/velmar/run/seli.lck"), "");
  write_file("/tmp/saved.tar", saved.out);
  const std::string deep = "/tmp/" + std::string(120, 'd');  // past a header's 100 bytes
  ASSERT_EQ(shell("mkdir -p " + deep + " && cp -r /mnt/logs/sel " + deep).exit_code(),
            0);
  // Archives of the store and `filler` bytes of something else before it (a header and
  // its content): 64 MiB outside the store's files are read, a block more is not.
  const auto with_filler = [](long long filler) {
    return "head -c " + std::to_string(filler - 512) + " /dev/zero >/tmp/filler && " +
           "tar cf /tmp/a.tar --format=ustar -C /tmp filler -C /mnt/logs/sel sel.inf sel.2 sel.3";
  };
  const struct {
    std::string make;
    const char* says;  // on standard error, or nullptr
    int status = 0;    // 0: reads as the directory
    const char* tmpdir = "/tmp";
    int rows = -1;  // where the store is read in part
  } cases[] = {
      {"cp /tmp/saved.tar /tmp/a.tar", nullptr},
      {"tar cf /tmp/a.tar --format=gnu " + deep + "/sel", nullptr},
      {"tar cf /tmp/a.tar --format=pax " + deep + "/sel", nullptr},
      // What is whole of an archive cut short is read.
      {"head -c 30000 /tmp/saved.tar >/tmp/a.tar",
       "ends inside sel/sel.2: the archive is cut short", 1, "/tmp", 436},
      {"head -c 100 /tmp/saved.tar >/tmp/a.tar", "is not a tar archive", 2},
      // Refused before it is unpacked: a store file larger than one can be, and more
      // than 64 MiB of anything else.
      {"tar cf /tmp/a.tar --format=pax --pax-option=size:=1073741824 -C /mnt/logs/sel sel.inf",
       "holds sel.inf of 1073741824 bytes, more than an info file can be (512 bytes)", 2},
      {"cp -r /mnt/logs/sel /tmp/big && truncate -s 64064 /tmp/big/sel.0 && "
       "tar cf /tmp/a.tar -C /tmp/big sel.0",
       "holds sel.0 of 64064 bytes, more than a record file can be (64000 bytes)", 2},
      {with_filler(64 << 20), nullptr},
      {with_filler((64 << 20) + 1),
       "holds filler of 67108353 bytes, and more than 64 MiB besides the store's files", 2},
      {"python3 -c \"import sys, tarfile; t = tarfile.TarInfo('big.iso'); t.size = 8 << 30; "
       "sys.stdout.buffer.write(t.tobuf(format=tarfile.GNU_FORMAT))\" >/tmp/a.tar",
       "holds big.iso of 8589934592 bytes, and more than 64 MiB besides", 2},
      {"cp /tmp/saved.tar /tmp/a.tar && tar rf /tmp/a.tar -C /mnt/logs/sel sel.inf",
       "holds more than one sel.inf", 2},
      // Where it is unpacked, the system's reason.
      {"cp /tmp/saved.tar /tmp/a.tar",
       "cannot make a temporary directory in /tmp/none to unpack /tmp/a.tar: No such file", 2,
       "/tmp/none"},
      {"mkdir /tmp/full && mount -t tmpfs -o nr_inodes=2,size=1m none /tmp/full",
       "/sel.inf to unpack /tmp/a.tar: No space left on device", 2, "/tmp/full"},
      // What a snapshot says of itself, once a key.
      {"cp -r /mnt/logs/sel /tmp/m && printf 'host=a\\nhost=b\\n' >/tmp/m/sel.meta && "
       "tar cf /tmp/a.tar -C /tmp/m .",
       "/tmp/a.tar: sel.meta gives host more than once, and is ignored"},

      // Compressed (where the build reads gzip), and the folder that tar -x made of it.
      {"gzip -c /tmp/saved.tar >/tmp/a.tar", kGzip ? nullptr : "is not a tar archive", kGzip ? 0 : 2},
      {"gzip -c /tmp/saved.tar >/tmp/z && head -c $(($(stat -c %s /tmp/z) / 2)) /tmp/z >/tmp/a.tar",
       kGzip ? "ends inside its gzip stream: the archive is cut short" : "is not a tar archive",
       kGzip ? 1 : 2},
      {"rm /tmp/a.tar && mkdir /tmp/a.tar && tar xf /tmp/saved.tar -C /tmp/a.tar", nullptr},
  };
  // JSON Lines: a row a line, whatever the texts hold.
  const std::vector<std::vector<std::string>> uses = {{"--check"}, {"--format", "jsonl"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.make);
    ASSERT_EQ(shell(c.make).exit_code(), 0);
    for (std::vector<std::string> args : uses) {
      args.push_back("/tmp/a.tar");
      std::vector<std::string> argv = with_env(("TMPDIR=" + std::string(c.tmpdir)).c_str(),
                                               program(SELEXPORT_BINARY, args));
      RunResult archive = run(argv);
      if (c.says != nullptr) {
        EXPECT_NE(archive.err.find(c.says), std::string::npos) << archive.err;
      }
      if (c.status != 0) {
        EXPECT_EQ(archive.exit_code(), c.status) << archive.err;
        if (c.rows >= 0 && args[0] != "--check") {
          EXPECT_EQ(std::count(archive.out.begin(), archive.out.end(), '\n'), c.rows);
        }
        continue;
      }
      args.back() = kStore;
      const RunResult dir = selexport(args);
      if (const std::size_t at = archive.out.find("/tmp/a.tar: "); at != std::string::npos) {
        archive.out.replace(at, 10, kStore);
      }
      EXPECT_EQ(archive.exit_code(), dir.exit_code()) << archive.err;
      EXPECT_EQ(archive.out, dir.out);
    }
    // A whole archive on standard input is answered once its end is read, though the
    // writer keeps the pipe open (ssh that hangs, nc -l).
    if (c.status == 0 && c.make.find("mkdir") == std::string::npos) {
      Running piped(program(SELEXPORT_BINARY, {"--check", "-"}), true);
      piped.write_stdin(read_file("/tmp/a.tar"));
      EXPECT_TRUE(wait_until([&] { return ended(piped.pid()); }));
      EXPECT_EQ(piped.finish().out.rfind("standard input: sound: 1250 records", 0), 0U);
    }
  }
  EXPECT_EQ(shell("ls /tmp | grep selexport").out, "") << "an unpacked archive was left behind";
}

// The summary counts exactly the rows that the same options let through, its days in
// the module's zone with --local; a snapshot names the host that it was taken on.
TEST_F(SelexportTest, SummaryCountsTheRows) {
  std::mt19937 gen(20261207);
  ASSERT_TRUE(store_write(kStore, sel_ring_info(1, 3200, 2), random_record, &gen).ok());
  write_file("/tmp/s.tar", run(with_env("TZ=EST5", program(SEL_SAVE_BINARY, {}))).out);
  char host[65] = {};
  ASSERT_EQ(gethostname(host, sizeof host), 0);
  const char* compare = R"(
import collections, datetime, json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
got = json.load(open(sys.argv[2]))
def utc(t): return datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=t)
def count(f): return dict(collections.Counter(map(f, rows)))
times = sorted(r['timestamp'] for r in rows)
want = {'records': len(rows), 'by_severity': count(lambda r: r['severity_label']),
        'by_type': count(lambda r: r['type_label']),
        'by_day': count(lambda r: str(utc(r['timestamp'] + int(sys.argv[3])).date())),
        'first': utc(times[0]).isoformat() + 'Z' if rows else None,
        'last': utc(times[-1]).isoformat() + 'Z' if rows else None,
        'snapshot': {'host': sys.argv[4], 'saved': got['snapshot'].get('saved'), 'zone': 'EST5'}}
for key in want:
    if got.get(key) != want[key]: sys.exit('%s: %.300s, counted %.300s' % (key, got.get(key), want[key]))
)";
  const struct {
    std::vector<std::string> args;
    int offset;  // of the days from UTC
  } cases[] = {
      {{}, 0},
      {{"--last", "2500", "--severity", "warning", "--type", "BIOS", "--type", "3"}, 0},
      {{"--since", "1950-01-01", "--until", "-9000d"}, 0},
      {{"--local"}, -5 * 3600},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("/tmp/s.tar");
    SCOPED_TRACE(args[0]);
    write_file("/tmp/rows.jsonl", selexport(args).out);
    args.insert(args.begin(), {"--summary", "--format", "json"});
    const RunResult summary = selexport(args);
    EXPECT_EQ(summary.exit_code(), 0) << summary.err;
    write_file("/tmp/summary.json", summary.out);
    const RunResult r = run({"python3", "-c", compare, "/tmp/rows.jsonl", "/tmp/summary.json",
                             std::to_string(c.offset), host});
    EXPECT_EQ(r.exit_code(), 0) << r.err;
  }
  EXPECT_NE(selexport({"--summary", "/tmp/s.tar"}).out.find(std::string("\nHost               ") + host),
            std::string::npos);
  // Two stores: the rows of each in turn, each naming its source (the host, else the path).
  const std::string rows = selexport({"--format", "csv", "/tmp/s.tar", kStore}).out;
  EXPECT_EQ(rows.rfind("source,id,", 0), 0U);
  const auto rows_of = [&](const std::string& source) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = rows.find("\n\"" + source + "\",", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(rows_of(host), 3200U);
  EXPECT_EQ(rows_of(kStore), 3200U);
}

}  // namespace
