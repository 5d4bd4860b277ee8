// What selexport --summary says of the records that pass the filters: counts by
// severity, by type and by day, the first and the last record's time, where the clock
// went back, the messages that repeat most, the records left out as read before from
// another snapshot of the host, and where the snapshot was taken.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "decode/sel_record.h"
#include "snapshot/source.h"
#include "workstation/selexport/repeating.h"
#include "workstation/selexport/time_back.h"

// The severities "normal" to "emergency", and one slot for any past them.
inline constexpr int SUMMARY_SEVERITIES = 6;
inline constexpr int SUMMARY_TYPES_MAX = 64;  // type labels: a few dozen exist

// A record's time in the zone that its day is counted in (seconds, as if that zone were
// UTC) and its severity's slot: what the days and the timeline are made of.
struct SummaryMoment {
  std::int64_t local;
  int severity;
};

struct TypeCount {
  std::string_view label;
  int count;
};

struct Summary {
  int records = 0;
  int by_severity[SUMMARY_SEVERITIES] = {};
  TypeCount by_type[SUMMARY_TYPES_MAX] = {};
  int types = 0;
  std::int64_t first = INT64_MAX;  // the earliest and the latest record's time (UTC)
  std::int64_t last = INT64_MIN;
  SummaryMoment* moments = nullptr;  // one a record, in the order added
  int capacity = 0;
  TimeBack back;  // records added in ring order
  Repeating repeating;
  int dropped = 0;
  Summary() = default;
  ~Summary();
  Summary(const Summary&) = delete;
  Summary& operator=(const Summary&) = delete;
  Summary(Summary&&) = delete;
  Summary& operator=(Summary&&) = delete;
};

// A severity's slot (0 to 5) and its label as the rows print it.
int summary_severity_slot(const SelRecord& rec);
std::string_view summary_severity_label(int slot);

// Counts the record (records are added in ring order); its day in the process's TZ when
// `local`, else in UTC. False when no memory was left for it.
bool summary_add(Summary* summary, const SelRecord& rec, bool local);

// Empties the summary for the next store.
void summary_clear(Summary* summary);

// Sorts the moments by time (the days are counted over them in order).
void summary_sort(Summary* summary);

// The day of a moment (days since 1970-01-01 in its zone) and its text, "2025-12-05".
std::int64_t summary_day(std::int64_t local);
void summary_day_text(std::int64_t day, char (&buf)[16]);

// Calls `row(day_text, count)` for each day that has records, oldest first; the
// moments sorted.
template <typename Row>
void summary_each_day(const Summary& s, Row row) {
  for (int i = 0; i < s.records;) {
    const std::int64_t day = summary_day(s.moments[i].local);
    int n = 0;
    while (i < s.records && summary_day(s.moments[i].local) == day) ++i, ++n;
    char text[16];
    summary_day_text(day, text);
    row(text, n);
  }
}

// The summary as a text table, headed by the source and its snapshot; `zone` names the
// zone of the days. Sorts the moments.
void summary_print_text(FILE* out, Summary* summary, const Source& source, const char* zone);

// The summary as one JSON object on a line, with "source" first when `source_label` is
// not null. Sorts the moments.
void summary_print_json(FILE* out, Summary* summary, const Source& source,
                        const char* source_label);
