#include "workstation/selexport/summary.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "decode/record_text.h"
#include "decode/sel_date.h"
#include "decode/sel_print.h"
#include "common/escape.h"
#include "lib/visible.h"

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

}  // namespace

Summary::~Summary() { free(moments); }

// Floor division: the day of a time before 1970 is the day before.
std::int64_t summary_day(std::int64_t local) { return local / kDay - (local % kDay < 0 ? 1 : 0); }

void summary_day_text(std::int64_t day, char (&buf)[16]) {
  // The days of 32-bit times, shifted by a zone's offset: never past 32 bits.
  *sel_iso_date(static_cast<std::int32_t>(day), buf) = '\0';
}

int summary_severity_slot(const SelRecord& rec) {
  return static_cast<int>(std::min<std::uint32_t>(sel_severity(rec), SUMMARY_SEVERITIES - 1));
}

std::string_view summary_severity_label(int slot) {
  return sel_severity_name(static_cast<std::uint32_t>(slot));
}

bool summary_add(Summary* s, const SelRecord& rec, bool local) {
  if (s->records == s->capacity) {
    const int capacity = s->capacity == 0 ? 1024 : 2 * s->capacity;
    void* grown = realloc(s->moments, static_cast<std::size_t>(capacity) * sizeof *s->moments);
    if (grown == nullptr) return false;
    s->moments = static_cast<SummaryMoment*>(grown);
    s->capacity = capacity;
  }
  const std::time_t when = sel_timestamp(rec);
  std::int64_t shifted = when;
  std::tm tm{};
  if (local && localtime_r(&when, &tm) != nullptr) shifted += tm.tm_gmtoff;
  const int slot = summary_severity_slot(rec);
  s->moments[s->records++] = {shifted, slot};
  ++s->by_severity[slot];
  s->first = std::min<std::int64_t>(s->first, when);
  s->last = std::max<std::int64_t>(s->last, when);
  const std::string_view label = sel_type_label(rec);
  int t = 0;
  while (t < s->types && s->by_type[t].label != label) ++t;
  if (t == s->types && s->types < SUMMARY_TYPES_MAX) s->by_type[s->types++] = {label, 0};
  if (t < s->types) ++s->by_type[t].count;
  return true;
}

void summary_clear(Summary* s) {
  s->records = 0;  // the moments' memory is kept for the next store
  std::fill(s->by_severity, s->by_severity + SUMMARY_SEVERITIES, 0);
  s->types = 0;
  s->first = INT64_MAX;
  s->last = INT64_MIN;
}

void summary_sort(Summary* s) {
  std::sort(s->moments, s->moments + s->records,
            [](const SummaryMoment& a, const SummaryMoment& b) { return a.local < b.local; });
}

void summary_print_text(FILE* out, Summary* s, const Source& source, const char* zone) {
  summary_sort(s);
  sort_types(s);
  char first[32] = "-", last[32] = "-";
  if (s->records > 0) {
    iso_time(static_cast<std::int32_t>(s->first), first);
    iso_time(static_cast<std::int32_t>(s->last), last);
  }
  // The name as given may hold any byte: shown as say() shows it. The snapshot's
  // values are printable already (meta.h).
  fprintf(out, "%-18s ", "Store");
  visible_write(out, source.name);
  fputc('\n', out);
  const SnapshotMeta& m = source.meta;
  if (m.host[0] != '\0') fprintf(out, "%-18s %s\n", "Host", m.host);
  if (m.saved[0] != '\0') fprintf(out, "%-18s %s\n", "Saved", m.saved);
  if (m.zone[0] != '\0') fprintf(out, "%-18s %s\n", "Zone", m.zone);
  fprintf(out, "%-18s %d\n%-18s %s\n%-18s %s\n", "Records", s->records, "First", first, "Last",
          last);
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
  fprintf(out, "\nDay (%s)\n", zone);
  summary_each_day(*s, [out](const char* day, int n) { fprintf(out, "  %-16s %8d\n", day, n); });
}

void summary_print_json(FILE* out, Summary* s, const Source& source, const char* source_label) {
  summary_sort(s);
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
