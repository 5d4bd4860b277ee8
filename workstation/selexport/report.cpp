#include "workstation/selexport/report.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "decode/record_text.h"
#include "decode/sel_date.h"
#include "decode/sel_print.h"
#include "common/escape.h"

namespace {

// Nothing may leave the page: everything but its own inline style and script is
// refused by the browser, whatever a record's text holds.
constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

// The severities' colours serve the timeline's bars (fill), the legend and the table's
// severity cells (background).
constexpr const char* kStyle =
    "<style>\n"
    "body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}\n"
    "h1{font-size:1.4em}h2{font-size:1.1em;margin-top:1.6em}\n"
    "table{border-collapse:collapse}th,td{padding:2px 8px;text-align:left;"
    "vertical-align:top;border-bottom:1px solid #ddd;white-space:nowrap}td.n{text-align:right}\n"
    ".counts{display:flex;flex-wrap:wrap;gap:2em;align-items:flex-start}\n"
    "#records td:last-child{white-space:pre-wrap}\n"
    ".s0{fill:#9e9e9e;background:#eeeeee}.s1{fill:#1e88e5;background:#e3f2fd}"
    ".s2{fill:#f9a825;background:#fff8e1}.s3{fill:#e53935;background:#ffebee}"
    ".s4{fill:#8e24aa;background:#f3e5f5}.s5{fill:#212121;background:#dddddd}\n"

    "svg{max-width:100%;height:auto}svg text{font-size:12px;fill:#444}\n"
    "form{margin:.8em 0}form label{margin-right:1.2em}\n"
    "</style>\n</head>\n<body>\n";

// The filter shows only where scripts run; without them the page shows every record.
constexpr const char* kScript =
    "<script>\n"
    "(function () {\n"
    "  var form = document.getElementById('filter');\n"
    "  var rows = document.querySelectorAll('#records tr[data-id]');\n"
    "  function apply() {\n"
    "    var least = +form.severity.value, type = form.type.value;\n"
    "    var text = form.text.value.toLowerCase(), shown = 0;\n"
    "    rows.forEach(function (r) {\n"
    "      var pass = +r.dataset.sev >= least && (!type || r.dataset.type === type) &&\n"
    "          (!text || r.textContent.toLowerCase().indexOf(text) >= 0);\n"
    "      r.hidden = !pass;\n"
    "      if (pass) ++shown;\n"
    "    });\n"
    "    document.getElementById('shown').textContent = shown;\n"
    "  }\n"
    "  form.addEventListener('input', apply);\n"
    "  form.addEventListener('submit', function (e) { e.preventDefault(); });\n"
    "  form.hidden = false;\n"
    "})();\n"
    "</script>\n</body>\n</html>\n";

constexpr std::int64_t kHour = 3600, kDay = 86400;
// A timeline of more bars than this puts several days into one.
constexpr std::int64_t kBarsMax = 400;
// The drawing's size and the plot inside it.
constexpr double kWidth = 1000, kHeight = 250, kLeft = 50, kRight = 990, kTop = 10, kBottom = 200;

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

void open_text(FILE** stream, char** text, std::size_t* size) {
  *stream = open_memstream(text, size);
}

void close_text(FILE** stream, char** text) {
  if (*stream != nullptr) (void)fclose(*stream);  // a memory stream, only grown
  *stream = nullptr;
  free(*text);
  *text = nullptr;
}

// "2025-12-05 16:00" (hours) or "2025-12-05" (days) for a time as if its zone were UTC,
// from our own calendar (sel_iso_date).
void bar_label(std::int64_t local, bool hours, char (&buf)[32]) {
  const std::int64_t day = floor_div(local, kDay);
  char* end = sel_iso_date(static_cast<std::int32_t>(day), buf);
  if (hours) end += snprintf(end, 8, " %02d:00", static_cast<int>((local - day * kDay) / kHour));
  *end = '\0';
}

// The timeline: a bar of stacked severities per hour, per day, or per so many days that
// the bars stay readable.
void write_timeline(FILE* out, Summary* s, const char* zone) {
  if (s->records == 0) {
    fputs("<p>No records.</p>\n", out);
    return;
  }
  summary_sort(s);
  const std::int64_t from = s->moments[0].local, to = s->moments[s->records - 1].local;
  const bool hours = to - from < 72 * kHour;
  const std::int64_t days = (to - from) / kDay + 1;
  const std::int64_t step = hours ? kHour : (days + kBarsMax - 1) / kBarsMax * kDay;
  const std::int64_t start = floor_div(from, step) * step;
  const std::int64_t bars = (to - start) / step + 1;
  auto* counts =
      static_cast<int*>(calloc(static_cast<std::size_t>(bars) * SUMMARY_SEVERITIES, sizeof(int)));
  if (counts == nullptr) {
    fputs("<p>No memory to draw the timeline.</p>\n", out);
    return;
  }
  for (int i = 0; i < s->records; ++i) {
    const std::int64_t bar = (s->moments[i].local - start) / step;
    ++counts[bar * SUMMARY_SEVERITIES + s->moments[i].severity];
  }
  int peak = 1;
  for (std::int64_t b = 0; b < bars; ++b) {
    int total = 0;
    for (int sev = 0; sev < SUMMARY_SEVERITIES; ++sev)
      total += counts[b * SUMMARY_SEVERITIES + sev];
    peak = std::max(peak, total);
  }
  const char* per = hours ? "hour" : step == kDay ? "day" : nullptr;
  if (per != nullptr) {
    fprintf(out, "<h2>Events per %s (", per);
  } else {
    fprintf(out, "<h2>Events per %lld days (", static_cast<long long>(step / kDay));
  }
  html_text(out, zone);
  fputs(")</h2>\n", out);
  fprintf(out,
          "<svg id=\"timeline\" viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" height=\"%.0f\" "
          "role=\"img\" aria-label=\"Events per %s, stacked by severity\">\n",
          kWidth, kHeight, kWidth, kHeight, per != nullptr ? per : "span of days");
  const double width = (kRight - kLeft) / static_cast<double>(bars);
  const double scale = (kBottom - kTop) / peak;
  for (std::int64_t b = 0; b < bars; ++b) {
    char label[32];
    bar_label(start + b * step, hours, label);
    double y = kBottom;
    for (int sev = 0; sev < SUMMARY_SEVERITIES; ++sev) {
      const int n = counts[b * SUMMARY_SEVERITIES + sev];
      if (n == 0) continue;
      const std::string_view name = summary_severity_label(sev);
      y -= n * scale;
      fprintf(out,
              "<rect class=\"s%d\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\">"
              "<title>%s: %d %.*s</title></rect>\n",
              sev, kLeft + static_cast<double>(b) * width, y, std::max(width * 0.9, 0.5), n * scale,
              label, n, static_cast<int>(name.size()), name.data());
    }
  }
  free(counts);
  char first[32], last[32];
  bar_label(start, hours, first);
  bar_label(start + (bars - 1) * step, hours, last);
  fprintf(out,
          "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#888\"/>\n"
          "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%d</text>\n"
          "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">0</text>\n"
          "<text x=\"%.0f\" y=\"%.0f\">%s</text>\n"
          "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">%s</text>\n",
          kLeft, kBottom, kRight, kBottom, kLeft - 6, kTop + 10, peak, kLeft - 6, kBottom, kLeft,
          kBottom + 20, first, kRight, kBottom + 20, last);
  // The key, in the bars' own colours.
  double x = kLeft;
  for (int sev = 0; sev < SUMMARY_SEVERITIES; ++sev) {
    const std::string_view name = summary_severity_label(sev);
    if (s->by_severity[sev] == 0) continue;
    fprintf(out,
            "<rect class=\"s%d\" x=\"%.0f\" y=\"%.0f\" width=\"10\" height=\"10\"/>"
            "<text x=\"%.0f\" y=\"%.0f\">%.*s</text>\n",
            sev, x, kHeight - 14, x + 14, kHeight - 5, static_cast<int>(name.size()), name.data());
    x += 30 + 7 * static_cast<double>(name.size());
  }
  fputs("</svg>\n", out);
}

// A table of labels and their counts.
void count_row(FILE* out, std::string_view label, int count) {
  fputs("<tr><td>", out);
  html_text(out, label);
  fprintf(out, "</td><td class=\"n\">%d</td></tr>\n", count);
}

void write_counts(FILE* out, Summary* s, const char* zone) {
  fputs("<div class=\"counts\">\n<table><tr><th>Severity</th><th>Records</th></tr>\n", out);
  for (int sev = 0; sev < SUMMARY_SEVERITIES; ++sev) {
    if (s->by_severity[sev] != 0) count_row(out, summary_severity_label(sev), s->by_severity[sev]);
  }
  fputs("</table>\n<table><tr><th>Type</th><th>Records</th></tr>\n", out);
  for (int t = 0; t < s->types; ++t) count_row(out, s->by_type[t].label, s->by_type[t].count);
  fputs("</table>\n<table><tr><th>Day (", out);
  html_text(out, zone);
  fputs(")</th><th>Records</th></tr>\n", out);
  summary_each_day(*s, [out](const char* day, int n) { count_row(out, day, n); });
  fputs("</table>\n</div>\n", out);
}

void write_filter(FILE* out, const Summary& s) {
  fputs("<form id=\"filter\" hidden>\n<label>Severity at least <select name=\"severity\">", out);
  for (int sev = 0; sev + 1 < SUMMARY_SEVERITIES; ++sev) {
    const std::string_view name = summary_severity_label(sev);
    fprintf(out, "<option value=\"%d\">%.*s</option>", sev, static_cast<int>(name.size()),
            name.data());
  }
  fputs("</select></label>\n<label>Type <select name=\"type\"><option value=\"\">any</option>",
        out);
  for (int t = 0; t < s.types; ++t) {
    fputs("<option>", out);
    html_text(out, s.by_type[t].label);
    fputs("</option>", out);
  }
  fprintf(out,
          "</select></label>\n<label>Text <input name=\"text\" type=\"search\"></label>\n"
          "<output id=\"shown\">%d</output> of %d records shown\n</form>\n",
          s.records, s.records);
}

}  // namespace

Report::~Report() {
  close_text(&heads, &heads_text);
  close_text(&rows, &rows_text);
}

bool report_begin(Report* r, bool several, bool local) {
  r->several = several;
  r->local = local;
  open_text(&r->heads, &r->heads_text, &r->heads_size);
  open_text(&r->rows, &r->rows_text, &r->rows_size);
  return r->heads != nullptr && r->rows != nullptr;
}

void report_source(Report* r, const Source& source) {
  if (r->stores++ == 0) {
    r->first_name = source.name;
    memcpy(r->first_host, source.meta.host, sizeof r->first_host);
  }
  FILE* out = r->heads;
  fputs("<tr><td>", out);
  html_text(out, source.name);
  for (const char* value : {source.meta.host, source.meta.saved, source.meta.zone}) {
    fputs("</td><td>", out);
    html_text(out, value[0] != '\0' ? value : "-");
  }
  fputs("</td></tr>\n", out);
}

bool report_record(Report* r, const SelRecord& rec, const Source& source) {
  if (!summary_add(&r->summary, rec, r->local)) return false;
  FILE* out = r->rows;
  char time[32];
  iso_time(sel_timestamp(rec), time);
  const std::string_view text = record_text(rec);
  const int sev = summary_severity_slot(rec);
  fprintf(out, "<tr data-id=\"%d\" data-sev=\"%d\" data-type=\"", sel_record_id(rec), sev);
  html_text(out, sel_type_label(rec));
  fputs("\">", out);
  if (r->several) {
    fputs("<td>", out);
    html_text(out, source_label(source));
    fputs("</td>", out);
  }
  fprintf(out, "<td class=\"n\">%d</td><td>%s</td><td>", sel_record_id(rec), time);
  html_text(out, sel_type_label(rec));
  fprintf(out, "</td><td class=\"s%d\">", sev);
  html_text(out, sel_severity_label(rec));
  fputs("</td><td>", out);
  html_text(out, text);
  fputs("</td></tr>\n", out);
  return true;
}

void report_write(FILE* out, Report* r, const char* zone) {
  (void)fflush(r->heads);  // the memory streams' texts are whole once flushed
  (void)fflush(r->rows);
  Summary& s = r->summary;
  summary_sort(&s);
  std::sort(s.by_type, s.by_type + s.types,
            [](const TypeCount& a, const TypeCount& b) { return a.label < b.label; });
  fputs(kHead, out);
  fputs("<title>System Event Log", out);
  const char* subject = r->first_host[0] != '\0' ? r->first_host : r->first_name;
  if (r->stores == 1) {
    fputs(" of ", out);
    html_text(out, subject);
  }
  fputs("</title>\n", out);
  fputs(kStyle, out);
  if (r->stores == 1) {
    fputs("<h1>System Event Log of ", out);
    html_text(out, subject);
    fputs("</h1>\n", out);
  } else {
    fprintf(out, "<h1>System Event Logs of %d stores</h1>\n", r->stores);
  }
  fputs(
      "<table id=\"snapshots\"><tr><th>Store</th><th>Host</th><th>Saved</th><th>Zone</th>"
      "</tr>\n",
      out);
  (void)fwrite(r->heads_text, 1, r->heads_size, out);
  char first[32] = "-", last[32] = "-";
  if (s.records > 0) {
    iso_time(static_cast<std::int32_t>(s.first), first);
    iso_time(static_cast<std::int32_t>(s.last), last);
  }
  fprintf(out,
          "</table>\n<p>%d records, the first at %s, the last at %s. Written by selexport %s. "
          "Days, hours and the dates in the texts: ",
          s.records, first, last, SEL_VERSION);
  html_text(out, zone);
  fputs(".</p>\n<h2>Summary</h2>\n", out);
  write_counts(out, &s, zone);
  write_timeline(out, &s, zone);
  fputs("<h2>Records</h2>\n", out);
  write_filter(out, s);
  fputs("<table id=\"records\">\n<thead><tr>", out);
  if (r->several) fputs("<th>Source</th>", out);
  fputs(
      "<th>Id</th><th>Time (UTC)</th><th>Type</th><th>Severity</th><th>Text</th></tr>"
      "</thead>\n<tbody>\n",
      out);
  (void)fwrite(r->rows_text, 1, r->rows_size, out);
  fputs("</tbody>\n</table>\n", out);
  fputs(kScript, out);
}
