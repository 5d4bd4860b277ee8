// The record line: head, date, labels and the fallback for unknown types.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "decode/sel_date.h"
#include "tests/support/record_line.h"

namespace {

using RecordLine = UtcLineTest;

TEST_F(RecordLine, LabelsFallbacksAndDates) {
  const LineCase cases[] = {
      // Types and severities past their tables, from the head's two 32-bit fields.
      {RecordBuilder(-1, 86400, 0xFFFFFFFF, 65535),
       "Record -1: Fri Jan  2 00:00:00 1970 [unknown-type.unknown-severity]: "
       "Don't know how to decode this record.\n"},
      {RecordBuilder(1, 0, 5, 15),
       epoch_line("unknown-type.unknown-severity", "Don't know how to decode this record.")},
      {event(14).u8(16, 1).text(17, "login root"), epoch_line("auth.normal", "login root")},
      {event(14).text(17, "text"), epoch_line("unknown.normal", "text")},
      {event(14).u8(16, 2).text(17, "still shown"), epoch_line("unknown-type.normal", "still shown")},
      {RecordBuilder(1, 0, 4, 0), epoch_line("DXA.emergency", "Unknown")},
      {RecordBuilder(1, 0, 1, 3).text(16, "a"), epoch_line("DXA CLI.notice", "a \"\"")},
      {RecordBuilder(2147483647, -86400, 2, 12),
       "Record 2147483647: Wed Dec 31 00:00:00 1969 [Trap Event.warning]: \n"},
      {RecordBuilder(-2147483647 - 1, -2147483647 - 1, 3, 12),
       "Record -2147483648: Fri Dec 13 20:45:52 1901 [Trap Event.critical]: \n"},
  };
  expect_lines(cases);
  // A new TZ is seen at the next date, also within an hour whose offset was kept.
  const SelRecord at_epoch = RecordBuilder(1, 0, 4, 0);
  for (int i = 0; i < 2; ++i) print_line(at_epoch);
  set_zone("CET-1");
  EXPECT_EQ(print_line(at_epoch), "Record 1: Thu Jan  1 01:00:00 1970 [DXA.emergency]: Unknown\n");
}

// Every hour of the 32-bit range (1901 to 2038) against ctime, in zones with summer time,
// a half-hour offset and a half-hour summer shift: at its first second (the C library), a
// second that varies by hour (the offset checked and kept) and its last (the kept offset),
// so both ways meet every change. Under the emulator a prime stride meets every weekday.
#ifndef SEL_DATE_HOUR_STRIDE
#define SEL_DATE_HOUR_STRIDE 1
#endif

class DateAgainstCtime : public ::testing::TestWithParam<const char*> {};

TEST_P(DateAgainstCtime, EveryHour) {
  const std::string zone = GetParam();
  // Without its file the C library would quietly take the zone for UTC.
  ASSERT_EQ(access(("/usr/share/zoneinfo/" + zone).c_str(), R_OK), 0)
      << "no zone file for " << zone << " (package tzdata)";
  set_zone(zone.c_str());
  constexpr std::int64_t kFirst = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kLast = std::numeric_limits<std::int32_t>::max();
  for (std::int64_t hour = kFirst / 3600 - 1; hour * 3600 <= kLast;
       hour += SEL_DATE_HOUR_STRIDE) {
    const std::int64_t start = hour * 3600;
    const std::int64_t varied = start + (hour * 1237 % 3600 + 3600) % 3600;
    for (const std::int64_t second : {start, varied, start + 3599}) {
      const auto when = static_cast<std::int32_t>(std::clamp(second, kFirst, kLast));
      char date[SEL_DATE_LEN];
      const auto len = static_cast<std::size_t>(sel_date(when, date) - date);
      const std::time_t t = when;
      const char* want = ctime(&t);
      if (len != SEL_DATE_LEN || memcmp(date, want, len) != 0) {
        FAIL() << zone << " at " << when << ": " << std::string(date, len) << " for "
               << std::string(want, SEL_DATE_LEN);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Zones, DateAgainstCtime,
                         ::testing::Values("UTC", "Europe/Berlin", "America/St_Johns",
                                           "Australia/Lord_Howe"));

}  // namespace
