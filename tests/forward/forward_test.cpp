// sel-forward's pure parts: what a look at the ring means for the cursor, the messages
// and their framing, the state file's line, RELP's frames, PEM and certificates' dates.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/support/record_line.h"
#include "module/sel-forward/follow.h"
#include "module/sel-forward/format.h"
#include "module/sel-forward/pem.h"
#include "module/sel-forward/relp.h"
#include "module/sel-forward/tls_time.h"
#include "common/rows.h"
#include "standins/storewriter/record_builder.h"

namespace {

SelRecord record(int id, int time, std::uint32_t severity = 0, std::int32_t code = 0) {
  return RecordBuilder(id, time, severity, 0).s32(16, code);
}

TEST(ForwardPlan, NewRecordsAndLossesFromCursorAndRing) {
  // The cursor: its slot (-1 none) and record id (0: the slot's) in the ring seen; the
  // ring now; the cursor's slot holds its record ('='), another one ('x') or is outside
  // the ring ('-'); the oldest record's id (0: its slot's).
  struct Row {
    int slot, id, seen_count, seen_oldest, count, oldest;
    char at;
    int oldest_id, lost, missed;
    bool at_least;
    int start, n;
  } rows[] = {
      {-1, 0, 0, -1, 0, 0, '-', 0, FWD_NO_LOSS, 0, false, 0, 0},        // fresh, empty store
      {-1, 0, 0, -1, 2500, 3, '-', 0, FWD_NO_LOSS, 0, false, 0, 2500},  // fresh: all of it
      {2, 0, 5, 0, 5, 0, '=', 0, FWD_NO_LOSS, 0, false, 3, 2},
      {4, 0, 5, 0, 5, 0, '=', 0, FWD_NO_LOSS, 0, false, 5, 0},  // nothing new
      {2499, 0, 3500, 2, 3500, 2, '=', 0, FWD_NO_LOSS, 0, false, 500, 3000},
      {499, 0, 3000, 2, 3500, 2, '=', 0, FWD_NO_LOSS, 0, false, 2500, 1000},    // past the turn
      {499, 4500, 3500, 1, 3700, 1, '=', 0, FWD_NO_LOSS, 0, false, 3500, 200},  // numbered on
      {999, 0, 1000, 0, 4000, 2, 'x', 0, FWD_OVERRUN, 1000, true, 0, 4000},     // slot filled anew
      {1499, 0, 2000, 0, 3000, 2, '-', 0, FWD_OVERRUN, 500, true, 0, 3000},     // just dropped
      {499, 4500, 3500, 1, 3001, 2, '-', 6001, FWD_OVERRUN, 1500, false, 0, 3001},   // ids tell
      {499, 4500, 3500, 1, 3001, 2, '-', 10001, FWD_OVERRUN, 5500, false, 0, 3001},  // a lap
      {499, 4500, 3500, 1, 3001, 2, '-', 6050, FWD_OVERRUN, 1500, true, 0, 3001},    // ids skip
      {999, 0, 4000, 0, 3001, 1, '-', 0, FWD_NO_LOSS, 0, true, 0, 3001},  // only sent ones went
      {-1, 0, 0, 0, 3500, 2, '-', 0, FWD_OVERRUN, 2000, true, 0, 3500},   // none sent since a clear
      {6, 0, 10, 0, 0, 0, '-', 0, FWD_CLEARED, 3, true, 0, 0},
      {4, 0, 10, 0, 7, 0, '=', 0, FWD_CLEARED, 5, true, 0, 7},  // fewer records than seen
      {2999, 0, 3500, 2, 200, 0, '-', 0, FWD_CLEARED, 2500, true, 0, 200},
      {-1, 0, 4, 0, 0, 0, '-', 0, FWD_CLEARED, 4, true, 0, 0},
      {9, 0, 10, 0, 0, 0, '-', 0, FWD_NO_LOSS, 0, true, 0, 0},  // cleared once all was sent
      {-1, 0, 0, 0, 5, 0, '-', 0, FWD_NO_LOSS, 0, false, 0, 5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("cursor " + std::to_string(r.slot) + ", ring " + std::to_string(r.count) +
                 " from file " + std::to_string(r.oldest));
    const SelRecord sent = record(r.id != 0 ? r.id : r.slot + 1, 1000 + r.slot);
    const FwdCursor c = r.slot < 0 ? FwdCursor{-1, 0, 0, 0, r.seen_count, r.seen_oldest}
                                   : fwd_cursor_at(sent, r.slot, r.seen_count, r.seen_oldest);
    const SelRecord other = record(r.slot + 1, 7);
    const SelRecord oldest = record(r.oldest_id != 0 ? r.oldest_id : r.oldest * 1000 + 1, 9);
    const SelInfo info = sel_ring_info(1, r.count, r.oldest);
    const FwdPlan p = fwd_plan(c, info,
                               r.at == '='   ? &sent
                               : r.at == 'x' ? &other
                                             : nullptr,
                               &oldest);
    EXPECT_EQ(p.lost, r.lost);
    EXPECT_EQ(p.missed, r.missed);
    EXPECT_EQ(p.at_least, r.at_least);
    EXPECT_EQ(p.start, r.start);
    EXPECT_EQ(p.count, r.n);
    EXPECT_EQ(p.base.seen_count, r.count);
    EXPECT_EQ(p.base.seen_oldest, r.oldest);
    EXPECT_EQ(p.base.slot, r.lost == FWD_NO_LOSS && r.at == '=' ? r.slot : -1);
    if (r.n > 0) {
      EXPECT_EQ(sel_ring_slot(info, r.start), (r.oldest * 1000 + r.start) % 4000);
    }
  }
}

TEST(ForwardFormat, MessagesFramesAndStateLines) {
  const SelRecord power = record(2001, 1764950400, 3, 3);  // "All power supplies fail"
  char buf[FWD_MSG_MAX];
  const auto text = [&](std::size_t len) { return std::string(buf, len); };
  // id 2001, time 1764950400, severity 3, type 0, code 3
  const std::string raw = "000007d1693301800000000300000000" "00000003" + std::string(88, '0');
  EXPECT_EQ(text(fwd_format_record(buf, FwdFormat::syslog, "dxa-17", power)),
            "<10>1 2025-12-05T16:00:00Z dxa-17 sel - - [sel@32473 id=\"2001\" type=\"0\" "
            "type_label=\"DXA\" severity=\"critical\" raw=\"" +
                raw + "\"] All power supplies fail");
  // selexport's row, the module's name first (escaped as any JSON text).
  EXPECT_EQ(text(fwd_format_record(buf, FwdFormat::jsonl, "a\"b", power)) + "\n",
            capture([&](FILE* out) { write_jsonl(out, power, "\"host\":\"a\\\"b\","); }));
  FwdPlan loss{FWD_OVERRUN, 12, true, 0, 0, {}};
  EXPECT_EQ(text(fwd_format_loss(buf, FwdFormat::syslog, "-", 0, loss)),
            "<12>1 1970-01-01T00:00:00Z - sel - missed [sel@32473 missed=\"12\" at_least=\"true\" "
            "reason=\"overrun\"] At least 12 records were dropped from the SEL before they could "
            "be sent");
  loss = {FWD_CLEARED, 0, true, 0, 0, {}};
  EXPECT_EQ(text(fwd_format_loss(buf, FwdFormat::jsonl, "dxa-17", 60, loss)),
            "{\"host\":\"dxa-17\",\"missed\":0,\"at_least\":true,\"reason\":\"cleared\",\"time\":"
            "\"1970-01-01T00:01:00Z\",\"timestamp\":60,\"text\":\"The SEL was cleared; at least "
            "0 records in it had not been sent\"}");
  // The longest messages: a host name of 255 characters that JSON escapes, and the
  // records whose texts are longest (an agent error of an unknown agent), or hold
  // bytes that JSON writes as \u00XX.
  const std::string quotes(FWD_HOST_MAX - 1, '"');
  SelRecord longest = RecordBuilder(-2147483647, -2147483647, 0xffffffff, SEL_TYPE_AGENT_ERROR);
  for (std::size_t i = 16; i < SEL_RECORD_SIZE; ++i) longest.bytes[i] = 0x01;
  SelRecord controls = RecordBuilder(1, 1, 1, SEL_TYPE_CLI);
  for (std::size_t i = 16; i < SEL_RECORD_SIZE; ++i) controls.bytes[i] = 0x1f;
  for (const SelRecord& rec : {longest, controls}) {
    for (const FwdFormat format : {FwdFormat::syslog, FwdFormat::jsonl}) {
      const std::size_t len = fwd_format_record(buf, format, quotes.c_str(), rec);
      EXPECT_LT(len + 1, FWD_MSG_MAX);  // whole, not cut at the end
      if (format == FwdFormat::jsonl) {
        EXPECT_EQ(buf[len - 1], '}');
      }
    }
  }
  const int severities[] = {6, 5, 4, 2, 1, 5, 5};  // record severities 0 to 6
  for (std::uint32_t s = 0; s < 7; ++s) EXPECT_EQ(fwd_syslog_severity(s), severities[s]) << s;

  char out[16];
  EXPECT_EQ(std::string(out, fwd_frame(out, sizeof out, FwdFraming::octets, "<1>1 x")), "6 <1>1 x");
  EXPECT_EQ(std::string(out, fwd_frame(out, sizeof out, FwdFraming::lines, "a\nb\n")),
            "a#012b#012\n");
  EXPECT_EQ(fwd_frame(out, sizeof out, FwdFraming::octets, "0123456789abcd"), 0U);

  EXPECT_EQ(std::string(out, fwd_frame(out, sizeof out, FwdFraming::none, "a\nb")), "a\nb");

  struct Line {
    const char* text;
    int result, slot;
  } lines[] = {
      {"2 1999 2001 1764950400 0a0b0c0d 2500 3\n", 0, 1999},  // a record sent
      {"2 -1 0 0 00000000 0 -1\n", 0, -1},                    // none yet
      {"1 2001 1764950400 0a0b0c0d 2500 3\n", 0, 2000},       // of a forwarder before
      {"3 1999 2001 1764950400 0a0b0c0d 2500 3\n", -1, 0},    // another format
      {"2 4000 2001 1764950400 0a0b0c0d 2500 3\n", -1, 0},    // no such slot
      {"1 4001 1764950400 0a0b0c0d 2500 3\n", -1, 0},
      {"2 1999 2001 1764950400 0a0b0c0d 2500\n", -1, 0},  // cut short
  };
  for (const Line& l : lines) {
    FILE* in = fmemopen(const_cast<char*>(l.text), strlen(l.text), "r");
    FwdCursor c{};
    EXPECT_EQ(fwd_cursor_parse(in, &c).ok(), l.result == 0) << l.text;
    fclose(in);
    if (l.result == 0) {
      EXPECT_EQ(c.slot, l.slot);
      EXPECT_EQ(c.sum, l.slot < 0 ? 0U : 0x0a0b0c0dU);
      EXPECT_EQ(c.seen_oldest, l.slot < 0 ? -1 : 3);
    }
  }
}

TEST(ForwardRelp, FramesTheirHeadsAndAnswers) {
  char head[32];
  EXPECT_EQ(std::string(head, fwd_relp_head(head, sizeof head, 7, "syslog", 5)), "7 syslog 5 ");
  EXPECT_EQ(std::string(head, fwd_relp_head(head, sizeof head, 8, "close", 0)), "8 close 0");
  EXPECT_EQ(fwd_relp_head(head, 8, 9, "syslog", 5), 0U);
  struct Frame {
    std::string bytes;
    int result;
    unsigned long txnr = 0;
    const char* command = "";
    const char* data = "";
    std::size_t used = 0;
  } frames[] = {
      {"1 rsp 6 200 OK\n", 1, 1, "rsp", "200 OK", 15},
      {"0 serverclose 0\n2 rsp", 1, 0, "serverclose", "", 16},  // the next one not yet whole
      {"12 rsp 9 200 OK\nab\n", 1, 12, "rsp", "200 OK\nab", 19},
      {"1 rsp 6 200 O", 0},
      {"123456789", 0},
      {"1234567890 rsp 0\n", -1},  // TXNR of ten digits
      {"x rsp 0\n", -1},
      {"1 Rsp 0\n", -1},
      {"1 rsp 2\n", -1},  // no data after a length
      {"1 rsp 3 abcd\n", -1},
  };
  for (const Frame& f : frames) {
    FwdRelpFrame got{};
    std::size_t used = 0;
    EXPECT_EQ(fwd_relp_parse(f.bytes.data(), f.bytes.size(), &got, &used), f.result) << f.bytes;
    if (f.result != 1) continue;
    EXPECT_EQ(got.txnr, f.txnr);
    EXPECT_EQ(got.command, f.command);
    EXPECT_EQ(got.data, f.data);
    EXPECT_EQ(used, f.used);
  }
  const std::pair<const char*, int> statuses[] = {{"200 OK", 200}, {"200", 200}, {"500 no", 500},
                                                  {"20", -1},      {"2000", -1}, {"2x0 OK", -1}};
  for (const auto& [data, status] : statuses) EXPECT_EQ(fwd_relp_status(data), status) << data;
}

TEST(ForwardRelp, OnlyWhatIsAnswered200InOrderIsAccepted) {
  // Three messages to a collector that first finds `before` written for it, then answers
  // each frame as the next word of `answers` says ('|' between them): a status text, or
  // <close> (it closes), <serverclose>, <junk>, <next> (200 to the frame after it). The
  // log then tells what it did after the failure.
  struct Row {
    const char *before, *answers;
    int accepted, error;
    const char* told;
  } rows[] = {
      {"", "200 OK|200 OK|200 OK", 3, 0, ""},
      {"", "200 OK|500 full|200 OK", 1, EPROTO, ": it answered \"500 full\""},
      {"", "200 OK|<serverclose>", 1, ECONNRESET, ": it ended the session"},
      {"", "<junk>", 0, EPROTO, ": it sent no RELP frame: \"junk\\x0a\""},
      {"", "200 OK|<close>", 1, ECONNRESET, ""},  // no word of the collector's
      {"2 rsp 6 200 OK\n", "200 OK", 0, EPROTO,
       ": it answered \"2 rsp 6 200 OK\" where no answer was due"},
      {"", "200 OK|<next>", 1, EPROTO,
       ": it answered \"4 rsp 6 200 OK\" where the answer to frame 3 was due"},
      {"", "500 \x1b[2J\x1b[32mall sent\xc2\x9b", 0, EPROTO,
       ": it answered \"500 \\x1b[2J\\x1b[32mall sent\\xc2\\x9b\""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.answers);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    ASSERT_EQ(write(fds[1], r.before, strlen(r.before)), static_cast<ssize_t>(strlen(r.before)));
    std::thread collector([&] {
      std::string script = std::string(r.answers) + "|", in;
      for (std::size_t bar; (bar = script.find('|')) != std::string::npos;) {
        const std::string answer = script.substr(0, bar);
        script.erase(0, bar + 1);
        FwdRelpFrame f{};
        std::size_t used = 0;
        for (char c; fwd_relp_parse(in.data(), in.size(), &f, &used) != 1;) {
          pollfd p{fds[1], POLLIN, 0};
          if (poll(&p, 1, 10000) != 1 || read(fds[1], &c, 1) != 1) return;
          in += c;
        }
        const std::string txnr = std::to_string(f.txnr + (answer == "<next>" ? 1 : 0));
        in.erase(0, used);
        if (answer == "<close>") break;
        const std::string out =
            answer == "<serverclose>" ? "0 serverclose 0\n"
            : answer == "<junk>"
                ? "junk\n"
            : answer == "<next>" ? txnr + " rsp 6 200 OK\n"
                : txnr + " rsp " + std::to_string(answer.size()) + " " + answer + "\n";
        (void)!send(fds[1], out.data(), out.size(), MSG_NOSIGNAL);
      }
      shutdown(fds[1], SHUT_WR);
    });
    FwdRelp relp{};
    relp.txnr = 2;  // after the open exchange
    const std::size_t ends[] = {1, 2, 3};
    int accepted = 0;
    EXPECT_EQ(fwd_relp_send(&relp, {fds[0], nullptr, nullptr}, "abc", ends, 3, 10000, &accepted)
                  .error, r.error);
    EXPECT_EQ(accepted, r.accepted);
    char told[FWD_RELP_TOLD_MAX];
    EXPECT_STREQ(fwd_relp_told(relp.fault, told), r.told);
    shutdown(fds[0], SHUT_RDWR);
    collector.join();
    close(fds[0]);
    close(fds[1]);
  }
}

TEST(ForwardTls, PemBlocks) {
  // What the text gives, block after block: "LABEL=bytes" or the fault's code, till none.
  // "QUJD" is the base64 of "ABC".
  struct Row {
    const char* text;
    std::vector<std::string> got;
    std::size_t room = 64;
  } rows[] = {
      {"-----BEGIN X-----\nQUJD\n-----END X-----\n", {"X=ABC"}},
      {"said\r\n-----BEGIN A B-----  \r\nQU\tI=\r\n-----END A B-----\r\nmore", {"A B=AB"}},
      {"-----BEGIN A-----\nQQ==\n-----END A-----\n-----BEGIN B-----\nQUJD\nRA==\n-----END B-----",
       {"A=A", "B=ABCD"}},
      {"-----BEGIN X-----\n-----END X-----\n", {"X="}},
      {"no PEM here\n-----BEGIN X----\nQUJD\n", {}},
      {"-----BEGIN X-----\nQUJD\n", {"-1"}},
      {"-----BEGIN X-----\nQUJD\n-----END Y-----\n", {"-1"}},
      {"-----BEGIN X-----\nQU*D\n-----END X-----\n", {"-2"}},
      {"-----BEGIN X-----\nQQ==QUJD\n-----END X-----\n", {"-2"}},
      {"-----BEGIN X-----\nQ===\n-----END X-----\n", {"-2"}},
      {"-----BEGIN X-----\nQUJ\n-----END X-----\n", {"-2"}},
      {"-----BEGIN X-----\nProc-Type: 4,ENCRYPTED\n\nQUJD\n-----END X-----\n", {"-3"}},
      {"-----BEGIN X-----\nQUJD\n-----END X-----\n", {"-4"}, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<std::string> got;
    std::size_t at = 0;
    unsigned char der[64];
    FwdPemBlock block{};
    for (int code = 0; (code = fwd_pem_next(r.text, &at, der, r.room, &block)) != FWD_PEM_NONE;) {
      got.push_back(code < 0 ? std::to_string(code)
                             : std::string(block.label) + "=" +
                                   std::string(reinterpret_cast<char*>(der), block.size));
      if (code < 0) break;
    }
    EXPECT_EQ(got, r.got);
  }
}

TEST(ForwardTls, CertificateDates) {
  const std::pair<FwdTlsTime, const char*> times[] = {
      {{0, 0}, "0000-01-01T00:00:00Z"},         {{719528, 0}, "1970-01-01T00:00:00Z"},
      {{730484, 86399}, "1999-12-31T23:59:59Z"}, {{730544, 3723}, "2000-02-29T01:02:03Z"},
      {{745095, 0}, "2040-01-01T00:00:00Z"},     {{767069, 43200}, "2100-03-01T12:00:00Z"},
  };
  for (const auto& [t, text] : times) {
    char out[FWD_TLS_TIME_LEN + 1];
    fwd_tls_time_text(t, out);
    EXPECT_STREQ(out, text);
  }
  const FwdTlsValidity year{{745095, 0}, {745461, 0}};  // 2040
  EXPECT_TRUE(fwd_tls_within(year, {745095, 0}));
  EXPECT_TRUE(fwd_tls_within(year, {745461, 0}));
  EXPECT_FALSE(fwd_tls_within(year, {745094, 86399}));
  EXPECT_FALSE(fwd_tls_within(year, {745461, 1}));
  EXPECT_EQ(fwd_tls_days_between({745095, 10}, {745125, 9}), 29);
  EXPECT_EQ(fwd_tls_days_between({745125, 0}, {745095, 0}), -30);
}

}  // namespace
