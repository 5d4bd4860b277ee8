// The row writers against the formatter they replaced (a printf call a field, kept
// here as the reference): byte for byte, over random records of every type and
// texts that try each escape, in UTC and in a zone with summer time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/escape.h"
#include "common/rows.h"
#include "standins/inject/inject_records.h"
#include "tests/support/record_line.h"

namespace {

std::size_t ref_utf8(std::string_view s) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned b = at(0);
  const std::size_t len = b < 0x80 ? 1 : b < 0xC2 || b > 0xF4 ? 0 : 2U + (b >= 0xE0) + (b >= 0xF0);
  if (len < 2) return len;
  const unsigned lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
  const unsigned hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
  if (s.size() < len || at(1) < lo || at(1) > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return len;
}

// A CSV text cell that a spreadsheet would take for a formula gets a leading '.
void ref_string(FILE* out, std::string_view s, bool json) {
  fputc('"', out);
  if (!json && !s.empty() && strchr("=+-@\t\r", s[0]) != nullptr) fputc('\'', out);
  for (std::size_t len = 0; !s.empty(); s.remove_prefix(len == 0 ? 1 : len)) {
    len = ref_utf8(s);
    const auto b = static_cast<unsigned char>(s[0]);
    if (len > 1 || (len == 1 && (json ? b >= 0x20 && b != '"' && b != '\\' : b != '"'))) {
      fwrite(s.data(), 1, len, out);
    } else if (!json) {
      fprintf(out, "%c%c", len == 0 ? 0xC0 | (b >> 6) : '"', len == 0 ? 0x80 | (b & 0x3F) : '"');
    } else if (b == '"' || b == '\\' || b == '\n' || b == '\r' || b == '\t') {
      fprintf(out, "\\%c", b == '\n' ? 'n' : b == '\r' ? 'r' : b == '\t' ? 't' : b);
    } else {
      fprintf(out, "\\u%04x", b);
    }
  }
  fputc('"', out);
}

std::string ref_row(const SelRecord& rec, bool json) {
  return capture([&](FILE* out) {
    const std::time_t t = sel_timestamp(rec);
    std::tm tm{};
    char time[32];
    strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", gmtime_r(&t, &tm));
    const std::string text = capture([&](FILE* f) { sel_print_rec_text(rec, f); });
    fprintf(out,
            json ? "{\"id\":%d,\"time\":\"%s\",\"timestamp\":%d,\"type\":%u,\"type_label\":"
                 : "%d,%s,%d,%u,",
            sel_record_id(rec), time, sel_timestamp(rec), sel_event_type(rec));
    ref_string(out, sel_type_label(rec), json);
    fprintf(out, json ? ",\"severity\":%u,\"severity_label\":" : ",%u,", sel_severity(rec));
    ref_string(out, sel_severity_label(rec), json);
    fputs(json ? ",\"text\":" : ",", out);
    ref_string(out, text, json);
    fputs(json ? ",\"raw\":\"" : ",", out);
    for (const unsigned char b : rec.bytes) fprintf(out, "%02x", b);
    fputs(json ? "\"}\n" : "\r\n", out);
  });
}

TEST(Rows, SameBytesAsThePrintfFormatter) {
  std::vector<SelRecord> recs;
  const InjectSource demo = inject_demo_source(inject_demo_size(), 0);  // time-set texts
  for (std::uint32_t i = 0; i < demo.count; ++i) recs.push_back(inject_record(demo, i));
  std::mt19937 gen(26);
  for (std::uint32_t i = 0; i < 3000; ++i) {
    SelRecord rec = inject_random_record(26, i);
    if (i % 3 == 0) {  // any id and time, and types and severities past the tables
      RecordBuilder head(static_cast<std::int32_t>(gen()), static_cast<std::int32_t>(gen()),
                         static_cast<std::uint32_t>(gen() % 7),
                         static_cast<std::uint16_t>(gen() % 17));
      std::copy_n(head.record().bytes.begin(), SEL_OFF_PAYLOAD, rec.bytes.begin());
    }
    recs.push_back(rec);
  }
  for (const char* text : {"\xE0\xA0\x80\xE0\x9F\xBF\xED\x9F\xBF\xED\xA0\x80\xF0\x90\x80\x80",
                           "\xF0\x8F\xBF\xBF\xF4\x8F\xBF\xBF\xF4\x90\x80\x80\xC1\xBF\xC2\x80\xE1",
                           "plain text\" quoted \\ \t\r\n\x01\x1F\x7F \xC3\xA9t\xC3 and more",
                           "=HYPERLINK(\"http://192.0.2.1/\",\"ok\")", "+1", "-1", "@A1", "\tx",
                           "\rx"}) {
    recs.push_back(
        RecordBuilder(-1, INT32_MIN, 0, SEL_TYPE_GENERIC_TEXT).text(SEL_OFF_GENERIC_TEXT, text));
  }
  recs.push_back(
      RecordBuilder(INT32_MAX, INT32_MAX, 9, SEL_TYPE_GENERIC_TEXT).u8(SEL_OFF_SUBLABEL, 1));
  for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
    set_zone(zone);
    for (const bool json : {true, false}) {
      std::string expected;
      for (const SelRecord& rec : recs) expected += ref_row(rec, json);
      const RowFormat format = json ? RowFormat::jsonl : RowFormat::csv;
      EXPECT_EQ(capture([&](FILE* out) { write_rows(out, format, recs); }), expected) << zone;
    }
    EXPECT_EQ(capture([&](FILE* out) { write_jsonl(out, recs[0]); }), ref_row(recs[0], true));
  }
}

// The texts of selexport's other outputs (a row's source, the summary, the report) follow
// the rows' rule: JSON and CSV as the reference writes them, HTML with its entities.
TEST(Escape, OneRuleForEveryFormat) {
  const struct {
    std::string_view text, html;
  } cases[] = {
      {"dxa-17 \"<a&b>\" 'x'", "dxa-17 &quot;&lt;a&amp;b&gt;&quot; &#39;x&#39;"},
      {"=cmd|' /C calc'!A0", "=cmd|&#39; /C calc&#39;!A0"},
      {"t\tn\nr\r\x01\x7f", "t\tn\nr\xE2\x90\x8D\xE2\x90\x81\xE2\x90\xA1"},
      {"\xC3\xA9t\xE9\xC3 \xF0\x90\x80\x80\xED\xA0\x80",
       "\xC3\xA9t\xC3\xA9\xC3\x83 \xF0\x90\x80\x80\xC3\xAD\xC2\xA0\xC2\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(capture([&](FILE* out) { json_text(out, c.text); }),
              capture([&](FILE* out) { ref_string(out, c.text, true); }));
    EXPECT_EQ(capture([&](FILE* out) { csv_text(out, c.text); }),
              capture([&](FILE* out) { ref_string(out, c.text, false); }));
    EXPECT_EQ(capture([&](FILE* out) { html_text(out, c.text); }), c.html);
  }
}

}  // namespace
