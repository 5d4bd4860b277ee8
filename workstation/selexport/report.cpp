#include "workstation/selexport/report.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "decode/record_text.h"
#include "decode/sel_print.h"
#include "workstation/selexport/shown.h"
#include "workstation/selexport/page_assets.h"
#include "workstation/selexport/summary.h"

namespace {

struct Part {
  std::string_view name;
  void (*write)(FILE* out, const Report& report, const ReportZone& zone);
};

std::string_view subject(const Report& r) {
  if (r.stores.size() != 1) return {};
  const ReportStore& s = r.stores.front();
  return s.host.empty() ? s.name : s.host;
}

void write_title(FILE* out, const Report& r, const ReportZone& /*zone*/) {
  if (r.stores.size() == 1) {
    fputs("System Event Log of ", out);
    html_shown(out, subject(r));
  } else {
    fprintf(out, "System Event Logs of %zu %s", r.stores.size(), r.fleet ? "modules" : "stores");
  }
}

// "At least 1,000 records were lost before they could be sent, by 1 module."
void write_losses(FILE* out, const Report& r) {
  long long lost = 0;
  int losing = 0;
  bool at_least = false;
  for (const ReportStore& s : r.stores) {
    lost += s.lost;
    losing += s.lost > 0 || s.lost_at_least ? 1 : 0;
    at_least = at_least || s.lost_at_least;
  }
  if (losing > 0) {
    fprintf(out, " %s%s records were lost before they could be sent, by %d module%s.",
            at_least ? "At least " : "", report_count(lost).c_str(), losing, losing == 1 ? "" : "s");
  }
}

// "4,000 records, the first at …, the last at …", where the snapshot was taken, the
// zone of the times and what was left out.
void write_about(FILE* out, const Report& r, const ReportZone& zone) {
  const std::size_t n = r.time.size();
  fprintf(out, "%s records", report_count(static_cast<long long>(n)).c_str());
  if (n > 0) {
    const auto [lo, hi] = std::minmax_element(r.time.begin(), r.time.end());
    char first[32], last[32];
    iso_time(*lo, first);
    iso_time(*hi, last);
    fprintf(out, ", the first at %s, the last at %s", first, last);
  }
  fputs(". ", out);
  if (r.stores.size() == 1) {
    const ReportStore& s = r.stores.front();
    fputs("Store ", out);
    html_shown(out, s.name);
    if (!s.saved.empty()) {
      fputs(", saved ", out);
      html_shown(out, s.saved);
    }
    if (!s.zone.empty()) {
      fputs(", the module's zone ", out);
      html_shown(out, s.zone);
    }
    fputs(". ", out);
  }
  fputs("Times in ", out);
  html_shown(out, zone.name);
  fputs(zone.note.empty() ? ". " : ": ", out);
  html_shown(out, zone.note);
  int dropped = 0;
  for (const ReportStore& s : r.stores) dropped += s.dropped;
  if (dropped > 0) {
    fprintf(out,
            " %s records were in more than one snapshot of their host and are counted "
            "once.",
            report_count(dropped).c_str());
  }
  write_losses(out, r);
  fprintf(out, " Written by selexport %s.", SEL_VERSION);
}

void write_style(FILE* out, const Report& /*r*/, const ReportZone& /*zone*/) {
  (void)fwrite(kPageStyle.data(), 1, kPageStyle.size(), out);
}

void write_script(FILE* out, const Report& /*r*/, const ReportZone& /*zone*/) {
  (void)fwrite(kPageScript.data(), 1, kPageScript.size(), out);
}

// Chromium keeps at most 65,536 characters in a text node, and a script element's text
// longer than that is parsed several times slower (6.8 MB in one element took 0.6 to
// 1.3 s to load, in elements of 64 KiB 0.26 to 0.44 s). So a JSON object is cut into
// elements of that size, between characters, and the page's script joins their texts
// again; the texts come in elements of REPORT_TEXTS_PIECE texts.
constexpr std::size_t kDataPiece = 65536;

// What `write` writes, cut into elements of kDataPiece bytes by `between`.
void write_cut(FILE* out, const Report& r, const ReportZone& zone, std::string_view between,
               void (*write)(FILE* out, const Report& r, const ReportZone& zone)) {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* buffer = open_memstream(&text, &size);
  if (buffer == nullptr) {
    write(out, r, zone);
    return;
  }
  write(buffer, r, zone);
  const bool whole = fclose(buffer) == 0;
  const std::unique_ptr<char, decltype(&free)> owned(text, &free);
  if (!whole) {
    write(out, r, zone);
    return;
  }
  for (std::size_t at = 0; at < size;) {
    std::size_t end = std::min(size, at + kDataPiece);
    // Never between the bytes of one UTF-8 character.
    while (end < size && end > at + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    if (at > 0) (void)fwrite(between.data(), 1, between.size(), out);
    (void)fwrite(text + at, 1, end - at, out);
    at = end;
  }
}

void write_data(FILE* out, const Report& r, const ReportZone& zone) {
  write_cut(out, r, zone, "</script>\n<script type=\"application/json\" class=\"sel-data\">",
            report_data);
}

void write_groups(FILE* out, const Report& r, const ReportZone& zone) {
  write_cut(out, r, zone, "</script>\n<script type=\"application/json\" class=\"sel-groups\">",
            [](FILE* to, const Report& report, const ReportZone& /*zone*/) { report_groups(to, report); });
}

void write_texts(FILE* out, const Report& r, const ReportZone& /*zone*/) {
  report_texts(out, r, "</script>\n<script type=\"text/plain\" class=\"sel-texts\">");
}

constexpr std::array<Part, 8> kParts{{
    {"title", write_title},
    {"about", write_about},
    {"style", write_style},
    {"static", report_static},
    {"data", write_data},
    {"texts", write_texts},
    {"groups", write_groups},
    {"script", write_script},
}};

// Every "@@" of the template opens or closes a part's name.
constexpr bool parts_closed(std::string_view page) {
  int marks = 0;
  for (std::size_t at = page.find("@@"); at != std::string_view::npos; at = page.find("@@", at + 2))
    ++marks;
  return marks % 2 == 0;
}
static_assert(parts_closed(kPageTemplate));

}  // namespace

void report_source(Report* r, const Source& source, const char* zone) {
  ReportStore s;
  s.label = source_label(source);
  s.name = source.name;
  s.host = source.meta.host;
  s.saved = source.meta.saved;
  s.zone = source.meta.zone;
  s.dates_zone = zone;
  r->stores.push_back(std::move(s));
}

void report_record(Report* r, const SelRecord& rec) {
  const std::time_t when = sel_timestamp(rec);
  std::tm tm{};
  r->time.push_back(sel_timestamp(rec));
  r->id.push_back(sel_record_id(rec));
  r->offset.push_back(r->local && localtime_r(&when, &tm) != nullptr
                          ? static_cast<std::int32_t>(tm.tm_gmtoff)
                          : 0);
  r->severity.push_back(static_cast<std::uint8_t>(summary_severity_slot(rec)));
  const std::string_view label = sel_type_label(rec);
  const auto type = std::find(r->types.begin(), r->types.end(), label);
  r->type.push_back(static_cast<std::uint8_t>(type - r->types.begin()));
  if (type == r->types.end()) r->types.push_back(label);
  const std::string_view text = record_text(rec);
  TextTable& t = r->texts;
  const auto [at, added] =
      t.index.try_emplace(std::string(text), static_cast<std::uint32_t>(t.texts.size()));
  if (added) t.texts.push_back(&at->first);
  r->text.push_back(at->second);
  ++r->stores.back().records;
}

void report_dropped(Report* r, int dropped) { r->stores.back().dropped += dropped; }

ReportZone report_zone(const Report& r) {
  if (!r.local || r.stores.empty()) return {"UTC", "", false};
  const std::string& first = r.stores.front().dates_zone;
  for (const ReportStore& s : r.stores) {
    if (s.dates_zone != first) {
      return {"UTC",
              "the stores are in different zones, so the times are in UTC; the dates inside "
              "the texts are in each store's own.",
              false};
    }
  }
  return {first, "", true};
}

std::string report_count(long long n) {
  char digits[32], out[48];
  const int length = snprintf(digits, sizeof digits, "%lld", n);
  int lead = n < 0 ? 1 : 0, w = 0;
  for (int i = 0; i < length; ++i) {
    out[w++] = digits[i];
    const int left = length - 1 - i;
    if (i >= lead && left > 0 && left % 3 == 0) out[w++] = ',';
  }
  return std::string(out, static_cast<std::size_t>(w));
}

std::int64_t report_local(const Report& r, const ReportZone& zone, std::size_t i) {
  return std::int64_t{r.time[i]} + (zone.offsets ? r.offset[i] : 0);
}

// The template with its parts, "@@name@@", written in.
void report_write(FILE* out, const Report& r) {
  const ReportZone zone = report_zone(r);
  std::string_view page = kPageTemplate;
  for (;;) {
    const std::size_t at = page.find("@@");
    (void)fwrite(page.data(), 1, std::min(at, page.size()), out);
    if (at == std::string_view::npos) return;
    const std::size_t end = page.find("@@", at + 2);
    const std::string_view name = page.substr(at + 2, end - at - 2);
    for (const Part& part : kParts) {
      if (part.name == name) part.write(out, r, zone);
    }
    page.remove_prefix(end + 2);
  }
}
