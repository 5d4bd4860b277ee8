// selexport against the real `sel`: the same records and texts, valid JSON and CSV,
// and a check that finds each kind of damage.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "lib/coding.h"
#include "tests/support/root_test.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr const char* kStore = "/mnt/logs/sel";

class SelexportTest : public RootTest {
 protected:
  void SetUp() override {
    RootTest::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

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

TEST_F(SelexportTest, TextsAndLabelsAreThoseOfSel) {
  struct Case {
    bool sample;
    std::vector<std::string> sel_args, export_args;
  } cases[] = {
      {true, {"rd_all"}, {}},
      {true, {"rd_last", "300"}, {"--last", "300"}},  // reaches back from file 3 into 2
      {false, {"rd_all"}, {}},
      {false, {"rd_first", "1001"}, {"--first", "1001"}},
      {false, {"rd_last", "1"}, {"--last", "1"}},
  };
  std::mt19937 gen(20261205);
  // The sample store: the demo set cycled over 1250 records, files 2 and 3.
  ASSERT_EQ(run(program(SEL_INJECT_BINARY,
                        {"--offline", kStore, "--oldest-file", "2", "demo", "1250"}))
                .exit_code(),
            0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sel_args[0] + (c.sample ? " on the sample store" : " on a random store"));
    if (!c.sample) {
      // A ring that wraps: files 3, 0 whole, then 700 records of file 1.
      ASSERT_EQ(store_write(kStore, sel_ring_info(1, 2700, 3), random_record, &gen), 0);
    }
    const RunResult sel = run(program(SEL_BINARY, c.sel_args));
    std::vector<std::string> args = c.export_args;
    args.push_back(kStore);
    const RunResult jsonl = selexport(args);
    args.insert(args.end() - 1, {"--format", "csv"});
    const RunResult csv = selexport(args);
    ASSERT_EQ(jsonl.exit_code(), 0) << jsonl.err;
    ASSERT_EQ(csv.exit_code(), 0) << csv.err;
    if (!c.sample && c.sel_args[0] == "rd_all") {
      EXPECT_NE(jsonl.out.find("\\u00"), std::string::npos) << "no text byte outside UTF-8";
    }
    write_file("/tmp/export.jsonl", jsonl.out);
    write_file("/tmp/export.csv", csv.out);
    write_file("/tmp/sel.out", sel.out);
    const RunResult replay = run({"python3", REPLAY_SCRIPT, "/tmp/export.jsonl",
                                  "/tmp/export.csv", "/tmp/sel.out"});
    EXPECT_EQ(replay.exit_code(), 0) << replay.err;
    EXPECT_NE(replay.out, "0\n");
  }
}

void write_sound_store(const std::string& dir) {
  mkdir(dir.c_str(), 0755);
  ASSERT_EQ(store_write(dir.c_str(), sel_ring_info(1, 1500, 3), store_plain_record, nullptr), 0);
}

// Writes `bytes` over a record file from `offset` on, lengthening it if need be.
void patch(const std::string& path, std::size_t offset, const std::string& bytes) {
  std::string content = read_file(path);
  content.replace(offset, bytes.size(), bytes);
  write_file(path, content);
}

TEST_F(SelexportTest, CheckFindsEachFault) {
  using Damage = void (*)(const std::string& dir);
  const auto none = [](const std::string&) {};
  struct Case {
    const char* info;  // the info file's new content, or nullptr to keep it
    Damage damage;
    const char* finding;
  } cases[] = {
      {nullptr, none, "sound: 1500 records"},
      {nullptr, [](const std::string& d) { unlink((d + "/sel.inf").c_str()); }, "sel.inf: missing"},
      {"", none, "holds 0 of its 5 numbers"},
      {"1 1500 3\n", none, "holds 3 of its 5 numbers"},
      {"one 1500\n", none, "holds 0 of its 5 numbers"},
      {"1 4001 3 0 500", none, "record count 4001 is outside 0 to 4000"},
      {"1 -1 3 0 500", none, "record count -1 is outside"},
      {"1 1500 4 0 500", none, "oldest file 4 is outside 0 to 3"},
      {"1 1500 3 -1 500", none, "latest file -1 is outside 0 to 3"},
      {"1 1500 3 1 500", none, "latest file 1, but 1500 records from file 3 end in file 0"},
      {"1 1500 3 0 499", none, "latest id 499, but the newest record's id is 500"},
      {nullptr, [](const std::string& d) { unlink((d + "/sel.3").c_str()); }, "sel.3: missing"},
      {nullptr, [](const std::string& d) { write_file(d + "/sel.0", ""); },
       "sel.0: 0 bytes where the info file promises 500 records (32000 bytes)"},
      {nullptr, [](const std::string& d) { truncate((d + "/sel.0").c_str(), 250 * 64 + 10); },
       "sel.0: 16010 bytes where the info file promises 500 records (32000 bytes); its last "
       "record is cut short"},
      {nullptr, [](const std::string& d) { patch(d + "/sel.0", 500 * 64, std::string(64, 'x')); },
       "sel.0: 32064 bytes where"},
      {nullptr,
       [](const std::string& d) {
         unlink((d + "/sel.0").c_str());
         mkdir((d + "/sel.0").c_str(), 0755);
       },
       "sel.0: not a regular file"},
      {nullptr,
       [](const std::string& d) {
         const std::string f = read_file(d + "/sel.3");
         patch(d + "/sel.3", 5 * 64, f.substr(6 * 64, 64) + f.substr(5 * 64, 64));
       },
       "sel.3 record 5: id 3007 where the ring has id 3006"},
      {nullptr, [](const std::string& d) { patch(d + "/sel.0", 7 * 64, std::string(64, '\0')); },
       "sel.0 record 7: all bytes 0x00"},
      {nullptr, [](const std::string& d) { patch(d + "/sel.0", 7 * 64, std::string(64, '\xff')); },
       "sel.0 record 7: all bytes 0xff"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.finding);
    const std::string dir = "/tmp/check" + std::to_string(n++);
    write_sound_store(dir);
    if (c.info != nullptr) write_file(dir + "/sel.inf", c.info);
    c.damage(dir);
    const RunResult r = selexport({"--check", dir});
    EXPECT_NE(r.out.find(c.finding), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code(), n == 1 ? 0 : 1) << r.out;
  }
}

TEST_F(SelexportTest, RefusesBadArgumentsAndDirectoriesWithoutAStore) {
  write_sound_store("/tmp/sound");
  write_sound_store("/tmp/broken");
  unlink("/tmp/broken/sel.0");
  mkdir("/tmp/empty", 0755);
  const struct {
    std::vector<std::string> args;
    int exit_code;
  } cases[] = {
      {{}, 2},
      {{"--format", "xml", "/tmp/sound"}, 2},
      {{"--first", "3", "--last", "3", "/tmp/sound"}, 2},
      {{"--first", "three", "/tmp/sound"}, 2},
      {{"--check", "--last", "3", "/tmp/sound"}, 2},
      {{"/tmp/sound", "/tmp/sound"}, 2},
      {{"/tmp/none"}, 2},
      {{"/tmp/empty"}, 2},
      {{"--check", "/tmp/empty"}, 2},
      {{"/tmp/sound/sel.0"}, 2},
      {{"/tmp/broken"}, 1},  // the records of file 3 are written, then the missing file said
  };
  for (const auto& c : cases) {
    const RunResult r = selexport(c.args);
    EXPECT_EQ(r.exit_code(), c.exit_code) << r.err;
    EXPECT_NE(r.err, "");
    if (c.exit_code == 1) {
      EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1000);
    }
  }
}

}  // namespace
