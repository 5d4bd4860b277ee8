#include "workstation/selexport/filter.h"

#include <strings.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <string_view>

#include "common/options.h"
#include "decode/sel_print.h"

namespace {

constexpr std::int64_t kDay = 86400;

// Records that show every type label: each event type, the sub-labels of the generic
// type (its byte 16: 0, 1, other) and a type past the table.
constexpr int kLabelledTypes = SEL_TYPE_COUNT + 3;

SelRecord labelled(int i) {
  SelRecord rec{};
  const int type = i < SEL_TYPE_COUNT        ? i
                   : i == kLabelledTypes - 1 ? SEL_TYPE_COUNT
                                             : SEL_TYPE_GENERIC_TEXT;
  store_be16(rec.bytes.data() + SEL_OFF_EVENT_TYPE, static_cast<std::uint16_t>(type));
  rec.bytes[SEL_OFF_SUBLABEL] =
      static_cast<unsigned char>(i < SEL_TYPE_COUNT ? 0 : i - SEL_TYPE_COUNT + 1);
  return rec;
}

bool same_label(std::string_view label, const char* text) {
  return label.size() == strlen(text) && strncasecmp(label.data(), text, label.size()) == 0;
}

// Each label once, in the order of the table.
void print_labels(FILE* out, int n, std::string_view (*label)(int)) {
  for (int i = 0; i < n; ++i) {
    bool seen = false;
    for (int j = 0; j < i; ++j) seen = seen || label(j) == label(i);
    if (!seen)
      fprintf(out, "%s%.*s", i == 0 ? "" : ", ", static_cast<int>(label(i).size()),
              label(i).data());
  }
}

// Exactly `width` digits at `p`, which moves past them.
bool digits(const char*& p, int width, int* value) {
  int v = 0;
  for (int i = 0; i < width; ++i) {
    if (isdigit(static_cast<unsigned char>(p[i])) == 0) return false;
    v = v * 10 + (p[i] - '0');
  }
  p += width;
  *value = v;
  return true;
}

// "Z", "z", "+01:00", "-0500" or "+01": the seconds that local time is ahead of UTC.
bool parse_offset(const char* p, int* offset) {
  if ((p[0] == 'Z' || p[0] == 'z') && p[1] == '\0') {
    *offset = 0;
    return true;
  }
  if (p[0] != '+' && p[0] != '-') return false;
  const int sign = p[0] == '-' ? -1 : 1;
  int hours = 0, minutes = 0;
  if (!digits(++p, 2, &hours)) return false;
  if (*p != '\0' && !digits(*p == ':' ? ++p : p, 2, &minutes)) return false;
  if (*p != '\0' || hours > 23 || minutes > 59) return false;
  *offset = sign * (hours * 3600 + minutes * 60);
  return true;
}

// 2025-12-05, or 2025-12-05T16:00 with seconds and an offset as they come: an instant
// where an offset is given, else a civil time.
bool parse_date(const char* p, TimeBound* bound) {
  int y = 0, mo = 0, d = 0, hour = 0, minute = 0, second = 0, offset = 0;
  if (!digits(p, 4, &y) || *p++ != '-' || !digits(p, 2, &mo) || *p++ != '-' || !digits(p, 2, &d)) {
    return false;
  }
  const bool date_only = *p == '\0';
  bool zoned = false;
  if (!date_only) {
    if (*p != 'T' && *p != 't' && *p != ' ') return false;
    if (!digits(++p, 2, &hour) || *p++ != ':' || !digits(p, 2, &minute)) return false;
    if (*p == ':' && !digits(++p, 2, &second)) return false;
    zoned = *p != '\0';
    if (zoned && !parse_offset(p, &offset)) return false;
  }
  using namespace std::chrono;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return false;
  const std::int64_t civil =
      static_cast<std::int64_t>(sys_days{date}.time_since_epoch().count()) * kDay +
      std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
  *bound = zoned ? TimeBound{TimeBound::kInstant, civil - offset, false}
                 : TimeBound{TimeBound::kCivil, civil, date_only};
  return true;
}

// The seconds that the process's zone is ahead of UTC at `when` (0 without --local).
std::int64_t offset_at(std::int64_t when, bool local) {
  const auto t = static_cast<std::time_t>(when);
  std::tm tm{};
  return local && localtime_r(&t, &tm) != nullptr ? tm.tm_gmtoff : 0;
}

// A civil time as an instant: in UTC, or in the process's zone.
std::int64_t instant_of(std::int64_t civil, bool local) {
  if (!local) return civil;
  using namespace std::chrono;
  const sys_seconds at{seconds{civil}};
  const auto day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{at - day};
  std::tm tm{};
  tm.tm_year = static_cast<int>(date.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  tm.tm_hour = static_cast<int>(time.hours().count());
  tm.tm_min = static_cast<int>(time.minutes().count());
  tm.tm_sec = static_cast<int>(time.seconds().count());
  tm.tm_isdst = -1;  // the zone says whether summer time applies
  const std::time_t t = mktime(&tm);
  return t == static_cast<std::time_t>(-1) ? civil : static_cast<std::int64_t>(t);
}

// One end as a time: a day from its first second, or (`end`) to its last.
std::int64_t end_of(const TimeBound& b, bool end, std::int64_t newest, bool local) {
  TimeBound civil = b;
  switch (b.kind) {
    case TimeBound::kOpen: return end ? INT64_MAX : INT64_MIN;
    case TimeBound::kInstant: return b.seconds;
    case TimeBound::kBack: return newest - b.seconds;
    case TimeBound::kToday:
    case TimeBound::kYesterday: {
      const std::int64_t local_newest = newest + offset_at(newest, local);
      const std::int64_t day = local_newest / kDay - (local_newest % kDay < 0 ? 1 : 0);
      civil = {TimeBound::kCivil, (day - (b.kind == TimeBound::kYesterday ? 1 : 0)) * kDay, true};
      break;
    }
    case TimeBound::kCivil: break;
  }
  if (civil.date_only && end) return instant_of(civil.seconds + kDay, local) - 1;
  return instant_of(civil.seconds, local);
}

bool parse_day_word(const char* text, TimeBound* bound) {
  const bool today = strcmp(text, "today") == 0;
  if (!today && strcmp(text, "yesterday") != 0) return false;
  *bound = {today ? TimeBound::kToday : TimeBound::kYesterday, 0, true};
  return true;
}

// -2h, -3d, -30m, -90s: the span, in seconds.
bool parse_span_back(const char* text, std::int64_t* seconds) {
  constexpr std::string_view kUnits = "smhd";
  constexpr std::int64_t kUnitSeconds[] = {1, 60, 3600, 86400};
  std::int64_t value = 0;
  const std::size_t length = strlen(text);
  if (length < 3 || text[0] != '-') return false;
  const std::size_t unit = kUnits.find(text[length - 1]);
  char number[16];
  if (unit == std::string_view::npos || length - 2 >= sizeof number) return false;
  memcpy(number, text + 1, length - 2);
  number[length - 2] = '\0';
  if (!opt_number(number, 0, 1000000000, &value)) return false;
  *seconds = value * kUnitSeconds[unit];
  return true;
}

}  // namespace

bool filter_parse_time(const char* text, TimeBound* bound) {
  std::int64_t seconds = 0;
  if (opt_number(text, INT64_MIN, INT64_MAX, &seconds)) {
    *bound = {TimeBound::kInstant, seconds, false};
    return true;
  }
  if (parse_span_back(text, &bound->seconds)) {
    bound->kind = TimeBound::kBack;
    return true;
  }
  return parse_day_word(text, bound) || parse_date(text, bound);
}

bool filter_parse_day(const char* text, ExportFilter* filter) {
  TimeBound day;
  if (!parse_day_word(text, &day) && (!parse_date(text, &day) || !day.date_only)) return false;
  filter->since = filter->until = day;
  return true;
}

bool filter_needs_newest(const ExportFilter& filter) {
  for (const TimeBound::Kind kind : {filter.since.kind, filter.until.kind}) {
    if (kind == TimeBound::kBack || kind == TimeBound::kToday || kind == TimeBound::kYesterday) {
      return true;
    }
  }
  return false;
}

void filter_window(const ExportFilter& filter, std::int64_t newest, bool local,
                   std::int64_t* since, std::int64_t* until) {
  *since = end_of(filter.since, false, newest, local);
  *until = end_of(filter.until, true, newest, local);
}

bool filter_window_empty(const ExportFilter& filter) {
  const TimeBound &a = filter.since, &b = filter.until;
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case TimeBound::kInstant: return a.seconds > b.seconds;
    case TimeBound::kBack: return a.seconds < b.seconds;
    case TimeBound::kCivil: return a.seconds > b.seconds + (b.date_only ? kDay - 1 : 0);
    default: return false;
  }
}

bool filter_parse_severity(const char* text, std::uint32_t* severity) {
  for (std::uint32_t s = 0; s < SEL_SEVERITY_LABELS; ++s) {
    if (same_label(sel_severity_name(s), text)) {
      *severity = s;
      return true;
    }
  }
  return false;
}

bool filter_parse_type(const char* text, ExportFilter* filter) {
  std::int64_t number = 0;
  if (filter->types == FILTER_TYPES_MAX) return false;
  TypeWanted& wanted = filter->type[filter->types];
  if (opt_number(text, 0, UINT16_MAX, &number)) {
    wanted = {static_cast<int>(number), nullptr};
    ++filter->types;
    return true;
  }
  for (int i = 0; i < kLabelledTypes; ++i) {
    if (same_label(sel_type_label(labelled(i)), text)) {
      wanted = {-1, text};
      ++filter->types;
      return true;
    }
  }
  return false;
}

void filter_print_types(FILE* out) {
  print_labels(out, kLabelledTypes, [](int i) { return sel_type_label(labelled(i)); });
}

void filter_print_severities(FILE* out) {
  print_labels(out, static_cast<int>(SEL_SEVERITY_LABELS),
               [](int i) { return sel_severity_name(static_cast<std::uint32_t>(i)); });
}

bool filter_match(const ExportFilter& filter, std::int64_t since, std::int64_t until,
                  const SelRecord& rec) {
  const std::int64_t when = sel_timestamp(rec);
  if (when < since || when > until) return false;
  if (sel_severity(rec) < filter.least_severity) return false;
  for (int i = 0; i < filter.types; ++i) {
    const TypeWanted& t = filter.type[i];
    if (t.label != nullptr ? same_label(sel_type_label(rec), t.label)
                           : sel_event_type(rec) == t.number) {
      return true;
    }
  }
  return filter.types == 0;
}
