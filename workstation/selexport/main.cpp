// selexport [--format jsonl|csv|html] [--first N | --last N] [FILTER...] [--reverse]
//           [--local] STORE...
// selexport --summary [--format json] [--first N | --last N] [FILTER...] [--local] STORE...
// selexport --check STORE...
//
// Reads SEL stores copied off modules (sel.inf and sel.0 to sel.3 in a directory) or
// snapshots of them (tar archives as sel-save writes them, plain or gzip-compressed),
// with the decoders of `sel`, and writes their records as JSON Lines or CSV, a summary
// of them, an HTML report, or checks them. It never writes to a store and takes no
// locks. Several stores are read in turn; their rows then name their source.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/options.h"
#include "common/rows.h"
#include "lib/posix.h"
#include "lib/zone.h"
#include "workstation/selexport/report.h"
#include "workstation/selexport/seen.h"
#include "workstation/selexport/selexport.h"
#include "workstation/selexport/source.h"
#include "workstation/selexport/summary.h"

namespace {

enum class Selection { all, first, last };

struct Options {
  bool check = false;
  bool only_check = true;  // no option but --check given
  bool summary = false;
  bool local = false;
  bool reverse = false;
  bool format_given = false;
  ExportFormat format = ExportFormat::jsonl;
  Selection selection = Selection::all;
  int count = 0;
  ExportFilter filter;
  bool on = false;          // --on gave both ends
  bool bounds = false;      // --since or --until given
  std::int64_t newest = 0;  // the newest record time among the stores, where one counts back
  const char** stores = nullptr;  // room for every word of the command line
  int n_stores = 0;
};

enum : int {
  kFormat = 1,
  kFirst,
  kLast,
  kSince,
  kUntil,
  kOn,
  kSeverity,
  kType,
  kReverse,
  kLocal,
  kSummary,
  kCheck,
};

constexpr auto kSynopsis = std::to_array<const char*>({
    "[--format jsonl|csv|html] [--first N | --last N] [--since TIME]",
    " [--until TIME | --on DAY] [--severity NAME] [--type NAME|NUMBER]... [--reverse]",
    " [--local] STORE...",
    "--summary [--format json] [--first N | --last N] [FILTER...] [--local]",
    " STORE...",
    "--check STORE...",
});
constexpr auto kOptions = std::to_array<OptRow>({
    {kFormat, "--format", 0, "FORMAT", 0, "jsonl (the default), csv or html; json with --summary"},
    {kFirst, "--first", 0, "N", 0, "the oldest N records, as sel rd_first N"},
    {kLast, "--last", 0, "N", 0, "the newest N records, as sel rd_last N"},
    {kSince, "--since", 0, "TIME", 0, "records from TIME on"},
    {kUntil, "--until", 0, "TIME", 0, "records up to TIME (a date: to its end)"},
    {kOn, "--on", 0, "DAY", 0, "records of that day (a date, today or yesterday)"},
    {kSeverity, "--severity", 0, "NAME", 0, "records of this severity or worse"},
    {kType, "--type", 0, "NAME|NUMBER", OPT_REPEATS, "records of this event type (again: or that)"},
    {kReverse, "--reverse", 0, nullptr, 0, "newest first"},
    {kLocal, "--local", 0, nullptr, 0, "days and dates in the module's zone (else TZ), not UTC"},
    {kSummary, "--summary", 0, nullptr, 0, "counts by severity, type and day instead"},
    {kCheck, "--check", 0, nullptr, 0, "check the stores' consistency instead"},
});
constexpr OptProgram kProgram{
    "selexport", kSynopsis,
    "STORE is a copy of the module's /mnt/logs/sel, a folder that holds one, or a sel-save\n"
    "archive (.tar or .tar.gz; - reads it from standard input). TIME is 2025-12-05 (the\n"
    "day), 2025-12-05T16:00:00 with Z or an offset such as +01:00 (none: UTC, or with\n"
    "--local the module's zone), seconds since the epoch, -2h, -3d, -30m (that long before\n"
    "the newest record among the stores), today or yesterday (the newest record's day).",
    kOptions};

SelRecord held[SEL_MAX_RECS];  // 256 KiB, the whole ring of one store
// Those that pass the filters, in their order: rows are written a store at a time.
SelRecord passing[SEL_MAX_RECS];

bool parse_count(const char* text, int* count) {
  long value = 0;
  if (!opt_number(text, INT_MIN, INT_MAX, &value)) return false;
  *count = static_cast<int>(value);
  return true;
}

bool take_format(Options* o, const OptParse& parse, const char* value) {
  constexpr auto kFormats = std::to_array<std::pair<const char*, ExportFormat>>({
      {"jsonl", ExportFormat::jsonl},
      {"csv", ExportFormat::csv},
      {"json", ExportFormat::json},
      {"html", ExportFormat::html},
  });
  for (const auto& [name, format] : kFormats) {
    if (strcmp(value, name) != 0) continue;
    o->format = format;
    o->format_given = true;
    return true;
  }
  return opt_refuse(parse, "--format %s: the formats are jsonl, csv, html and json", value);
}

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  auto* o = static_cast<Options*>(ctx);
  if (id == OPT_OPERAND) {
    o->stores[o->n_stores++] = value;
    return true;
  }
  if (id == kCheck) {
    o->check = true;
    return true;
  }
  o->only_check = false;
  switch (id) {
    case kReverse: o->reverse = true; return true;
    case kLocal: o->local = true; return true;
    case kSummary: o->summary = true; return true;
    case kFormat: return take_format(o, parse, value);
    case kFirst:
    case kLast:
      if (o->selection != Selection::all)
        return opt_refuse(parse, "only one of --first and --last");
      o->selection = id == kFirst ? Selection::first : Selection::last;
      return parse_count(value, &o->count) ||
             opt_refuse(parse, "%s %s: not a number", id == kFirst ? "--first" : "--last", value);
    case kSince:
    case kUntil:
      o->bounds = true;
      return filter_parse_time(value, id == kSince ? &o->filter.since : &o->filter.until) ||
             opt_refuse(parse,
                        "%s %s: give a time as 2025-12-05, 2025-12-05T16:00:00Z, "
                        "2025-12-05T17:00:00+01:00, seconds since the epoch, -2h, -3d, -30m "
                        "(before the newest record), today or yesterday",
                        id == kSince ? "--since" : "--until", value);
    case kOn:
      o->on = true;
      return filter_parse_day(value, &o->filter) ||
             opt_refuse(parse, "--on %s: give a day as 2025-12-05, today or yesterday", value);
    case kSeverity:
      if (filter_parse_severity(value, &o->filter.least_severity)) return true;
      fprintf(parse.err, "selexport: --severity %s: the severities are ", value);
      filter_print_severities(parse.err);
      fputc('\n', parse.err);
      return false;
    default:
      if (o->filter.types == FILTER_TYPES_MAX) {
        return opt_refuse(parse, "--type %s: at most %d types", value, FILTER_TYPES_MAX);
      }
      if (filter_parse_type(value, &o->filter)) return true;
      fprintf(parse.err, "selexport: --type %s: give a type number or one of ", value);
      filter_print_types(parse.err);
      fputc('\n', parse.err);
      return false;
  }
}

// What is wrong with the options together, or nullptr.
const char* conflict(const Options& o) {
  if (o.n_stores == 0) return "no store: give a directory or a sel-save archive";
  if (o.check && !o.only_check) return "--check takes no other option";
  if (o.summary && o.format_given && o.format != ExportFormat::json) {
    return "--summary writes a table, or JSON with --format json";
  }
  if (!o.summary && o.format == ExportFormat::json) return "--format json goes with --summary";
  if (o.on && o.bounds) return "--on gives both ends: no --since or --until beside it";
  if (filter_window_empty(o.filter)) return "--since is after --until: no record could pass";
  if (filter_needs_newest(o.filter) && o.n_stores > 1) {
    for (int i = 0; i < o.n_stores; ++i) {
      if (strcmp(o.stores[i], "-") == 0) {
        return "a time counted from the newest record among the stores reads them twice: "
               "give standard input's archive as a file";
      }
    }
  }
  return nullptr;
}

// The zone of the dates for one store: the module's, when its snapshot names one that
// can be had here, else the caller's TZ (`caller`, null when unset).
void use_zone(const Source& source, const char* caller) {
  if (snapshot_zone_usable(source.meta.zone)) {
    (void)setenv("TZ", source.meta.zone, 1);
  } else if (caller != nullptr) {
    (void)setenv("TZ", caller, 1);
  } else {
    (void)unsetenv("TZ");
  }
  (void)zone_load();
}

// The newest record time of a store (the largest, not the last by id); INT64_MIN when
// it has none to read.
std::int64_t newest_of(const StoreDir& store, FILE* err) {
  std::int64_t newest = INT64_MIN;
  if (!store.info_found || (sel_info_faults(store.info) & SEL_INFO_UNUSABLE) != 0) return newest;
  int n = 0;
  (void)read_records(err, store, sel_range_first(store.info, store.info.rec_count), held, &n);
  for (int i = 0; i < n; ++i) newest = std::max<std::int64_t>(newest, sel_timestamp(held[i]));
  return newest;
}

// The newest record time among the stores, for the times counted from it: each store
// read once before (what is wrong with one is said when it is read for its records).
std::int64_t newest_among(const Options& o) {
  FILE* quiet = fopen("/dev/null", "w");
  std::int64_t newest = INT64_MIN;
  for (int i = 0; i < o.n_stores && quiet != nullptr; ++i) {
    Source source{};
    if (!source_open(o.stores[i], &source, quiet)) continue;
    newest = std::max(newest, newest_of(store_open(source.dir, source.name), quiet));
    store_release();
  }
  if (quiet != nullptr) (void)fclose(quiet);
  return newest;
}

// How one store's records are told apart from those of earlier snapshots of its host.
struct Reading {
  SeenRecords* seen;
  int host;      // seen_host()'s number, -1 for none
  int store;     // its place on the command line
  int dropped;   // records that passed but were read before: left out
};

// Hands each record of the store that passes the filters to `take`, in the order
// asked for; one read before from another snapshot of its host is left out and counted.
// 0, 1 when the store could not be read to its end, 2 when it could not be read at all
// (said on standard error).
template <typename Take>
int each_passing(const Options& o, const StoreDir& store, Reading* reading, Take take) {
  if (!store.info_found) {
    fprintf(stderr, "selexport: %s/sel.inf cannot be opened: %s; selexport --check tells more\n",
            store.name, strerror(store.info_errno));
    return 2;
  }
  if (const unsigned faults = sel_info_faults(store.info) & SEL_INFO_UNUSABLE; faults != 0) {
    char why[80];
    sel_info_fault_text(faults, store.info, why, sizeof why);
    fprintf(stderr, "selexport: %s/sel.inf: %s; selexport --check tells more\n", store.name, why);
    return 1;
  }
  if (store.info.rec_count == 0) return 0;
  SelRange range{};
  switch (o.selection) {
    case Selection::all: range = sel_range_first(store.info, store.info.rec_count); break;
    case Selection::first: range = sel_range_first(store.info, o.count); break;
    case Selection::last: range = sel_range_last(store.info, o.count); break;
  }
  // A single store: its own newest record (standard input is read only once).
  std::int64_t newest =
      !filter_needs_newest(o.filter) || o.n_stores > 1 ? o.newest : newest_of(store, stderr);
  if (newest == INT64_MIN) newest = 0;  // no record to read: none will pass
  std::int64_t since = 0, until = 0;
  filter_window(o.filter, newest, o.local, &since, &until);
  if (since > until) {
    char when[32];
    iso_time(static_cast<std::int32_t>(newest), when);
    fprintf(stderr,
            "selexport: %s: --since is after --until (the newest record is at %s): no record "
            "could pass\n",
            store.name, when);
    return 2;
  }
  int n = 0;
  const int read = read_records(stderr, store, range, held, &n);
  // The summary counts in ring order, where the clock's going back shows.
  const bool reverse = o.reverse && !o.summary;
  for (int i = 0; i < n; ++i) {
    const SelRecord& rec = held[reverse ? n - 1 - i : i];
    if (!filter_match(o.filter, since, until, rec)) continue;
    if (seen_before(reading->seen, reading->host, reading->store, rec)) {
      ++reading->dropped;
    } else if (!take(rec)) {
      fputs("selexport: no memory left for the records\n", stderr);
      return 2;
    }
  }
  return read;
}

// `result`, or `failed` after a message when standard output could not take it all
// (a full disk, a closed descriptor): a cut report must not pass for a whole one.
int written(int result, int failed) {
  if (fflush(stdout) == 0 && ferror(stdout) == 0) return result;
  fprintf(stderr, "selexport: cannot write the output: %s\n", strerror(errno));
  return failed;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned closed = guard_std_fds();
  static Options o;  // held to the end, with the list of stores
  o.stores = static_cast<const char**>(calloc(static_cast<std::size_t>(argc), sizeof *o.stores));
  if (o.stores == nullptr) return 2;
  const int early = opt_parse(kProgram, argc, argv, take, &o);
  if (early != OPT_RUN) return early;
  if (const char* why = conflict(o)) {
    fprintf(stderr, "selexport: %s\nTry 'selexport --help'.\n", why);
    return 2;
  }
  if ((closed & (STD_OUT_CLOSED | STD_FDS_UNGUARDED)) != 0) {
    fputs("selexport: standard output is closed: nowhere to write\n", stderr);
    return 2;
  }
  // The dates inside the texts in UTC, as `time` is, so that no row mixes two zones;
  // with --local, each store's in its module's zone.
  static char caller_zone[256];
  const char* tz = getenv("TZ");
  const bool caller_has_zone = tz != nullptr && strlen(tz) < sizeof caller_zone;
  if (caller_has_zone) memcpy(caller_zone, tz, strlen(tz) + 1);
  if (!o.local) {
    (void)setenv("TZ", "UTC0", 1);
    tzset();
  } else {
    (void)zone_load();  // from a regular file only: a FIFO that TZ names would block
  }

  if (filter_needs_newest(o.filter) && o.n_stores > 1) o.newest = newest_among(o);
  const bool several = o.n_stores > 1;
  static SeenRecords seen;
  const bool rows =
      !o.summary && (o.format == ExportFormat::jsonl || o.format == ExportFormat::csv);
  Summary summary;
  Report report;
  report.several = several;
  report.local = o.local;
  // What the days and the dates are counted in, for the summary and the report.
  char zone[sizeof caller_zone] = "UTC";
  int status = 0;
  bool header_written = false;
  for (int i = 0; i < o.n_stores; ++i) {
    Source source{};
    if (!source_open(o.stores[i], &source, stderr)) {
      status = 2;
      continue;
    }
    const StoreDir store = store_open(source.dir, source.name);
    if (o.check) {
      status = std::max(status, check_store(stdout, store));
      store_release();
      continue;
    }
    if (o.local) {
      use_zone(source, caller_has_zone ? caller_zone : nullptr);
      (void)snprintf(zone, sizeof zone, "%s",
                     snapshot_zone_usable(source.meta.zone)  ? source.meta.zone
                     : caller_has_zone                         ? caller_zone
                                                               : "local time");
    }
    if (rows && !header_written) {
      write_rows_header(stdout, o.format, several);
      header_written = true;
    }
    if (o.format == ExportFormat::html) report_source(&report, source, zone);
    const char* label = several ? source_label(source) : nullptr;
    int passed = 0;
    Reading reading{&seen, seen_host(&seen, source.meta.host), i, 0};
    const int result = each_passing(o, store, &reading, [&](const SelRecord& rec) {
      if (rows) {
        passing[passed++] = rec;
        return true;
      }
      if (o.format == ExportFormat::html) {
        report_record(&report, rec);
        return true;
      }
      return summary_add(&summary, rec, o.local);
    });
    status = std::max(status, result);
    if (rows) write_rows_of(stdout, o.format, {passing, static_cast<std::size_t>(passed)}, label);
    if (reading.dropped > 0 && o.format == ExportFormat::html) report_dropped(&report, reading.dropped);
    if (reading.dropped > 0 && rows) {
      fprintf(stderr, "selexport: %s: %d records left out, already read from an earlier snapshot of %s\n",
              source.name, reading.dropped, source.meta.host);
    }
    summary.dropped = reading.dropped;
    if (o.summary && result != 2) {
      if (o.format == ExportFormat::json) {
        summary_print_json(stdout, &summary, source, label);
      } else {
        if (i > 0) fputc('\n', stdout);
        summary_print_text(stdout, &summary, source, zone);
      }
      summary_clear(&summary);
    }
    store_release();
  }
  if (o.format == ExportFormat::html && !report.stores.empty()) report_write(stdout, report);
  return written(status, o.check ? 2 : 1);
}
