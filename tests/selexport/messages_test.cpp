// What keeps happening, what was read twice, and where time went back: the summary's
// repeating messages and its counts over overlapping snapshots of one module, and the
// scenarios of sel-inject that make such snapshots.
#include <sstream>

#include "standins/storewriter/record_builder.h"
#include "standins/storewriter/store_writer.h"
#include "tests/support/root_test.h"

namespace {

using MessagesTest = RootTest;

constexpr std::int32_t k1206 = 1764979200;  // 2025-12-06T00:00:00Z

// Texts whose numbers differ and whose hex codes and words do not; a clock set twice;
// record 9 dated before record 8; a text that hides a number behind a bidirectional
// control.
constexpr const char* kTexts[] = {
    "Fan 3 failed", "Fan 4 failed", "Fan 3 failed", "Agent 0x51 lost", "Agent 0x52 lost",
    "Agent 0x51 lost", "eth0 down", "eth1 down", "Fan 12 failed", "x\xe2\x80\xae" "12 y",
};
constexpr int kTexted = static_cast<int>(sizeof kTexts / sizeof *kTexts);

SelRecord message_record(int i, void* /*ctx*/) {
  const std::int32_t when = k1206 + 60 * (i == 9 ? 7 : i);
  if (i >= kTexted) {
    return RecordBuilder(0, when, 1, SEL_TYPE_BIOS)
        .u32(SEL_OFF_CODE, SEL_TIME_SET_CODE)
        .s32(SEL_OFF_ARG2, when - 3600 * i);
  }
  return RecordBuilder(0, when, 2, SEL_TYPE_GENERIC_TEXT).text(SEL_OFF_GENERIC_TEXT, kTexts[i]);
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(MessagesTest, RepeatingMessagesOverlapsAndTimeGoingBack) {
  // Two snapshots of dxa-r: the later one holds the earlier one's 12 records and 2 more.
  const std::string later = "/tmp/later\xe2\x80\xae";
  for (const auto& [dir, count] : {std::pair{std::string("/tmp/early"), 12}, std::pair{later, 14}}) {
    mkdir(dir.c_str(), 0755);
    ASSERT_TRUE(store_write(dir.c_str(), sel_ring_info(1, count, 0), message_record, nullptr).ok());
    write_file(dir + "/sel.meta", "host=dxa-r\n");
  }
  const RunResult json =
      run(program(SELEXPORT_BINARY, {"--summary", "--format", "json", "/tmp/early", later}));
  ASSERT_EQ(json.exit_code(), 0) << json.err;
  const std::string early = json.out.substr(0, json.out.find('\n'));
  for (const char* group : {
           R"({"type":"unknown","pattern":"Fan # failed","count":4,"first":"2025-12-06T00:00:00Z","last":"2025-12-06T00:08:00Z","stores":1})",
           R"({"type":"BIOS","pattern":"Set DXA time. Old time: <date>. New time: <date>.","count":2,)",
           R"("pattern":"Agent 0x51 lost","count":2,)", R"("pattern":"Agent 0x52 lost","count":1,)",
           R"("pattern":"eth0 down","count":1,)", "\"pattern\":\"x\xe2\x80\xae# y\",",
           R"("time_goes_back":{"times":1,"first":{"id":10,"time":"2025-12-06T00:07:00Z","after":"2025-12-06T00:08:00Z"}})",
           R"("records":12,)", R"("dropped":0,)"}) {
    EXPECT_TRUE(has(early, group)) << group << " in " << early;
  }
  EXPECT_TRUE(has(json.out, R"({"source":"dxa-r","records":2,)")) << json.out;
  EXPECT_TRUE(has(json.out, R"("dropped":12,)")) << json.out;
  // The rows and the table say the same; a name that would turn around is shown marked.
  const RunResult rows = run(program(SELEXPORT_BINARY, {"/tmp/early", later}));
  EXPECT_EQ(std::count(rows.out.begin(), rows.out.end(), '\n'), 14);
  EXPECT_TRUE(has(rows.err, "12 records left out, already read from an earlier snapshot of dxa-r"))
      << rows.err;
  const RunResult text = run(program(SELEXPORT_BINARY, {"--summary", "/tmp/early", later}));
  for (const char* line : {"Store              /tmp/later<U+202E>\n",
                           "Left out           12 records already read from an earlier",
                           "Time goes back     1 time, first at record 10: 2025-12-06T00:07:00Z",
                           "unknown: x<U+202E># y\n", "unknown: Fan # failed\n"}) {
    EXPECT_TRUE(has(text.out, line)) << line << " in " << text.out;
  }
  EXPECT_FALSE(has(text.out, "\xe2\x80\xae"));
  // Within one snapshot nothing is left out, also where it holds a record twice.
  ASSERT_EQ(run({"sh", "-c", "cd /tmp/early && dd if=sel.0 of=sel.0 bs=64 count=1 seek=1 conv=notrunc 2>/dev/null"}).exit_code(), 0);
  const std::string twice = run(program(SELEXPORT_BINARY, {"/tmp/early", "/tmp/early"})).out;
  EXPECT_EQ(std::count(twice.begin(), twice.end(), '\n'), 12);
  const RunResult check = run(program(SELEXPORT_BINARY, {"--check", "/tmp/early"}));
  EXPECT_TRUE(has(check.out, "warning: time goes back 1 time in ring order, first at sel.0 record 9 (id 10)"))
      << check.out;
}

TEST_F(MessagesTest, ScenariosShapeTheirRecords) {
  const auto inject = [](const std::string& dir, const std::string& options) {
    std::vector<std::string> args = {"--offline", dir};
    std::istringstream words(options);
    for (std::string word; words >> word;) args.push_back(word);
    return run(program(SEL_INJECT_BINARY, args));
  };
  const auto summary = [](const std::string& dir) {
    return run(program(SELEXPORT_BINARY, {"--summary", "--format", "json", dir})).out;
  };
  ASSERT_EQ(inject("/tmp/s", "--start 2025-12-01T06:00:00Z --duration 1d --rate 100 scenario 5").exit_code(), 0);
  ASSERT_EQ(inject("/tmp/t", "--start 1764568800 --duration 24h --rate 100 scenario 5").exit_code(), 0);
  EXPECT_EQ(run({"cmp", "-s", "/tmp/s/sel.0", "/tmp/t/sel.0"}).exit_code(), 0) << "not the same records";
  const std::string day = summary("/tmp/s");
  const long records = std::stol(day.substr(day.find("\"records\":") + 10));
  EXPECT_GT(records, 2200);
  EXPECT_LT(records, 2600);
  EXPECT_TRUE(has(day, R"("first":"2025-12-01T06:)") && has(day, R"("last":"2025-12-02T05:)")) << day;
  EXPECT_TRUE(has(day, R"("time_goes_back":{"times":0})")) << day;
  // A clock that falls back to 2001 for a tenth of the run, and is set right again.
  ASSERT_EQ(inject("/tmp/j", "--duration 2d --rate 60 --bursts 2 --mix 0,0,1,1,0 --jump 2001-11-12 scenario 6").exit_code(), 0);
  const std::string jumped = summary("/tmp/j");
  // Its only notice is the record that sets the clock right.
  for (const char* part : {R"("time_goes_back":{"times":1,)", R"("first":"2001-11-12T00:)",
                           R"("by_severity":{"notice":1,"warning":)"}) {
    EXPECT_TRUE(has(jumped, part)) << part << " in " << jumped;
  }
  EXPECT_FALSE(has(jumped, "\"normal\"") || has(jumped, "\"emergency\"")) << jumped;
  // A storm repeats one message at least 30 times.
  const std::size_t top = jumped.find("\"count\":", jumped.find("\"repeating\""));
  EXPECT_GE(std::stol(jumped.substr(top + 8)), 30);
  for (const char* bad : {"--mix 1,2,3 scenario 1", "--rate 0 scenario 1", "--start 2025-13-01 scenario 1",
                          "--jump soon scenario 1", "--bursts 101 scenario 1", "--duration 0d scenario 1",
                          "--rate 5 random 10 1", "scenario"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(inject("/tmp/x", bad).exit_code(), 2);
  }
}

}  // namespace
