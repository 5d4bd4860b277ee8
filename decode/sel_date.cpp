#include "decode/sel_date.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string_view>

#include "lib/decimal.h"

namespace {

constexpr std::int32_t kDay = 86400;
constexpr std::int32_t kHour = 3600;
constexpr std::int32_t kFirstTime = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kLastTime = std::numeric_limits<std::int32_t>::max();

// ctime's names are the C locale's whatever the process's locale.
constexpr auto kDayNames =
    std::to_array<std::string_view>({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"});
static_assert(kDayNames.size() == 7);
constexpr auto kMonthNames = std::to_array<std::string_view>(
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"});
static_assert(kMonthNames.size() == 12);

// A broken-down local time, as struct tm counts: month 0 to 11, week day 0 (Sunday)
// to 6, second up to 60 (a leap second).
struct Fields {
  std::int32_t year;
  std::int32_t month;
  std::int32_t mday;
  std::int32_t wday;
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
};

// All arithmetic below stays within 32 bits: the module's processor has no 64-bit
// division, and a 32-bit time's day count is below 25,000 either side of 1970. Its
// local years are 1901 to 2038; a certificate's dates, 0 to 9999, reach the only
// negative count from 1 March 0, in the two months before it.

// Days since 1970-01-01 of a proleptic Gregorian date (month 0 to 11), and back.
std::int32_t days_from_civil(std::int32_t year, std::int32_t month, std::int32_t mday) {
  const std::int32_t y = year - (month < 2 ? 1 : 0);
  const std::int32_t era = y / 400;
  const std::int32_t yoe = y - era * 400;
  const std::int32_t doy = (153 * (month < 2 ? month + 10 : month - 2) + 2) / 5 + mday - 1;
  const std::int32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int32_t days, Fields& f) {
  const std::int32_t z = days + 719468;  // counted from 0000-03-01
  const std::int32_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int32_t doe = z - era * 146097;
  const std::int32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int32_t mp = (5 * doy + 2) / 153;  // months from March
  f.mday = doy - (153 * mp + 2) / 5 + 1;
  f.month = mp < 10 ? mp + 2 : mp - 10;
  f.year = yoe + era * 400 + (f.month < 2 ? 1 : 0);
  f.wday = (days % 7 + 11) % 7;  // 1970-01-01 was a Thursday
}

// The day since 1970 and the second of that day of `when`, in UTC.
void split_day(std::int32_t when, std::int32_t& days, std::int32_t& second) {
  days = when / kDay;
  second = when % kDay;
  if (second < 0) {
    second += kDay;
    --days;
  }
}

// The local time `offset` seconds ahead of UTC at `when`.
Fields fields_at(std::int32_t when, std::int32_t offset) {
  std::int32_t days = 0;
  std::int32_t second = 0;
  split_day(when, days, second);
  second += offset;
  for (; second < 0; second += kDay) --days;
  for (; second >= kDay; second -= kDay) ++days;
  Fields f{};
  civil_from_days(days, f);
  f.hour = second / kHour;
  f.minute = second / 60 % 60;
  f.second = second % 60;
  return f;
}

// The two digits of a value of 0 to 99.
void put2(char* p, std::int32_t value) {
  std::memcpy(p, &kDigitPairs[2 * static_cast<std::size_t>(value)], 2);
}

// ctime's "%.3s %.3s%3d %.2d:%.2d:%.2d %d" without the newline; the years have four
// digits.
char* format(const Fields& f, char* out) {
  std::memcpy(out, kDayNames[static_cast<std::size_t>(f.wday)].data(), 3);
  out[3] = ' ';
  std::memcpy(out + 4, kMonthNames[static_cast<std::size_t>(f.month)].data(), 3);
  out[7] = ' ';
  put2(out + 8, f.mday);
  if (f.mday < 10) out[8] = ' ';
  out[10] = ' ';
  put2(out + 11, f.hour);
  out[13] = ':';
  put2(out + 14, f.minute);
  out[16] = ':';
  put2(out + 17, f.second);
  out[19] = ' ';
  put2(out + 20, f.year / 100);
  put2(out + 22, f.year % 100);
  return out + SEL_DATE_LEN;
}

// The C library's conversion, false where it has none. std::localtime reads TZ afresh at
// every call, as ctime does, so a changed zone is seen here without more.
bool library_fields(std::int32_t when, Fields& f) {
  const std::time_t t = when;
  // The tool has one thread; the reentrant form is POSIX, which decoding does without.
  // cppcheck-suppress localtimeCalled
  const std::tm* tm = std::localtime(&t);
  if (tm == nullptr) return false;
  f = Fields{tm->tm_year + 1900, tm->tm_mon, tm->tm_mday, tm->tm_wday,
             tm->tm_hour,        tm->tm_min, tm->tm_sec};
  return true;
}

// The offset from UTC that the zone has at `when`, as the difference of its local
// fields from UTC's. In a zone that counts leap seconds the offset moves by one at
// each, which falls in the first minute of a UTC hour of its count, so that such an
// hour never has the same offset at both ends.
bool offset_at(std::int32_t when, std::int32_t& offset) {
  Fields f{};
  if (!library_fields(when, f)) return false;
  std::int32_t days = 0;
  std::int32_t second = 0;
  split_day(when, days, second);
  offset = (days_from_civil(f.year, f.month, f.mday) - days) * kDay +
           (f.hour * kHour + f.minute * 60 + f.second) - second;
  return true;
}

// The UTC clock hour of the last time converted. It is worked out from the library
// for its first time; at its second time its offset is checked at both ends, and
// kept for the rest of the hour if they agree.
struct Hour {
  enum State { kNone, kSeen, kKept, kMixed };
  State state;
  std::int32_t first;  // the first and last second of the hour that 32 bits hold
  std::int32_t last;
  std::int32_t offset;
};
Hour g_hour{Hour::kNone, 0, 0, 0};

// The TZ value under which g_hour was worked out. A value too long to copy is never
// taken as unchanged, so every call then converts afresh, as ctime does.
struct Zone {
  bool known;
  bool unset;
  std::array<char, 256> tz;
};
Zone g_zone{false, false, {}};

// Reads TZ as ctime does at every call, and starts over when it changed.
void follow_zone() {
  const char* tz = std::getenv("TZ");
  if (g_zone.known &&
      (tz == nullptr ? g_zone.unset : !g_zone.unset && strcmp(tz, g_zone.tz.data()) == 0)) {
    return;
  }
  g_hour.state = Hour::kNone;
  const std::size_t len = tz == nullptr ? 0 : strlen(tz);
  g_zone.unset = tz == nullptr;
  g_zone.known = len < g_zone.tz.size();
  if (g_zone.known && tz != nullptr) std::memcpy(g_zone.tz.data(), tz, len + 1);
}

void start_hour(std::int32_t when) {
  const std::int32_t into = (when % kHour + kHour) % kHour;
  const std::int64_t first = std::int64_t{when} - into;
  g_hour.state = Hour::kSeen;
  g_hour.first = static_cast<std::int32_t>(first < kFirstTime ? kFirstTime : first);
  g_hour.last = static_cast<std::int32_t>(first + kHour - 1 > kLastTime ? kLastTime
                                                                         : first + kHour - 1);
}

void try_keep_hour() {
  std::int32_t at_first = 0;
  std::int32_t at_last = 0;
  const bool same = offset_at(g_hour.first, at_first) && offset_at(g_hour.last, at_last) &&
                    at_first == at_last;
  g_hour.state = same ? Hour::kKept : Hour::kMixed;
  g_hour.offset = at_first;
}

}  // namespace

char* sel_date(std::int32_t when, char* out) {
  follow_zone();
  if (g_hour.state == Hour::kNone || when < g_hour.first || when > g_hour.last) {
    start_hour(when);
  } else if (g_hour.state == Hour::kSeen) {
    try_keep_hour();
  }
  if (g_hour.state == Hour::kKept) return format(fields_at(when, g_hour.offset), out);
  Fields f{};
  return library_fields(when, f) ? format(f, out) : out;
}

char* sel_iso_date(std::int32_t days, char* out) {
  Fields f{};
  civil_from_days(days, f);
  put2(out, f.year / 100);
  put2(out + 2, f.year % 100);
  out[4] = '-';
  put2(out + 5, f.month + 1);
  out[7] = '-';
  put2(out + 8, f.mday);
  return out + SEL_ISO_DATE_LEN;
}

char* sel_iso_utc(std::int32_t when, char* out) {
  // "YYYY-MM-DDT" of the last day asked for: records come in order, many to a day.
  static struct {
    bool known;
    std::int32_t days;
    char text[11];
  } day{false, 0, {}};
  std::int32_t days = 0;
  std::int32_t second = 0;
  split_day(when, days, second);
  if (!day.known || days != day.days) {
    day.text[sel_iso_date(days, day.text) - day.text] = 'T';
    day.known = true;
    day.days = days;
  }
  std::memcpy(out, day.text, sizeof day.text);
  const std::int32_t hour = second / kHour;
  const std::int32_t minutes = (second - hour * kHour) / 60;
  put2(out + 11, hour);
  out[13] = ':';
  put2(out + 14, minutes);
  out[16] = ':';
  put2(out + 17, second - hour * kHour - minutes * 60);
  out[19] = 'Z';
  return out + SEL_ISO_LEN;
}
