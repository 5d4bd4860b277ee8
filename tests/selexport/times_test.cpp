// Times as people mean them: a date as a whole day, a day in the module's zone, and
// spans and days counted from the newest record among the stores, whatever its id.
#include <regex>
#include <sstream>

#include "standins/storewriter/record_builder.h"
#include "standins/storewriter/store_writer.h"
#include "tests/support/root_test.h"

namespace {

using TimesTest = RootTest;

constexpr std::int32_t k0520 = 1764964800;  // 2025-12-05T20:00:00Z

// Ids 1 to 33 an hour apart from 2025-12-05T20:00Z (id 33: 2025-12-07T04:00Z); id 34,
// the last by id, went back to 2025-12-06T10:30Z.
SelRecord hourly_record(int i, void* /*ctx*/) {
  const std::int32_t when = i < 33 ? k0520 + 3600 * i : k0520 + 3600 * 14 + 1800;
  return RecordBuilder(0, when, 1, SEL_TYPE_GENERIC_TEXT).text(SEL_OFF_GENERIC_TEXT, "tick");
}

// A later snapshot of another module: ids 1 and 2 at 2025-12-07T06:00Z and 07:00Z.
SelRecord later_record(int i, void* /*ctx*/) {
  return RecordBuilder(0, k0520 + 3600 * (34 + i), 1, SEL_TYPE_GENERIC_TEXT)
      .text(SEL_OFF_GENERIC_TEXT, "tock");
}

// "a a+1 ... b", and more after it.
std::string ids(int a, int b, const std::string& more = "") {
  std::string s;
  for (int i = a; i <= b; ++i) s.append(s.empty() ? "" : " ").append(std::to_string(i));
  return more.empty() ? s : s + " " + more;
}

std::string ids_in(const std::string& rows) {
  std::string found;
  const std::regex id("\"id\":(-?[0-9]+)");
  for (auto m = std::sregex_iterator(rows.begin(), rows.end(), id); m != std::sregex_iterator(); ++m) {
    found.append(found.empty() ? "" : " ").append((*m)[1].str());
  }
  return found;
}

TEST_F(TimesTest, DaysZonesAndSpansAsPeopleMeanThem) {
  mkdir("/tmp/a", 0755);
  mkdir("/tmp/b", 0755);
  ASSERT_TRUE(store_write("/tmp/a", sel_ring_info(1, 34, 0), hourly_record, nullptr).ok());
  ASSERT_TRUE(store_write("/tmp/b", sel_ring_info(1, 2, 0), later_record, nullptr).ok());
  write_file("/tmp/a/sel.meta", "host=dxa-a\nzone=EST5\n");  // 5 hours behind UTC
  write_file("/tmp/b/sel.meta", "host=dxa-b\nzone=EST5\n");
  const struct {
    const char* args;
    std::string ids;  // "" with status 2: refused
  } cases[] = {
      {"--since 2025-12-06 --until 2025-12-06", ids(5, 28, "34")},
      {"--until 2025-12-05", ids(1, 4)},
      {"--on 2025-12-06", ids(5, 28, "34")},
      {"--on 2025-12-06 --local", ids(10, 34)},  // 05:00Z on the 6th to 04:59:59Z
      {"--since 2025-12-06T12:00 --until 2025-12-06T13:00 --local", "22 23"},
      {"--since 2025-12-06T12:00Z --until 2025-12-06T13:00:00-05:00 --local", ids(17, 23)},
      {"--since -2h", "31 32 33"},  // from the largest time, not the last id's
      {"--on today", ids(29, 33)},
      {"--on yesterday", ids(5, 28, "34")},
      {"--on today --local", ids(10, 34)},  // 04:00Z on the 7th is the 6th in EST5
      {"--until yesterday", ids(1, 28, "34")},
      {"--since today --until -1h", "29 30 31 32"},
      {"--since -2h /tmp/b", "1 2"},  // from the newest among the stores: /tmp/b's
      {"--on 2025-12-06 --until today", ""},
      {"--on 2025-12-06T10:00", ""},
      {"--since tomorrow", ""},
      {"--since 2025-12-07 --until 2025-12-06", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::vector<std::string> args = {"/tmp/a"};
    std::istringstream words(c.args);
    for (std::string word; words >> word;) args.insert(args.end() - (word == "/tmp/b" ? 0 : 1), word);
    const RunResult r = run(program(SELEXPORT_BINARY, args));
    EXPECT_EQ(r.exit_code(), c.ids.empty() ? 2 : 0) << r.err;
    EXPECT_EQ(ids_in(r.out), c.ids);
  }
}

}  // namespace
