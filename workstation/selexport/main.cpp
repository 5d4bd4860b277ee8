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
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/say.h"
#include "common/say_store.h"
#include "decode/record_text.h"
#include "lib/posix.h"
#include "lib/zone.h"
#include "snapshot/unpack.h"
#include "workstation/selexport/report.h"
#include "workstation/selexport/selexport.h"
#include "workstation/selexport/summary.h"

namespace {

// What the days and the dates are counted in: the zone of the process, and the name that
// the summary and the report give it.
struct Zones {
  char caller[256] = "";  // TZ as the caller set it
  bool caller_set = false;
  char shown[SNAPSHOT_VALUE_MAX + 1] = "UTC";  // a caller's TZ, or a snapshot's zone
};

// What the run keeps across the stores.
struct Run {
  explicit Run(const ExportOptions& options)
      : o(options),
        several(options.n_stores > 1),
        rows(!options.summary &&
             (options.format == ExportFormat::jsonl || options.format == ExportFormat::csv)) {}
  const ExportOptions& o;
  bool several;
  bool rows;  // JSON Lines or CSV
  bool header_written = false;
  Zones zones;
  Summary summary;
  Report report;
  int done = 0, partial = 0, refused = 0;  // stores, by how they went
};

enum class Outcome { done, partial, refused };

SelRecord held[SEL_MAX_RECS];  // 256 KiB, the whole ring of one store
// Those that pass the filters, in their order: rows are written a store at a time.
SelRecord passing[SEL_MAX_RECS];

// What is wrong with the options together, or nullptr.
const char* conflict(const ExportOptions& o) {
  if (o.n_stores == 0) return "no store: give a directory or a sel-save archive";
  if (o.summary && o.format_given && o.format != ExportFormat::json) {
    return "--summary writes a table, or JSON with --format json";
  }
  if (!o.summary && o.format == ExportFormat::json) return "--format json goes with --summary";
  if (filter_window_empty(o.filter)) return "--since is after --until: no record could pass";
  return nullptr;
}

// The dates inside the texts in UTC, as `time` is, so that no row mixes two zones; with
// --local, each store's in its module's zone.
void zones_begin(const ExportOptions& o, Zones* z) {
  const char* tz = getenv("TZ");
  z->caller_set = tz != nullptr && strlen(tz) < sizeof z->caller;
  if (z->caller_set) memcpy(z->caller, tz, strlen(tz) + 1);
  if (!o.local) {
    (void)setenv("TZ", "UTC0", 1);
    tzset();
  } else {
    (void)zone_load();  // from a regular file only: a FIFO that TZ names would block
  }
}

// The zone of the dates for one store with --local: the module's, when its snapshot
// names one that can be had here, else the caller's TZ.
void zones_of(Run& run, const Source& source) {
  Zones& z = run.zones;
  const bool module = snapshot_zone_usable(source.meta.zone);
  if (module) {
    (void)setenv("TZ", source.meta.zone, 1);
  } else if (z.caller_set) {
    (void)setenv("TZ", z.caller, 1);
  } else {
    (void)unsetenv("TZ");
  }
  (void)zone_load();
  (void)snprintf(z.shown, sizeof z.shown, "%s",
                 run.several && run.o.format == ExportFormat::html ? "each store's local time"
                 : module                                          ? source.meta.zone
                 : z.caller_set                                    ? z.caller
                                                                   : "local time");
}

// The time window of the filters for `store`, whose newest record a span counts back
// from. False after saying why no record of it could pass.
bool window_of(const ExportOptions& o, const StoreDir& store, std::int64_t* since,
               std::int64_t* until) {
  std::int64_t newest = 0;
  if (o.filter.since.back || o.filter.until.back) {
    SelRecord last{};
    int n = 0;
    RangeGaps gaps;
    read_range(store, sel_range_last(store.info, 1), &last, &n, &gaps);
    if (n != 1) {
      say("%s: without its newest record no time counts back from it", store.name);
      return false;
    }
    newest = sel_timestamp(last);
  }
  filter_window(o.filter, newest, since, until);
  if (*since <= *until) return true;
  char when[32];
  iso_time(static_cast<std::int32_t>(newest), when);
  say("%s: --since is after --until (its newest record is at %s): no record could pass", store.name,
      when);
  return false;
}

SelRange range_of(const ExportOptions& o, const SelInfo& info) {
  switch (o.selection) {
    case Selection::first: return sel_range_first(info, o.count);
    case Selection::last: return sel_range_last(info, o.count);
    case Selection::all: break;
  }
  return sel_range_first(info, info.rec_count);
}

// Hands each record of the store that passes the filters to `take`, in the order
// asked for; says what could not be read.
template <typename Take>
Outcome each_passing(const ExportOptions& o, const StoreDir& store, Take take) {
  if (const Status usable = store_usable(store); !usable.ok()) {
    say_store_refused(store, usable);
    return Outcome::refused;
  }
  std::int64_t since = 0, until = 0;
  if (store.info.rec_count == 0) return Outcome::done;
  if (!window_of(o, store, &since, &until)) return Outcome::refused;
  int n = 0;
  static RangeGaps gaps;
  read_range(store, range_of(o, store.info), held, &n, &gaps);
  say_read_gaps(store, gaps);
  for (int i = 0; i < n; ++i) {
    const SelRecord& rec = held[o.reverse ? n - 1 - i : i];
    if (filter_match(o.filter, since, until, rec) && !take(rec)) {
      say("no memory left for the records");
      return Outcome::refused;
    }
  }
  return gaps.n == 0 ? Outcome::done : Outcome::partial;
}

// The records of one store as rows, a summary or the report's part.
Outcome export_store(Run& run, const Source& source, const StoreDir& store) {
  const ExportOptions& o = run.o;
  if (o.local) zones_of(run, source);
  if (run.rows && !run.header_written) {
    write_rows_header(stdout, o.format, run.several);
    run.header_written = true;
  }
  if (o.format == ExportFormat::html) report_source(&run.report, source);
  int passed = 0;
  const Outcome outcome = each_passing(o, store, [&](const SelRecord& rec) {
    if (run.rows) {
      passing[passed++] = rec;
      return true;
    }
    if (o.format == ExportFormat::html) return report_record(&run.report, rec, source);
    return summary_add(&run.summary, rec, o.local);
  });
  const char* label = run.several ? source_label(source) : nullptr;
  if (run.rows) write_rows_of(stdout, o.format, {passing, static_cast<std::size_t>(passed)}, label);
  if (o.summary && outcome != Outcome::refused) {
    if (o.format == ExportFormat::json) {
      summary_print_json(stdout, &run.summary, source, label);
    } else {
      if (run.done + run.partial > 0) fputc('\n', stdout);
      summary_print_text(stdout, &run.summary, source, run.zones.shown);
    }
    summary_clear(&run.summary);
  }
  return outcome;
}

// One store of the command line, checked or exported.
Outcome read_store(Run& run, const char* operand) {
  static Source source;  // 8 KiB, one store at a time
  if (const Status opened = source_open(operand, say_program(), &source); !opened.ok()) {
    say_source_refused(source, opened);
    return Outcome::refused;
  }
  // An archive cut short is read as far as it is whole: said first, then what is missing.
  if (!source.cut.ok()) say_source_refused(source, source.cut);
  say_meta_ignored(source);
  const StoreDir store = store_open(source.dir, source.name);
  Outcome outcome = run.o.check ? (check_store(stdout, store) ? Outcome::done : Outcome::partial)
                                : export_store(run, source, store);
  if (outcome == Outcome::done && !source.cut.ok()) outcome = Outcome::partial;
  unpack_release();
  return outcome;
}

// The status of the run: done, done in part, or nothing done; `failed` when standard
// output could not take it all (a full disk, a closed descriptor): a cut report must not
// pass for a whole one.
int run_status(const Run& run, int failed) {
  if (fflush(stdout) != 0 || ferror(stdout) != 0) {
    say("cannot write the output: %s", strerror(errno));
    return failed;
  }
  if (run.partial == 0 && run.refused == 0) return EXIT_DONE;
  return run.done + run.partial == 0 ? EXIT_NOTHING : EXIT_PARTIAL;
}

int run_all(const ExportOptions& o) {
  static Run run(o);
  zones_begin(o, &run.zones);
  if (o.format == ExportFormat::html && !report_begin(&run.report, run.several, o.local)) {
    say("no memory for the report");
    return EXIT_NOTHING;
  }
  for (int i = 0; i < o.n_stores; ++i) {
    switch (read_store(run, o.stores[i])) {
      case Outcome::done: ++run.done; break;
      case Outcome::partial: ++run.partial; break;
      case Outcome::refused: ++run.refused; break;
    }
  }
  if (o.format == ExportFormat::html && run.report.stores > 0) {
    report_write(stdout, &run.report, run.zones.shown);
  }
  return run_status(run, o.check ? EXIT_NOTHING : EXIT_PARTIAL);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned closed = guard_std_fds();
  static ExportOptions o;  // held to the end, with the list of stores
  const int early = options_parse(argc, argv, &o);
  if (early != OPT_RUN) return early;
  if (const char* why = conflict(o)) return opt_misuse("%s", why);
  if ((closed & (STD_OUT_CLOSED | STD_FDS_UNGUARDED)) != 0) {
    say("standard output is closed: nowhere to write");
    return EXIT_NOTHING;
  }
  return run_all(o);
}
