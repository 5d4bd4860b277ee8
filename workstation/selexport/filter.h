// selexport's record filters: a time window, a least severity and event types, each
// matched against a record as `sel` would label it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/sel_record.h"

// One end of the time window as given. A time with an offset (or seconds since the
// epoch) is an instant; a date or a time without one is civil, in UTC or with --local in
// the store's zone; a span and "today" and "yesterday" count from the newest record among
// the inputs (a snapshot is read days after it was taken: "the last two hours" are its
// own).
struct TimeBound {
  enum Kind : unsigned char { kOpen, kInstant, kCivil, kBack, kToday, kYesterday };
  Kind kind = kOpen;
  std::int64_t seconds = 0;  // instant: since the epoch; civil: as if in UTC; back: the span
  bool date_only = false;    // civil: a date alone, from its first second to its last
};

// An event type asked for: a number, or a label as printed (any case).
struct TypeWanted {
  int number;         // an event_type, or -1
  const char* label;  // or nullptr
};
inline constexpr int FILTER_TYPES_MAX = 16;

struct ExportFilter {
  TimeBound since;  // both ends inclusive
  TimeBound until;
  std::uint32_t least_severity = 0;
  int types = 0;  // a record passes when it is of any of them; 0: of any type
  TypeWanted type[FILTER_TYPES_MAX] = {};
};

// Seconds since the epoch; 2025-12-05 (a day); 2025-12-05T16:00, with seconds, 'T', 't'
// or a blank between, and Z, z or an offset (+01:00, -0500, +01) after, or none (in UTC,
// or with --local the store's zone); -2h, -3d, -30m, -90s before the newest record;
// "today" or "yesterday", the day of the newest record and the one before. False when
// none of these.
bool filter_parse_time(const char* text, TimeBound* bound);

// --on DAY: a date, "today" or "yesterday", from its first second to its last. False
// when none of these.
bool filter_parse_day(const char* text, ExportFilter* filter);

// Whether an end counts from the newest record among the inputs.
bool filter_needs_newest(const ExportFilter& filter);

// The window as times for the store being read: a date alone from its first second
// (since) or to its last (until); civil times in the process's TZ when `local`, else in
// UTC; `newest` the time of the newest record among the inputs.
void filter_window(const ExportFilter& filter, std::int64_t newest, bool local,
                   std::int64_t* since, std::int64_t* until);

// Whether the window is empty whatever the stores hold: both ends instants, both civil
// or both counted back, the first after the second.
bool filter_window_empty(const ExportFilter& filter);

// A severity label ("normal" up to "emergency"): its value. False for any other text.
bool filter_parse_severity(const char* text, std::uint32_t* severity);

// A type label as printed or an event type number (0 to 65535), added to the types
// asked for. False for a text that no record is labelled with.
bool filter_parse_type(const char* text, ExportFilter* filter);

// The type labels and the severity labels, comma-separated, for a message.
void filter_print_types(FILE* out);
void filter_print_severities(FILE* out);

// Whether the record passes every filter set, the window being [since, until]. A
// severity past the table's (shown as "unknown-severity") passes any least severity:
// it is never filtered away.
bool filter_match(const ExportFilter& filter, std::int64_t since, std::int64_t until,
                  const SelRecord& rec);
