// The date of a module time as the record line shows it: the 24 characters of the C
// library's ctime text ("Thu Jan  1 00:00:00 1970": day name, month name, the day of
// the month in three columns, the time, and the year) without its newline, in the
// process's local time zone.
//
// Contract:
// - For every 32-bit time the text is byte for byte what ctime gives for that time
//   under the TZ that the process has at the call, including years before 1970 and
//   the times past 2038 that a 32-bit value cannot hold (those are negative: dates
//   before 1970). As with ctime, a change of TZ is seen at the next call; with TZ
//   unset the zone file is not read again during the run (ctime would notice a new
//   /etc/localtime; nothing changes it under a listing).
// - It is built from the zone's broken-down time here instead of through ctime, whose
//   formatting costs more than the rest of a record line. The UTC offset of the clock
//   hour (in UTC) that a time falls in is kept, so that consecutive records of the
//   same hour need no call of the C library at all. An hour is kept only when the
//   offset at its first and last second agree; a zone whose offset changed and changed
//   back within one hour would be shown wrongly inside that hour, and none of the tz
//   database's zones does that (its closest two changes of offset are days apart).
// - Not thread-safe: the kept hour and zone are shared by all callers.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t SEL_DATE_LEN = 24;

// Writes the date of `when` to out[0..SEL_DATE_LEN) (no NUL) and returns the end,
// out + SEL_DATE_LEN; or writes nothing and returns out where the C library cannot
// convert the time (ctime gives no text then).
char* sel_date(std::int32_t when, char* out);

// The same time as ISO 8601 in UTC, "2025-12-05T16:00:00Z": what gmtime and strftime's
// "%Y-%m-%dT%H:%M:%SZ" give, from the same calendar and without any zone, so that it
// costs no call of the C library. Every 32-bit time has one (years 1901 to 2038).
inline constexpr std::size_t SEL_ISO_LEN = 20;
char* sel_iso_utc(std::int32_t when, char* out);

// The date of a day counted from 1970-01-01, "2025-12-05", from the same calendar: the
// C library's gmtime would count the leap seconds of a "right/" zone in TZ and name the
// day before. Any day from 0000-01-01 to 9999-12-31 (a certificate's dates too).
inline constexpr std::size_t SEL_ISO_DATE_LEN = 10;
char* sel_iso_date(std::int32_t days, char* out);
