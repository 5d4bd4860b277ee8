// The report as a browser shows it: three stores, one whose clock fell back to 2001 for
// a while, opened with a link's fragment; texts, names and metadata that try to break
// out of the page, or to turn what it shows around, stay text.
#include <regex>

#include "standins/storewriter/record_builder.h"
#include "standins/storewriter/store_writer.h"
#include "tests/support/root_test.h"

namespace {

using ReportTest = RootTest;

constexpr std::int32_t k1125 = 1764028800;  // 2025-11-25T00:00:00Z
constexpr std::int32_t k2001 = 1005523200;  // 2001-11-12T00:00:00Z
constexpr const char* kHostile = "<img src=x>\xff</script><script>fetch('/')";
constexpr const char* kHidden = "A\xe2\x80\xa8" "B\xe2\x80\xaerat.exe";  // U+2028, U+202E
// A store's folder whose name a bidirectional control would turn around.
const std::string kTurned = "/tmp/dxa-02\xe2\x80\xae.tar";
// dxa-00: a reading every five minutes from 2025-11-25, each with a text of its own; given
// first, its texts push the others' past the first two pieces of the page's texts.
constexpr int kReadings = 2100;
const std::string kReadingsDir = "/tmp/s0";

// dxa-02: a record an hour from 2025-11-25, but records 200 to 229 dated from 2001-11-12
// on, its clock having fallen back; every tenth critical, with a hostile text or
// hidden characters.
SelRecord jumping_record(int i, void* /*ctx*/) {
  const std::int32_t when = (i >= 200 && i < 230 ? k2001 + (i - 200) * 3600 : k1125 + i * 3600);
  const bool critical = i % 10 == 5;
  return RecordBuilder(0, when, critical ? 3 : 0, SEL_TYPE_GENERIC_TEXT)
      .text(SEL_OFF_GENERIC_TEXT, !critical ? "heartbeat ok" : i % 20 == 5 ? kHostile : kHidden);
}

SelRecord reading_record(int i, void* /*ctx*/) {
  return RecordBuilder(0, k1125 + i * 300, 0, SEL_TYPE_GENERIC_TEXT)
      .text(SEL_OFF_GENERIC_TEXT, "reading " + std::to_string(i));
}

void write_meta(const std::string& dir, const std::string& host) {
  write_file(dir + "/sel.meta",
             "host=" + host + "\nsaved=2025-12-07T10:00:00Z\nzone=Europe/Berlin\nversion=1.1\n");
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

TEST_F(ReportTest, OpensAtALinksViewAndStaysInert) {
  if (!exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  for (const auto& [dir, args] :
       {std::pair{"/tmp/s1", std::vector<std::string>{"--rate", "17", "--bursts", "2", "scenario", "1"}},
        std::pair{"/tmp/s3", std::vector<std::string>{"--rate", "4", "scenario", "3"}}}) {
    std::vector<std::string> words = {"--offline", dir, "--start", "2025-11-25", "--duration", "10d"};
    words.insert(words.end(), args.begin(), args.end());
    ASSERT_EQ(run(program(SEL_INJECT_BINARY, words)).exit_code(), 0);
  }
  mkdir(kTurned.c_str(), 0755);
  ASSERT_TRUE(store_write(kTurned.c_str(), sel_ring_info(1, 300, 0), jumping_record, nullptr).ok());
  mkdir(kReadingsDir.c_str(), 0755);
  ASSERT_TRUE(store_write(kReadingsDir.c_str(), sel_ring_info(1, kReadings, 0), reading_record, nullptr).ok());
  write_meta(kReadingsDir, "dxa-00");
  write_meta("/tmp/s1", "dxa-01");
  write_meta(kTurned, "dxa-02");
  write_meta("/tmp/s3", "<b onmouseover=alert(1)>dxa-03");
  const std::vector<std::string> stores = {kReadingsDir, "/tmp/s1", kTurned, "/tmp/s3"};
  std::vector<std::string> args = {"--format", "html", "--local"};
  args.insert(args.end(), stores.begin(), stores.end());
  const RunResult page = run(program(SELEXPORT_BINARY, args));
  ASSERT_EQ(page.exit_code(), 0) << page.err;
  write_file("/tmp/report.html", page.out);

  // The link: dxa-02's criticals and worse whose texts hold an x (all of them, in the
  // third piece of the texts), and a key the page does not know.
  const RunResult shown =
      chromium("file:///tmp/report.html#store=dxa-02&sev=critical&q=X&zz=1",
               {"--dump-dom", "--window-size=1400,1000"});
  ASSERT_EQ(shown.exit_code(), 0) << shown.err;
  const std::string& dom = shown.out;
  EXPECT_EQ(count(dom, "<td class=\"store\">dxa-02</td>"), 30U);
  EXPECT_EQ(count(dom, "<td class=\"store\">"), 30U);
  EXPECT_EQ(count(dom, "<td class=\"sev s3\">critical</td>"), 30U);
  EXPECT_TRUE(std::regex_search(dom, std::regex("<output id=\"shown\">30</output> of <span id=\"total\">[0-9],[0-9]{3}</span> records shown")));
  EXPECT_NE(dom.find("3 records dated 2001-11-12 \xe2\x80\xa6 2001-11-13 lie outside the chart"),
            std::string::npos);
  EXPECT_NE(dom.find("Events per hour (Europe/Berlin) from 2025-11-25 01:00:00,"), std::string::npos)
      << "the first bar is not the one that holds the first record";
  EXPECT_TRUE(std::regex_search(dom, std::regex("data-open-ms=\"[0-9]+\"")));
  // Nothing of the texts became markup, and nothing was fetched.
  EXPECT_EQ(count(dom, "<img"), 0U);
  EXPECT_EQ(count(dom, "<b "), 0U);
  // The page's own: its script and its data, cut into pieces.
  EXPECT_EQ(count(dom, "<script"), count(dom, "<script type=\"application/json\" class=\"sel-data\">") +
                                     count(dom, "<script type=\"text/plain\" class=\"sel-texts\">") +
                                     count(dom, "<script type=\"application/json\" class=\"sel-groups\">") + 1);
  EXPECT_GE(count(dom, "class=\"sel-data\""), 2U) << "the data was not cut";
  EXPECT_GE(count(dom, "class=\"sel-texts\""), 3U) << "the texts were not cut";
  EXPECT_GE(count(dom, "&lt;img src=x&gt;\xc3\xbf&lt;/script&gt;&lt;script&gt;fetch('/')"), 15U);
  EXPECT_EQ(shown.err.find("Content Security Policy"), std::string::npos) << shown.err;
  // Hidden characters shown as marks, and nowhere as themselves.
  EXPECT_GE(count(dom, "A&lt;U+2028&gt;B&lt;U+202E&gt;rat.exe"), 15U);
  const std::string drawn = dom.substr(dom.find("</noscript>"));  // what the script drew
  EXPECT_EQ(count(drawn, "<td>A&lt;U+2028&gt;B&lt;U+202E&gt;rat.exe</td>"), 1U) << "not one message";
  EXPECT_EQ(count(dom, "\xe2\x80\xae") + count(dom, "\xe2\x80\xa8"), 0U);

  // The rows keep hidden characters as they are, but for the separators that would end a
  // script's string: JSON escapes them.
  const RunResult json = run(program(SELEXPORT_BINARY, {kTurned}));
  const RunResult csv = run(program(SELEXPORT_BINARY, {"--format", "csv", kTurned}));
  EXPECT_EQ(count(json.out, "\"text\":\"A\\u2028B\xe2\x80\xaerat.exe\""), 15U);
  EXPECT_EQ(count(csv.out, std::string(",\"") + kHidden + "\","), 15U);

  // How it looks, wide and on a phone: kept beside the build for a person to see.
  ASSERT_EQ(run({"mkdir", "-p", SEL_ARTEFACTS}).exit_code(), 0);
  for (const char* width : {"1400", "420"}) {
    const std::string shot = std::string(SEL_ARTEFACTS) + "/report-" + width + ".png";
    unlink(shot.c_str());
    const RunResult r = chromium("file:///tmp/report.html",
                                 {"--screenshot=" + shot, std::string("--window-size=") + width + ",1800"});
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(read_file(shot).rfind("\x89PNG", 0), 0U) << shot;
  }
}

}  // namespace
