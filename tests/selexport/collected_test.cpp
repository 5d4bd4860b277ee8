// The lines that log collectors wrote of sel-forward's messages, read back: one line at a
// time, hostile files, and the window that drops what RELP delivered twice.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/rows.h"
#include "module/sel-forward/format.h"
#include "standins/storewriter/record_builder.h"
#include "workstation/selexport/collected_line.h"
#include "workstation/selexport/fleet.h"
#include "workstation/selexport/line_reader.h"
#include "workstation/selexport/repeat_window.h"

namespace {

const SelRecord kPower = RecordBuilder(2001, 1764950400, 3, 0).s32(16, 3);

std::string hex(const SelRecord& rec) {
  char raw[ROW_HEX_SIZE];
  write_record_hex(rec, raw);
  return {raw, sizeof raw};
}

TEST(CollectedLine, WhatEachLineIs) {
  // What sel-forward sends reads back as the record and the host, in either format.
  char msg[FWD_MSG_MAX];
  FwdPlan loss{FWD_OVERRUN, 12, true, 0, 0, {}};
  char host_buf[HOST_NAME_MAX_LEN];
  for (const FwdFormat format : {FwdFormat::syslog, FwdFormat::jsonl}) {
    CollectedLine line = collected_line(
        std::string_view(msg, fwd_format_record(msg, format, "dxa-17", kPower)), host_buf);
    EXPECT_EQ(line.kind, LineKind::record);
    EXPECT_EQ(line.host, "dxa-17");
    EXPECT_EQ(line.rec.bytes, kPower.bytes);
    EXPECT_EQ(line.time, 1764950400);
    line = collected_line(std::string_view(msg, fwd_format_loss(msg, format, "h", 60, loss)),
                          host_buf);
    EXPECT_EQ(line.kind, LineKind::lost);
    EXPECT_EQ(line.host, "h");
    EXPECT_EQ(line.lost.missed, 12);
    EXPECT_TRUE(line.lost.at_least);
  }
  const std::string raw = hex(kPower);
  const std::string sd = "<10>1 2025-12-05T16:00:00+00:00 dxa-17 sel - - [sel@32473 id=\"2001\" ";
  const struct {
    std::string line;
    LineKind kind;
    LineFault fault;
    const char* host;
  } cases[] = {
      {sd + "raw=\"" + raw + "\"] text", LineKind::record, LineFault::none, "dxa-17"},
      {"{\"host\":\"d\\u0041\",\"x\":[1,{\"y\":\"]}\"}],\"raw\":\"" + raw + "\"}",
       LineKind::record, LineFault::none, "dA"},
      {"<12>1 t h sel - missed [sel@32473 missed=\"5\" at_least=\"false\" reason=\"cleared\"] x",
       LineKind::lost, LineFault::none, "h"},
      // Other programs' lines, and ours that break off or carry what no record has.
      {"<13>1 t h sshd - - [sel@32473 raw=\"" + raw + "\"] x", LineKind::not_ours,
       LineFault::none, ""},
      {"{\"msg\":\"hello\"}", LineKind::not_ours, LineFault::none, ""},
      {"Dec  5 16:00:00 h sel: hello", LineKind::not_ours, LineFault::none, ""},
      {sd + "raw=\"" + raw.substr(0, 40), LineKind::malformed, LineFault::cut_short, "dxa-17"},
      {"{\"host\":\"dxa-17\",\"id\":20", LineKind::malformed, LineFault::cut_short, "dxa-17"},
      {sd + "raw=\"" + raw.substr(2) + "\"]", LineKind::malformed, LineFault::bad_raw, "dxa-17"},
      {sd + "raw=\"" + raw.substr(2) + "zz\"]", LineKind::malformed, LineFault::bad_raw, ""},
      {sd + "raw=\"" + raw.substr(2) + "\xb0" "0\"]", LineKind::malformed, LineFault::bad_raw, ""},
      {sd.substr(0, sd.size() - 1) + "]", LineKind::malformed, LineFault::no_raw, "dxa-17"},
      {sd + "raw=\"" + raw + "\" id=\"1\"]", LineKind::malformed, LineFault::bad_field, ""},
      {"<10>1 t h sel - - [sel@32473 id=\"7\" raw=\"" + raw + "\"]", LineKind::malformed,
       LineFault::id_mismatch, "h"},
      {"<10>1 t - sel - - [sel@32473 raw=\"" + raw + "\"]", LineKind::malformed,
       LineFault::no_host, ""},
      {"{\"host\":\"a\\u0020b\",\"raw\":\"" + raw + "\"}", LineKind::malformed,
       LineFault::bad_host, ""},
      {"{\"host\":\"a b\",\"raw\":\"" + raw + "\"}", LineKind::malformed, LineFault::bad_host, ""},
      {"{\"host\":\"" + std::string(256, 'h') + "\",\"raw\":\"" + raw + "\"}",
       LineKind::malformed, LineFault::bad_host, ""},
      {"{\"host\":\"h\",\"missed\":3,\"at_least\":true,\"reason\":\"flood\"}",
       LineKind::malformed, LineFault::bad_lost, "h"},
      {"{\"host\":\"h\",\"raw\":\"" + raw + "\",\"missed\":3}", LineKind::malformed,
       LineFault::bad_field, "h"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const CollectedLine line = collected_line(c.line, host_buf);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.fault, c.fault);
    if (c.host[0] != '\0') {
      EXPECT_EQ(line.host, c.host);
    }
  }
}

// What a file of `content` (gzip-compressed by `filter`, a shell command, when not empty)
// gives: its lines and how they were counted.
struct Read {
  LineCounts counts;
  Status status;
  int hosts = 0;
};

bool admit_all(void* /*ctx*/, std::string_view /*host*/) { return true; }
bool take_any(void* ctx, int /*host*/, const SelRecord& /*rec*/) {
  ++*static_cast<int*>(ctx);
  return true;
}

Read read_lines(const std::string& content, const std::string& filter) {
  char path[] = "/tmp/collected_XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
  if (!filter.empty()) {
    const std::string p = path;
    EXPECT_EQ(system(("(" + filter + ") <" + p + " >" + p + ".z && mv " + p + ".z " + p).c_str()), 0);
  }
  LineReader reader;
  Read r;
  int taken = 0;
  EXPECT_TRUE(reader.open(open(path, O_RDONLY | O_CLOEXEC)).ok());
  Fleet fleet;
  r.status = fleet_read(&reader, &fleet, FleetSink{&taken, admit_all, take_any}, &r.counts);
  EXPECT_EQ(static_cast<std::uint64_t>(taken), r.counts.records);
  r.hosts = static_cast<int>(fleet.hosts.size());
  unlink(path);
  return r;
}

TEST(CollectedLine, HostileFiles) {
  const std::string one = "{\"host\":\"h\",\"raw\":\"" + hex(kPower) + "\"}\n";
  SelRecord other_rec = kPower;
  other_rec.bytes[63] = 1;
  const std::string other = "{\"host\":\"g\",\"raw\":\"" + hex(other_rec) + "\"}";
  std::string junk(100000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7919 % 251);
  const struct {
    const char* what;
    std::string content;
    std::string filter;
    Step status;
    std::uint64_t lines, records, repeats, not_ours, malformed, too_long;
  } cases[] = {
      {"10 MB line between two", one + std::string(10 << 20, '{') + "\n" + other, "",
       Step::done, 3, 2, 0, 1, 0, 1},
      {"a line just too long, read whole", std::string(999, 'y') + "\n" +
       std::string(LINE_MAX_LEN + 1, 'x') + "\n" + one, "", Step::done, 3, 1, 0, 2, 0, 1},
      {"binary junk", junk + "\n" + one, "", Step::done, 0, 1, 0, 0, 0, 0},
      {"repeated", one + other + "\n" + one, "", Step::done, 3, 2, 1, 0, 0, 0},
      {"compressed files one after the other", one, "(gzip -c; printf '%s' '" + other + "' | gzip -c)",
       Step::done, 2, 2, 0, 0, 0, 0},
      {"gzip cut short", one + one, "gzip -c | head -c 30", Step::gzip_cut_short, 0, 0, 0, 0, 0, 0},
      {"gzip bomb", std::string(20 << 20, '\n'), "gzip -c", Step::too_large, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!SEL_HAVE_ZLIB && c.filter.find("gzip") != std::string::npos) continue;  // read as lines
    const Read r = read_lines(c.content, c.filter);
    EXPECT_EQ(r.status.step, c.status);
    if (c.lines > 0) {
      EXPECT_EQ(r.counts.lines, c.lines);
      EXPECT_EQ(r.counts.not_ours, c.not_ours);
    }
    EXPECT_EQ(r.counts.records, c.records);
    EXPECT_EQ(r.counts.repeats, c.repeats);
    EXPECT_EQ(r.counts.malformed, c.malformed);
    EXPECT_EQ(r.counts.too_long, c.too_long);
  }
}

TEST(RepeatWindow, ALineIsARepeatWithinTheLastThousand) {
  // 1,000 keys: two of record 0 (a record and a report of losses) and 998 others.
  RepeatWindow window;
  const auto rec = [](int i) { return RecordBuilder(i, i, 0, 0); };
  EXPECT_FALSE(window.repeat(rec(0), 0));
  EXPECT_TRUE(window.repeat(rec(0), 0));
  EXPECT_FALSE(window.repeat(rec(0), 1));  // a report of losses is never a record
  for (int i = 1; i < 999; ++i) EXPECT_FALSE(window.repeat(rec(i), 0));
  EXPECT_TRUE(window.repeat(rec(0), 0));  // the oldest still in the window
  EXPECT_FALSE(window.repeat(rec(5000), 0));
  EXPECT_FALSE(window.repeat(rec(0), 0));  // left it
  for (int i = 1; i < 999; ++i) EXPECT_TRUE(window.repeat(rec(i), 0)) << i;
}

}  // namespace
