// selexport's record filters: a time window, a least severity and event types, each
// matched against a record as `sel` would label it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/sel_record.h"

// One end of the time window: a time, or a span before the store's newest record (a
// snapshot is read days after it was taken: "the last two hours" are its own).
struct TimeBound {
  std::int64_t seconds;
  bool back;  // `seconds` before the newest record's time
};

// An event type asked for: a number, or a label as printed (any case).
struct TypeWanted {
  int number;         // an event_type, or -1
  const char* label;  // or nullptr
};
inline constexpr int FILTER_TYPES_MAX = 16;

struct ExportFilter {
  TimeBound since{INT64_MIN, false};  // both ends inclusive
  TimeBound until{INT64_MAX, false};
  std::uint32_t least_severity = 0;
  int types = 0;  // a record passes when it is of any of them; 0: of any type
  TypeWanted type[FILTER_TYPES_MAX] = {};
};

// Seconds since the epoch; 2025-12-05 (its midnight, UTC); 2025-12-05T16:00, with
// seconds, 'T', 't' or a blank between, and Z, z or an offset (+01:00, -0500, +01)
// after (none: UTC); or -2h, -3d, -30m, -90s before the newest record. False when
// none of these.
bool filter_parse_time(const char* text, TimeBound* bound);

// The window as times, `newest` being the time of the store's newest record.
void filter_window(const ExportFilter& filter, std::int64_t newest, std::int64_t* since,
                   std::int64_t* until);

// Whether the window is empty whatever the newest record's time (both ends times, or
// both spans back). Windows of one time and one span depend on the store.
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
