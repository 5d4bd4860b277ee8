#include "workstation/selexport/fleet_export.h"

#include <algorithm>
#include <cstring>

#include "common/escape.h"
#include "common/rows.h"
#include "common/say.h"
#include "workstation/selexport/inputs.h"
#include "workstation/selexport/run.h"

namespace {

bool admit_host(void* ctx, std::string_view host) {
  return source_wanted(static_cast<Run*>(ctx)->o, host);
}

// The output of a module, made when its first record is kept.
HostOutput& output_of(Run& run, int host) {
  FleetExport& f = run.fleet;
  if (f.out.size() <= static_cast<std::size_t>(host)) f.out.resize(static_cast<std::size_t>(host) + 1);
  HostOutput& out = f.out[static_cast<std::size_t>(host)];
  if (run.rows && out.lead.empty()) {
    out.lead = row_lead(run.o.format, f.fleet.hosts[static_cast<std::size_t>(host)]->name);
  }
  if (run.o.summary && out.summary == nullptr) out.summary = std::make_unique<Summary>();
  return out;
}

bool take_record(void* ctx, int host, const SelRecord& rec) {
  Run& run = *static_cast<Run*>(ctx);
  const ExportOptions& o = run.o;
  if (!filter_match(o.filter, run.fleet.since, run.fleet.until, rec)) return true;
  HostOutput& out = output_of(run, host);
  if (run.rows) {
    write_rows(stdout, o.format == ExportFormat::csv ? RowFormat::csv : RowFormat::jsonl, {&rec, 1},
               out.lead);
    return true;
  }
  if (o.summary) return summary_add(out.summary.get(), rec, o.local);
  if (o.format == ExportFormat::html) out.held.push_back(rec);
  return true;
}

// "3 malformed lines of sel-forward's passed over: lines 4 (cut short), ...", once.
void say_malformed(const Input& in, const LineCounts& c) {
  char where[256] = "";
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < c.malformed && i < MALFORMED_SHOWN; ++i) {
    const std::string_view why = line_fault_text(c.malformed_fault[i]);
    const int n = snprintf(where + at, sizeof where - at, "%s %llu (%.*s)", i == 0 ? "" : ",",
                           static_cast<unsigned long long>(c.malformed_at[i]),
                           static_cast<int>(why.size()), why.data());
    at = std::min(sizeof where - 1, at + static_cast<std::size_t>(std::max(n, 0)));
  }
  say("%s: %llu malformed line%s of sel-forward's passed over: line%s%s%s", in.name,
      static_cast<unsigned long long>(c.malformed), c.malformed == 1 ? "" : "s",
      c.malformed == 1 ? "" : "s", where, c.malformed > MALFORMED_SHOWN ? ", ..." : "");
}

// Why the input ended before its end.
Outcome say_cut(const Input& in, const Status& read, const LineCounts& c) {
  const auto lines = static_cast<unsigned long long>(c.lines);
  switch (read.step) {
    case Step::too_large:
      say("%s: refused after %llu lines: it inflates to more than %llu times its size, as no "
          "log does",
          in.name, lines, static_cast<unsigned long long>(INFLATE_RATIO_MAX));
      break;
    case Step::gzip_cut_short: say("%s ends inside its gzip stream: cut short", in.name); break;
    case Step::gzip_damaged: say("%s is a damaged gzip file after %llu lines", in.name, lines); break;
    case Step::memory: say("no memory left for the records"); return Outcome::refused;
    default: say_status(read, "%s cannot be read", in.name); break;
  }
  return Outcome::partial;
}

// Says what was wrong with the input's lines; how it went.
Outcome said(const Input& in, const Status& read, const LineCounts& c) {
  Outcome outcome = Outcome::done;
  if (c.malformed > 0) {
    say_malformed(in, c);
    outcome = Outcome::partial;
  }
  if (c.hosts_over > 0) {
    say("%s: more than %d modules: %llu lines of the others passed over", in.name,
        FLEET_HOSTS_MAX, static_cast<unsigned long long>(c.hosts_over));
    outcome = Outcome::partial;
  }
  if (!read.ok()) return say_cut(in, read, c);
  const bool nothing_ours = c.records + c.repeats + c.lost_reports + c.unwanted + c.malformed +
                                c.hosts_over == 0;
  if (c.lines > 0 && nothing_ours) {
    say("%s is not a tar archive, and none of its %llu lines is sel-forward's (a collector "
        "writes them with the template RSYSLOG_SyslogProtocol23Format; selexport(1) says more)",
        in.name, static_cast<unsigned long long>(c.lines));
    return Outcome::refused;
  }
  return outcome;
}

}  // namespace

bool source_wanted(const ExportOptions& o, std::string_view name) {
  return o.n_sources == 0 || std::any_of(o.sources, o.sources + o.n_sources,
                                         [&](const char* wanted) { return name == wanted; });
}

FleetExport::FleetExport() = default;
FleetExport::~FleetExport() = default;

bool fleet_options_fit(const Run& run) {
  const ExportOptions& o = run.o;
  const char* why =
      o.selection != Selection::all ? "--first and --last count a store's ring, which lines have "
                                        "none of"
      : o.reverse ? "--reverse would hold every record, and lines are written as they are read"
      : filter_needs_newest(o.filter)
          ? "a time counted back from the newest record would read every line twice"
          : nullptr;
  if (why == nullptr) return true;
  (void)opt_misuse("with collected lines among the inputs, %s", why);
  return false;
}

Outcome export_lines(Run& run, Input* in) {
  if (!input_lines(in)) return Outcome::refused;
  if (run.rows && !run.header_written) {
    write_rows_header(stdout, run.o.format, true);
    run.header_written = true;
  }
  filter_window(run.o.filter, 0, run.o.local, &run.fleet.since, &run.fleet.until);
  LineCounts counts;
  const FleetSink sink{&run, admit_host, take_record};
  const Status read = fleet_read(in->reader.get(), &run.fleet.fleet, sink, &counts);
  in->reader.reset();
  run.fleet.inputs.emplace_back(in->name, counts);
  return said(*in, read, counts);
}

namespace {

// The modules whose lines were read, by name.
std::vector<int> by_name(const Fleet& fleet) {
  std::vector<int> hosts;
  for (std::size_t h = 0; h < fleet.hosts.size(); ++h) {
    if (fleet.hosts[h]->wanted) hosts.push_back(static_cast<int>(h));
  }
  std::sort(hosts.begin(), hosts.end(),
            [&](int a, int b) { return fleet.hosts[static_cast<std::size_t>(a)]->name <
                                       fleet.hosts[static_cast<std::size_t>(b)]->name; });
  return hosts;
}

// A module as the summary and the report name a source.
const Source& host_source(const FleetHost& host) {
  static Source source;
  source = Source{};
  source.name = host.name.c_str();
  (void)snprintf(source.meta.host, sizeof source.meta.host, "%s", host.name.c_str());
  return source;
}

// A module as a store of the report, with what its forwarder reported lost.
void report_module(Report* report, const FleetHost& host, const Source& source, const char* zone) {
  report->fleet = true;
  report_source(report, source, zone);
  ReportStore& s = report->stores.back();
  const HostLost& lost = host.lost;
  s.lost = lost.records;
  s.lost_at_least = lost.at_least;
  s.repeats = host.repeats;
  for (std::size_t r = 0; r < LOST_REASONS; ++r) {
    if (lost.reports[r] == 0) continue;
    if (!s.lost_how.empty()) s.lost_how += ", ";
    s.lost_how.append(lost_reason_text(static_cast<LostReason>(r)))
        .append(" ")
        .append(report_count(lost.by_reason[r]));
  }
  if (lost.at_least) s.lost_how += " (at least)";
}

using CountRow = std::pair<const char*, std::uint64_t LineCounts::*>;
constexpr CountRow kCountRows[] = {
    {"records", &LineCounts::records},           {"repeats", &LineCounts::repeats},
    {"lost_reports", &LineCounts::lost_reports}, {"other_sources", &LineCounts::unwanted},
    {"not_ours", &LineCounts::not_ours},         {"too_long", &LineCounts::too_long},
    {"malformed", &LineCounts::malformed},
};

void print_input(FILE* out, bool json, const char* name, const LineCounts& c) {
  if (json) {
    fputs("{\"input\":", out);
    json_text(out, name);
    fprintf(out, ",\"lines\":%llu", static_cast<unsigned long long>(c.lines));
    for (const auto& [key, field] : kCountRows) {
      fprintf(out, ",\"%s\":%llu", key, static_cast<unsigned long long>(c.*field));
    }
    fputs("}\n", out);
    return;
  }
  fprintf(out, "%-18s %s\n%-18s %llu\n", "Input", name, "Lines",
          static_cast<unsigned long long>(c.lines));
  for (const auto& [key, field] : kCountRows) {
    if (c.*field != 0) fprintf(out, "  %-16s %8llu\n", key, static_cast<unsigned long long>(c.*field));
  }
}

}  // namespace

void fleet_finish(Run& run) {
  FleetExport& f = run.fleet;
  const bool json = run.o.format == ExportFormat::json;
  if (run.o.summary) {
    for (const auto& [name, counts] : f.inputs) {
      if (!json && run.summaries++ > 0) fputc('\n', stdout);
      print_input(stdout, json, name, counts);
    }
  }
  for (const int h : by_name(f.fleet)) {
    const FleetHost& host = *f.fleet.hosts[static_cast<std::size_t>(h)];
    const Source& source = host_source(host);
    HostOutput& out = output_of(run, h);
    if (run.o.summary) {
      out.summary->fleet_host = &host;
      if (json) {
        summary_print_json(stdout, out.summary.get(), source, source.name);
      } else {
        if (run.summaries++ > 0) fputc('\n', stdout);
        summary_print_text(stdout, out.summary.get(), source, run.zones.shown);
      }
    } else if (run.o.format == ExportFormat::html) {
      report_module(&run.report, host, source, run.zones.shown);
      for (const SelRecord& rec : out.held) report_record(&run.report, rec);
    }
  }
}
