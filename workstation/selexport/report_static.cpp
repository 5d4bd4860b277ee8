// What the page shows where scripts do not run: a note that says so, the snapshots, the
// counts by severity, type and day, the repeating messages and the newest rows, as
// plain tables written here.
#include <algorithm>
#include <chrono>
#include <map>

#include "workstation/selexport/shown.h"
#include "workstation/selexport/repeating.h"
#include "workstation/selexport/report.h"
#include "workstation/selexport/summary.h"
#include "workstation/selexport/text_pattern.h"

namespace {

constexpr std::size_t kNewest = 1000;

// "2025-12-06 12:48:00" for seconds of the page's zone taken as UTC, by the calendar
// (the C library's would shift them under a zone that counts leap seconds).
void stamp(std::int64_t local, char (&buf)[32]) {
  const std::int64_t day = summary_day(local), second = local - day * 86400;
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day}}};
  (void)snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                 static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                 static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                 static_cast<int>(second % 60));
}

// "Day (Europe/Berlin)": a heading that names the zone of its times.
std::string in_zone(std::string_view head, const ReportZone& zone) {
  std::string s;
  s.reserve(head.size() + zone.name.size() + 3);
  s.append(head).append(" (").append(zone.name).append(")");
  return s;
}

void cell(FILE* out, std::string_view text, const char* cls = nullptr) {
  fputs(cls != nullptr ? "<td class=\"" : "<td>", out);
  if (cls != nullptr) fprintf(out, "%s\">", cls);
  html_shown(out, text);
  fputs("</td>", out);
}

void count_cell(FILE* out, long long n) {
  fprintf(out, "<td class=\"n\">%s</td>", report_count(n).c_str());
}

void head(FILE* out, std::initializer_list<std::string_view> names) {
  fputs("<tr>", out);
  for (const std::string_view name : names) {
    fputs("<th>", out);
    html_shown(out, name);
    fputs("</th>", out);
  }
  fputs("</tr>\n", out);
}

void snapshots(FILE* out, const Report& r) {
  fputs("<h2>Snapshots</h2>\n<div class=\"wrap\"><table>", out);
  head(out, {"Store", "Host", "Saved", "Zone", "Records", "Read before"});
  for (const ReportStore& s : r.stores) {
    fputs("<tr>", out);
    for (const std::string* value : {&s.name, &s.host, &s.saved, &s.zone}) cell(out, *value);
    count_cell(out, s.records);
    count_cell(out, s.dropped);
    fputs("</tr>\n", out);
  }
  fputs("</table></div>\n", out);
}

void counts(FILE* out, const Report& r, const ReportZone& zone) {
  long long by_severity[SUMMARY_SEVERITIES] = {};
  std::vector<long long> by_type(r.types.size());
  std::map<std::int64_t, long long> by_day;
  for (std::size_t i = 0; i < r.time.size(); ++i) {
    ++by_severity[r.severity[i]];
    ++by_type[r.type[i]];
    ++by_day[summary_day(report_local(r, zone, i))];
  }
  fputs("<h2>Counts</h2>\n<div class=\"counts\">\n<table>", out);
  head(out, {"Severity", "Records"});
  for (int s = 0; s < SUMMARY_SEVERITIES; ++s) {
    if (by_severity[s] == 0) continue;
    fputs("<tr>", out);
    cell(out, summary_severity_label(s));
    count_cell(out, by_severity[s]);
    fputs("</tr>\n", out);
  }
  fputs("</table>\n<table>", out);
  head(out, {"Type", "Records"});
  std::vector<std::size_t> types(r.types.size());
  for (std::size_t t = 0; t < types.size(); ++t) types[t] = t;
  std::sort(types.begin(), types.end(), [&](std::size_t a, std::size_t b) {
    return by_type[a] != by_type[b] ? by_type[a] > by_type[b] : r.types[a] < r.types[b];
  });
  for (const std::size_t t : types) {
    fputs("<tr>", out);
    cell(out, r.types[t]);
    count_cell(out, by_type[t]);
    fputs("</tr>\n", out);
  }
  fputs("</table>\n<table>", out);
  head(out, {in_zone("Day", zone), "Records"});
  for (const auto& [day, n] : by_day) {
    char text[32];
    stamp(day * 86400, text);
    text[10] = '\0';
    fputs("<tr>", out);
    cell(out, text);
    count_cell(out, n);
    fputs("</tr>\n", out);
  }
  fputs("</table>\n</div>\n", out);
}

void repeating(FILE* out, const Report& r, const ReportZone& zone) {
  std::vector<std::string> patterns(r.texts.texts.size());
  std::vector<bool> made(patterns.size());
  Repeating groups;
  for (std::size_t i = 0, store = 0, left = 0; i < r.time.size(); ++i, --left) {
    while (left == 0) left = static_cast<std::size_t>(r.stores[store++].records);
    const std::uint32_t t = r.text[i];
    if (!made[t]) patterns[t] = text_pattern(shown_text(*r.texts.texts[t]));
    made[t] = true;
    repeating_add(&groups, r.types[r.type[i]], patterns[t], report_local(r, zone, i),
                  static_cast<int>(store) - 1);
  }
  fputs("<h2>Repeating</h2>\n<div class=\"wrap\"><table>", out);
  const std::string first = in_zone("First", zone), last = in_zone("Last", zone);
  head(out, {"Records", "Type", "Message", first, last, "Stores"});
  for (const RepeatingGroup* g : repeating_top(groups, REPEATING_TOP)) {
    char from[32], to[32];
    stamp(g->first, from);
    stamp(g->last, to);
    fputs("<tr>", out);
    count_cell(out, g->count);
    cell(out, g->type);
    cell(out, g->pattern);
    cell(out, from);
    cell(out, to);
    count_cell(out, g->stores);
    fputs("</tr>\n", out);
  }
  fputs("</table></div>\n", out);
}

// The records of the newest times, newest first.
void newest(FILE* out, const Report& r, const ReportZone& zone) {
  std::vector<std::uint32_t> order(r.time.size());
  std::vector<std::uint16_t> store_of(r.time.size());
  for (std::size_t i = 0, s = 0, left = 0; i < order.size(); ++i, --left) {
    while (left == 0) left = static_cast<std::size_t>(r.stores[s++].records);
    order[i] = static_cast<std::uint32_t>(i);
    store_of[i] = static_cast<std::uint16_t>(s - 1);
  }
  const std::size_t n = std::min(order.size(), kNewest);
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end(),
                    [&](std::uint32_t a, std::uint32_t b) {
                      return r.time[a] != r.time[b] ? r.time[a] > r.time[b] : a > b;
                    });
  fprintf(out, "<h2>The newest %s records</h2>\n<div class=\"wrap\"><table>",
          report_count(static_cast<long long>(n)).c_str());
  const std::string time = in_zone("Time", zone);
  if (r.several) {
    head(out, {"Store", "Id", time, "Type", "Severity", "Text"});
  } else {
    head(out, {"Id", time, "Type", "Severity", "Text"});
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t i = order[k];
    char when[32];
    stamp(report_local(r, zone, i), when);
    fputs("<tr>", out);
    if (r.several) cell(out, r.stores[store_of[i]].label);
    count_cell(out, r.id[i]);
    cell(out, when);
    cell(out, r.types[r.type[i]]);
    char sev[8];
    (void)snprintf(sev, sizeof sev, "s%d", r.severity[i]);
    cell(out, summary_severity_label(r.severity[i]), sev);
    cell(out, *r.texts.texts[r.text[i]]);
    fputs("</tr>\n", out);
  }
  fputs("</table></div>\n", out);
}

}  // namespace

void report_static(FILE* out, const Report& r, const ReportZone& zone) {
  const std::size_t n = r.time.size();
  fprintf(out,
          "\n<p class=\"note\">Scripts are off, so this page shows the counts and the newest "
          "%s of %s records as plain tables. With scripts on, it draws the timeline and "
          "shows every record, to filter and sort.</p>\n",
          report_count(static_cast<long long>(std::min(n, kNewest))).c_str(),
          report_count(static_cast<long long>(n)).c_str());
  if (r.several) snapshots(out, r);
  counts(out, r, zone);
  repeating(out, r, zone);
  newest(out, r, zone);
}
