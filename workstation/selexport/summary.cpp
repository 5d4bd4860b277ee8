#include "workstation/selexport/summary.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "common/escape.h"
#include "decode/record_text.h"
#include "decode/sel_date.h"
#include "decode/sel_print.h"
#include "lib/visible.h"
#include "workstation/selexport/shown.h"
#include "workstation/selexport/pattern_cache.h"

namespace {

constexpr std::int64_t kDay = 86400;
static_assert(SUMMARY_SEVERITIES == SEL_SEVERITY_LABELS + 1,
              "one slot for the severities past them");

// The types most seen first; a tie in the order of the labels.
void sort_types(Summary* s) {
  std::sort(s->by_type, s->by_type + s->types, [](const TypeCount& a, const TypeCount& b) {
    return a.count != b.count ? a.count > b.count : a.label < b.label;
  });
}

void json_label(FILE* out, std::string_view label, int count, bool* first) {
  fputs(*first ? "" : ",", out);
  json_text(out, label);
  fprintf(out, ":%d", count);
  *first = false;
}

// A module's repeats and records lost, as the summary's text writes them.
void fleet_text(FILE* out, const FleetHost& h) {
  fprintf(out, "%-18s %lld\n", "Repeats dropped", static_cast<long long>(h.repeats));
  fprintf(out, "%-18s %lld%s", "Lost", static_cast<long long>(h.lost.records),
          h.lost.at_least ? " or more" : "");
  for (std::size_t r = 0; r < LOST_REASONS; ++r) {
    const std::string_view reason = lost_reason_text(static_cast<LostReason>(r));
    if (h.lost.by_reason[r] != 0) {
      fprintf(out, ", %.*s %lld", static_cast<int>(reason.size()), reason.data(),
              static_cast<long long>(h.lost.by_reason[r]));
    }
  }
  fputc('\n', out);
}

// The same as JSON members, each with the comma after it.
void fleet_json(FILE* out, const FleetHost& h) {
  fprintf(out, "\"repeats\":%lld,\"lost\":{\"records\":%lld,\"at_least\":%s,\"reasons\":{",
          static_cast<long long>(h.repeats), static_cast<long long>(h.lost.records),
          h.lost.at_least ? "true" : "false");
  for (std::size_t r = 0; r < LOST_REASONS; ++r) {
    const std::string_view reason = lost_reason_text(static_cast<LostReason>(r));
    fprintf(out, "%s\"%.*s\":%lld", r == 0 ? "" : ",", static_cast<int>(reason.size()),
            reason.data(), static_cast<long long>(h.lost.by_reason[r]));
  }
  fputs("}},", out);
}

// "Time goes back  2 times, first at record 1018: 2001-11-12T03:00:00Z after
// 2025-12-06T12:49:00Z": where the module's clock went back, in ring order.
void print_time_back(FILE* out, const TimeBack& b) {
  if (b.times == 0) return;
  char time[32], after[32];
  iso_time(b.first_time, time);
  iso_time(b.first_after, after);
  fprintf(out, "%-18s %d time%s, first at record %d: %s after %s\n", "Time goes back", b.times,
          b.times == 1 ? "" : "s", b.first_id, time, after);
}

void json_time_back(FILE* out, const TimeBack& b) {
  fprintf(out, "\"time_goes_back\":{\"times\":%d", b.times);
  if (b.times > 0) {
    char time[32], after[32];
    iso_time(b.first_time, time);
    iso_time(b.first_after, after);
    fprintf(out, ",\"first\":{\"id\":%d,\"time\":\"%s\",\"after\":\"%s\"}", b.first_id, time,
            after);
  }
  fputs("},", out);
}

void json_repeating(FILE* out, const Repeating& repeating) {
  fputs("\"repeating\":[", out);
  const char* comma = "";
  for (const RepeatingGroup* g : repeating_top(repeating, REPEATING_TOP)) {
    char from[32], to[32];
    iso_time(static_cast<std::int32_t>(g->first), from);
    iso_time(static_cast<std::int32_t>(g->last), to);
    fprintf(out, "%s{\"type\":\"%.*s\",\"pattern\":", comma, static_cast<int>(g->type.size()),
            g->type.data());
    json_text(out, g->pattern);
    fprintf(out, ",\"count\":%d,\"first\":\"%s\",\"last\":\"%s\",\"stores\":%d}", g->count, from,
            to, g->stores);
    comma = ",";
  }
  fputs("],", out);
}

}  // namespace

// Floor division: the day of a time before 1970 is the day before.
std::int64_t summary_day(std::int64_t local) { return local / kDay - (local % kDay < 0 ? 1 : 0); }

void summary_day_text(std::int64_t day, char (&buf)[16]) {
  // Our own calendar: the C library's would count the leap seconds of a "right/" zone
  // and name the day before. The days of 32-bit times, shifted by a zone's offset.
  *sel_iso_date(static_cast<std::int32_t>(day), buf) = '\0';
}

int summary_severity_slot(const SelRecord& rec) {
  return static_cast<int>(std::min<std::uint32_t>(sel_severity(rec), SUMMARY_SEVERITIES - 1));
}

std::string_view summary_severity_label(int slot) {
  return sel_severity_name(static_cast<std::uint32_t>(slot));
}

namespace {

// Counts a record on its day.
void count_day(Summary* s, std::int64_t day) {
  std::vector<DayCount>& days = s->days;
  if (s->last_day >= days.size() || days[s->last_day].day != day) {
    const auto at = std::lower_bound(days.begin(), days.end(), day,
                                     [](const DayCount& d, std::int64_t v) { return d.day < v; });
    s->last_day = static_cast<std::size_t>(at - days.begin());
    if (at == days.end() || at->day != day) days.insert(at, DayCount{day, 0});
  }
  ++days[s->last_day].count;
}

}  // namespace

bool summary_add(Summary* s, const SelRecord& rec, bool local) {
  const std::time_t when = sel_timestamp(rec);
  std::int64_t shifted = when;
  std::tm tm{};
  if (local && localtime_r(&when, &tm) != nullptr) shifted += tm.tm_gmtoff;
  const int slot = summary_severity_slot(rec);
  ++s->records;
  count_day(s, summary_day(shifted));
  ++s->by_severity[slot];
  s->first = std::min<std::int64_t>(s->first, when);
  s->last = std::max<std::int64_t>(s->last, when);
  const std::string_view label = sel_type_label(rec);
  time_back_add(&s->back, s->records - 1, sel_record_id(rec), sel_timestamp(rec));
  repeating_add(&s->repeating, label, record_pattern(rec), when, 0);
  int t = 0;
  while (t < s->types && s->by_type[t].label != label) ++t;
  if (t == s->types && s->types < SUMMARY_TYPES_MAX) s->by_type[s->types++] = {label, 0};
  if (t < s->types) ++s->by_type[t].count;
  return true;
}

void summary_clear(Summary* s) {
  s->records = 0;
  s->days.clear();
  std::fill(s->by_severity, s->by_severity + SUMMARY_SEVERITIES, 0);
  s->types = 0;
  s->first = INT64_MAX;
  s->last = INT64_MIN;
  s->back = TimeBack{};
  s->repeating = Repeating{};
  s->dropped = 0;
}

void summary_print_text(FILE* out, Summary* s, const Source& source, const char* zone) {
  sort_types(s);
  char first[32] = "-", last[32] = "-";
  if (s->records > 0) {
    iso_time(static_cast<std::int32_t>(s->first), first);
    iso_time(static_cast<std::int32_t>(s->last), last);
  }
  const SnapshotMeta& m = source.meta;
  for (const auto& [key, value] : {std::pair{"Store", source.name}, std::pair{"Host", m.host},
                                   std::pair{"Saved", m.saved}, std::pair{"Zone", m.zone}}) {
    if (value[0] == '\0') continue;
    fprintf(out, "%-18s ", key);
    visible_write(out, value);
    fputc('\n', out);
  }
  fprintf(out, "%-18s %d\n%-18s %s\n%-18s %s\n", "Records", s->records, "First", first, "Last",
          last);
  if (s->dropped > 0) {
    fprintf(out, "%-18s %d records already read from an earlier snapshot of this host\n",
            "Left out", s->dropped);
  }
  print_time_back(out, s->back);
  if (s->fleet_host != nullptr) fleet_text(out, *s->fleet_host);
  fprintf(out, "\n%-18s %8s\n", "Severity", "Records");
  for (int slot = 0; slot < SUMMARY_SEVERITIES; ++slot) {
    const std::string_view label = summary_severity_label(slot);
    if (s->by_severity[slot] != 0)
      fprintf(out, "  %-16.*s %8d\n", static_cast<int>(label.size()), label.data(),
              s->by_severity[slot]);
  }
  fprintf(out, "\n%-18s %8s\n", "Type", "Records");
  for (int t = 0; t < s->types; ++t) {
    const TypeCount& c = s->by_type[t];
    fprintf(out, "  %-16.*s %8d\n", static_cast<int>(c.label.size()), c.label.data(), c.count);
  }
  fputs("\nDay (", out);
  visible_write(out, zone);
  fputs(")\n", out);
  summary_each_day(*s, [out](const char* day, int n) { fprintf(out, "  %-16s %8d\n", day, n); });
  fprintf(out, "\nRepeating (numbers and dates masked)\n  %8s  %-20s  %-20s  %s\n", "Records",
          "First", "Last", "Type: message");
  for (const RepeatingGroup* g : repeating_top(s->repeating, REPEATING_TOP)) {
    char from[32], to[32];
    iso_time(static_cast<std::int32_t>(g->first), from);
    iso_time(static_cast<std::int32_t>(g->last), to);
    fprintf(out, "  %8d  %-20s  %-20s  %.*s: ", g->count, from, to,
            static_cast<int>(g->type.size()), g->type.data());
    visible_write(out, g->pattern);
    fputc('\n', out);
  }
}

void summary_print_json(FILE* out, Summary* s, const Source& source, const char* source_label) {
  sort_types(s);
  fputc('{', out);
  if (source_label != nullptr) {
    fputs("\"source\":", out);
    json_text(out, source_label);
    fputc(',', out);
  }
  fprintf(out, "\"records\":%d,\"by_severity\":{", s->records);
  bool first_key = true;
  for (int slot = 0; slot < SUMMARY_SEVERITIES; ++slot) {
    if (s->by_severity[slot] != 0)
      json_label(out, summary_severity_label(slot), s->by_severity[slot], &first_key);
  }
  fputs("},\"by_type\":{", out);
  first_key = true;
  for (int t = 0; t < s->types; ++t)
    json_label(out, s->by_type[t].label, s->by_type[t].count, &first_key);
  fputs("},\"by_day\":{", out);
  first_key = true;
  summary_each_day(*s, [&](const char* day, int n) { json_label(out, day, n, &first_key); });
  fputs("},", out);
  for (const auto& [key, when] : {std::pair{"first", s->first}, std::pair{"last", s->last}}) {
    char text[32];
    iso_time(static_cast<std::int32_t>(when), text);
    if (s->records > 0) {
      fprintf(out, "\"%s\":\"%s\",", key, text);
    } else {
      fprintf(out, "\"%s\":null,", key);
    }
  }
  fprintf(out, "\"dropped\":%d,", s->dropped);
  json_time_back(out, s->back);
  json_repeating(out, s->repeating);
  if (s->fleet_host != nullptr) fleet_json(out, *s->fleet_host);
  fputs("\"snapshot\":{", out);
  first_key = true;
  const SnapshotMeta& m = source.meta;
  for (const auto& [key, value] :
       {std::pair{"host", m.host}, std::pair{"saved", m.saved}, std::pair{"zone", m.zone}}) {
    if (value[0] == '\0') continue;
    fprintf(out, "%s\"%s\":", first_key ? "" : ",", key);
    json_text(out, value);
    first_key = false;
  }
  fputs("}}\n", out);
}
