// sel-forward's pure parts: what a look at the ring means for the cursor, the messages
// and their framing, and the state file's line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/record_line.h"
#include "module/sel-forward/follow.h"
#include "module/sel-forward/format.h"
#include "common/rows.h"
#include "standins/storewriter/record_builder.h"

namespace {

SelRecord record(int id, int time, std::uint32_t severity = 0, std::int32_t code = 0) {
  return RecordBuilder(id, time, severity, 0).s32(16, code);
}

TEST(ForwardPlan, NewRecordsAndLossesFromCursorAndRing) {
  // The cursor: `id` (0 none) in the ring seen; the ring now; the cursor's slot holds
  // its record ('='), another one ('x') or is outside the ring ('-').
  struct Row {
    int id, seen_count, seen_oldest, count, oldest;
    char at;
    int lost, missed, start, n;
  } rows[] = {
      {0, 0, -1, 0, 0, '-', FWD_NO_LOSS, 0, 0, 0},        // fresh, empty store
      {0, 0, -1, 2500, 3, '-', FWD_NO_LOSS, 0, 0, 2500},  // fresh: all of it
      {3, 5, 0, 5, 0, '=', FWD_NO_LOSS, 0, 3, 2},
      {5, 5, 0, 5, 0, '=', FWD_NO_LOSS, 0, 5, 0},  // nothing new
      {2500, 3500, 2, 3500, 2, '=', FWD_NO_LOSS, 0, 500, 3000},
      {500, 3000, 2, 3500, 2, '=', FWD_NO_LOSS, 0, 2500, 1000},   // past the ring's turn
      {1000, 1000, 0, 4000, 2, 'x', FWD_OVERRUN, 1000, 0, 4000},  // slot filled anew
      {1500, 2000, 0, 3001, 2, '-', FWD_OVERRUN, 500, 0, 3001},   // slot left the ring
      {1000, 4000, 0, 3001, 1, '-', FWD_NO_LOSS, 0, 0, 3001},     // only sent ones went
      {0, 0, 0, 3500, 2, '-', FWD_OVERRUN, 2000, 0, 3500},        // none sent since a clear
      {7, 10, 0, 0, 0, '-', FWD_CLEARED, 3, 0, 0},
      {5, 10, 0, 7, 0, '=', FWD_CLEARED, 5, 0, 7},  // fewer records than seen: cleared
      {3000, 3500, 2, 200, 0, '-', FWD_CLEARED, 2500, 0, 200},
      {0, 4, 0, 0, 0, '-', FWD_CLEARED, 4, 0, 0},
      {0, 0, 0, 5, 0, '-', FWD_NO_LOSS, 0, 0, 5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("cursor " + std::to_string(r.id) + ", ring " + std::to_string(r.count) +
                 " from file " + std::to_string(r.oldest));
    const SelRecord sent = record(r.id, 1000 + r.id);
    const FwdCursor c = r.id == 0 ? FwdCursor{0, 0, 0, r.seen_count, r.seen_oldest}
                                  : fwd_cursor_at(sent, r.seen_count, r.seen_oldest);
    const SelRecord other = record(r.id, 7);
    const SelInfo info = sel_ring_info(1, r.count, r.oldest);
    EXPECT_EQ(r.at != '-', r.id != 0 && sel_slot_ordinal(info, r.id) >= 0);
    const FwdPlan p = fwd_plan(c, info, r.at == '=' ? &sent : r.at == 'x' ? &other : nullptr);
    EXPECT_EQ(p.lost, r.lost);
    EXPECT_EQ(p.missed, r.missed);
    EXPECT_EQ(p.start, r.start);
    EXPECT_EQ(p.count, r.n);
    EXPECT_EQ(p.base.seen_count, r.count);
    EXPECT_EQ(p.base.seen_oldest, r.oldest);
    EXPECT_EQ(p.base.id, r.lost == FWD_NO_LOSS && r.at == '=' ? r.id : 0);
  }
}

TEST(ForwardFormat, MessagesFramesAndStateLines) {
  const SelRecord power = record(2001, 1764950400, 3, 3);  // "All power supplies fail"
  char buf[FWD_MSG_MAX];
  const auto text = [&](std::size_t len) { return std::string(buf, len); };
  EXPECT_EQ(text(fwd_format_record(buf, FwdFormat::syslog, "dxa-17", power)),
            "<10>1 2025-12-05T16:00:00Z dxa-17 sel - - [sel@32473 id=\"2001\" type=\"0\" "
            "type_label=\"DXA\" severity=\"critical\"] All power supplies fail");
  EXPECT_EQ(text(fwd_format_record(buf, FwdFormat::jsonl, "-", power)) + "\n",
            capture([&](FILE* out) { write_jsonl(out, power); }));  // selexport's row
  EXPECT_EQ(text(fwd_format_loss(buf, FwdFormat::syslog, "-", 0, FWD_OVERRUN, 12)),
            "<12>1 1970-01-01T00:00:00Z - sel - missed [sel@32473 missed=\"12\" "
            "reason=\"overrun\"] 12 records were dropped from the SEL before they could be sent");
  EXPECT_EQ(
      text(fwd_format_loss(buf, FwdFormat::jsonl, "-", 60, FWD_CLEARED, 0)),
      "{\"missed\":0,\"reason\":\"cleared\",\"time\":\"1970-01-01T00:01:00Z\","
      "\"timestamp\":60,\"text\":\"The SEL was cleared; 0 records in it had not been sent\"}");
  const int severities[] = {6, 5, 4, 2, 1, 5, 5};  // record severities 0 to 6
  for (std::uint32_t s = 0; s < 7; ++s) EXPECT_EQ(fwd_syslog_severity(s), severities[s]) << s;

  char out[16];
  EXPECT_EQ(std::string(out, fwd_frame(out, sizeof out, FwdFraming::octets, "<1>1 x")), "6 <1>1 x");
  EXPECT_EQ(std::string(out, fwd_frame(out, sizeof out, FwdFraming::lines, "a\nb\n")),
            "a#012b#012\n");
  EXPECT_EQ(fwd_frame(out, sizeof out, FwdFraming::octets, "0123456789abcd"), 0U);

  struct Line {
    const char* text;
    int result;
  } lines[] = {
      {"1 2001 1764950400 0a0b0c0d 2500 3\n", 0},     // a record sent
      {"1 0 0 00000000 0 -1\n", 0},                   // none yet
      {"2 2001 1764950400 0a0b0c0d 2500 3\n", -1},    // another format
      {"1 4001 1764950400 0a0b0c0d 2500 3\n", -1},    // no such slot
      {"1 2001 1764950400 0a0b0c0d 2500\n", -1},      // cut short
  };
  for (const Line& l : lines) {
    FILE* in = fmemopen(const_cast<char*>(l.text), strlen(l.text), "r");
    FwdCursor c{};
    EXPECT_EQ(fwd_cursor_parse(in, &c), l.result) << l.text;
    fclose(in);
    if (l.result == 0 && c.id != 0) {
      EXPECT_EQ(c.id, 2001);
      EXPECT_EQ(c.sum, 0x0a0b0c0dU);
      EXPECT_EQ(c.seen_oldest, 3);
    }
  }
}

}  // namespace
