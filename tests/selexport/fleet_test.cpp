// selexport over a log collector's files: the modules as sources, a log rotation, what
// RELP delivered twice, records reported lost, and lines that are not ours.
#include "common/rows.h"
#include "standins/storewriter/record_builder.h"
#include "tests/support/root_test.h"

namespace {

using FleetTest = RootTest;

constexpr std::int32_t k1205 = 1764892800;  // 2025-12-05T00:00:00Z

// The line that rsyslog writes of record `id` of `host`, a minute after the one before.
std::string line(const std::string& host, int id, std::uint32_t severity = 1,
                 std::int32_t when = k1205) {
  char raw[ROW_HEX_SIZE];
  write_record_hex(RecordBuilder(id, when + 60 * id, severity, 0), raw);
  return "<13>1 2025-12-05T00:00:00+00:00 " + host + " sel - - [sel@32473 id=\"" +
         std::to_string(id) + "\" raw=\"" + std::string(raw, sizeof raw) + "\"] text\n";
}

// The records of the CSV rows: "dxa-a 1", one a row.
std::string rows_of(const std::string& csv) {
  std::string got;
  for (std::size_t at = csv.find('\n') + 1, eol; (eol = csv.find('\n', at)) != std::string::npos;
       at = eol + 1) {
    const std::size_t comma = csv.find(',', at);
    got += csv.substr(at + 1, comma - at - 2) + " " +
           csv.substr(comma + 1, csv.find(',', comma + 1) - comma - 1) + "\n";
  }
  return got;
}

TEST_F(FleetTest, CollectedLinesReadAsModules) {
  // Rotated logs are compressed; a build without zlib reads none of this test's inputs.
  if (!SEL_HAVE_ZLIB) GTEST_SKIP() << "the build reads no compressed input";
  // dxa-a's records 1 to 4 were rotated into old.gz; its forwarder sent 3 and 4 again
  // after a reconnect, into the new file. dxa-b reported 7 records lost.
  std::string old_lines;
  for (int id = 1; id <= 4; ++id) old_lines += line(id == 2 ? "dxa-b" : "dxa-a", id);
  write_file("/tmp/old", old_lines);
  ASSERT_EQ(run({"gzip", "/tmp/old"}).exit_code(), 0);
  write_file("/tmp/new",
             line("dxa-a", 3) + "Dec  5 00:00:00 dxa-a kernel: eth0 up\n" + line("dxa-a", 4) +
                 "<13>1 t dxa-a sel - - [sel@32473 id=\"9\" raw=\"00\"] cut\n" +
                 "{\"host\":\"dxa-b\",\"missed\":7,\"at_least\":false,\"reason\":\"cleared\"}\n" +
                 line("dxa-a", 5) + line("dxa-b", 6));
  // Given newest first, read oldest first; the malformed line named, status 1.
  const RunResult csv = run(program(SELEXPORT_BINARY, {"--format", "csv", "/tmp/new", "/tmp/old.gz"}));
  EXPECT_EQ(csv.exit_code(), 1);
  EXPECT_EQ(rows_of(csv.out), "dxa-a 1\ndxa-b 2\ndxa-a 3\ndxa-a 4\ndxa-a 5\ndxa-b 6\n");
  EXPECT_EQ(csv.err, "selexport: /tmp/new: 1 malformed line of sel-forward's passed over: line 4 "
                     "(the raw record is not 128 hex digits)\n");
  // Standard input as a file of lines; one module kept; its repeats and its losses.
  Running piped(program(SELEXPORT_BINARY, {"--summary", "--format", "json", "--source", "dxa-b",
                                           "--source", "dxa-c", "-", "/tmp/old.gz"}),
                true);
  piped.write_stdin(read_file("/tmp/new"));
  piped.close_stdin();
  const RunResult json = piped.finish();
  EXPECT_EQ(json.exit_code(), 1) << json.err;
  EXPECT_NE(json.out.find(R"({"source":"dxa-b","records":2,)"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find(R"("repeats":0,"lost":{"records":7,"at_least":false,"reasons":{"overrun":0,"cleared":7}})"),
            std::string::npos);
  EXPECT_EQ(json.out.find("\"dxa-a\""), std::string::npos);
  // A snapshot archive from a pipe, compressed, beside the lines: told by its content.
  mkdir("/tmp/st", 0755);
  ASSERT_EQ(run(program(SEL_INJECT_BINARY, {"--offline", "/tmp/st", "random", "50", "1"})).exit_code(), 0);
  ASSERT_EQ(run({"tar", "czf", "/tmp/st.tgz", "-C", "/tmp", "st"}).exit_code(), 0);
  Running archive(program(SELEXPORT_BINARY, {"--summary", "-", "/tmp/old.gz"}), true);
  archive.write_stdin(read_file("/tmp/st.tgz"));
  const RunResult both = archive.finish();
  EXPECT_EQ(both.exit_code(), 0) << both.err;
  EXPECT_EQ(both.out.rfind("Store              standard input\nRecords            50\n", 0), 0U) << both.out;
  const RunResult text = run(program(SELEXPORT_BINARY, {"--summary", "--source", "dxa-a", "/tmp/old.gz"}));
  EXPECT_EQ(text.exit_code(), 0) << text.err;
  EXPECT_NE(text.out.find("Records            3\n"), std::string::npos) << text.out;

  // The report: dxa-c went silent ten days before the others' last record, after a
  // critical; the modules worst first, each message with the modules that show it.
  write_file("/tmp/c", line("dxa-c", 1, 3, k1205 - 10 * 86400));
  const RunResult html =
      run(program(SELEXPORT_BINARY, {"--format", "html", "/tmp/new", "/tmp/old.gz", "/tmp/c"}));
  const std::string page = html.out.substr(0, html.out.find("</noscript>"));
  const std::size_t c = page.find("<tr class=\"silent\"><td>dxa-c</td>");
  const std::size_t b = page.find("<td>dxa-b</td><td class=\"n\">2</td>");
  EXPECT_LT(c, b);
  EXPECT_LT(b, page.find("<td>dxa-a</td><td class=\"n\">4</td>"));
  EXPECT_NE(page.find("<td class=\"n\">7</td><td>cleared 7</td><td class=\"n\">0</td><td></td>"),
            std::string::npos);
  EXPECT_NE(page.find("none since 2025-11-25T00:01:00Z"), std::string::npos);
  EXPECT_EQ(page.find("class=\"silent\"", c + 10), std::string::npos) << "another went silent";
  EXPECT_NE(page.find("<td class=\"n\">3</td></tr>\n</table></div>\n<h2>The newest"),
            std::string::npos) << "the message is not shown by three modules";
  EXPECT_NE(html.out.find("7 records were lost before they could be sent, by 1 module."),
            std::string::npos);
}

}  // namespace
