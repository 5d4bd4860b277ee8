// selexport's record filters: a time window, a least severity and an event type,
// each matched against a record as `sel` would label it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "lib/sel_record.h"

struct ExportFilter {
  std::int64_t since = INT64_MIN;  // both ends inclusive, seconds since the epoch
  std::int64_t until = INT64_MAX;
  std::uint32_t least_severity = 0;
  int type_number = -1;              // an event_type, or -1
  const char* type_label = nullptr;  // a type label as printed (any case), or nullptr
};

// "2025-12-05T16:00:00Z" (UTC) or whole seconds since the epoch. False when neither.
bool filter_parse_time(const char* text, std::int64_t* when);

// A severity label ("normal" up to "emergency"): its value. False for any other text.
bool filter_parse_severity(const char* text, std::uint32_t* severity);

// A type label as printed or an event type number (0 to 65535). False for a text that
// no record is labelled with.
bool filter_parse_type(const char* text, ExportFilter* filter);

// The type labels and the severity labels, comma-separated, for a message.
void filter_print_types(FILE* out);
void filter_print_severities(FILE* out);

// Whether the record passes every filter set. A severity past the table's (shown as
// "unknown-severity") passes any least severity: it is never filtered away.
bool filter_match(const ExportFilter& filter, const SelRecord& rec);
