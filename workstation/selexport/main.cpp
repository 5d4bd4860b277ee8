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
#include "workstation/selexport/fleet_export.h"
#include "workstation/selexport/inputs.h"
#include "workstation/selexport/run.h"
#include "workstation/selexport/selexport.h"

namespace {

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
                 module ? source.meta.zone : z.caller_set ? z.caller : "local time");
}

// The newest record time of a store (the largest, not the last by id); INT64_MIN when
// it has none to read.
std::int64_t newest_of(const StoreDir& store) {
  std::int64_t newest = INT64_MIN;
  int n = 0;
  if (!store_usable(store).ok()) return newest;
  static RangeGaps gaps;
  read_range(store, sel_range_first(store.info, store.info.rec_count), held, &n, &gaps);
  for (int i = 0; i < n; ++i) newest = std::max<std::int64_t>(newest, sel_timestamp(held[i]));
  return newest;
}

// The newest record time among the stores, for the times counted from it: each store
// read once before (what is wrong with one is said when it is read for its records).
std::int64_t newest_among(const ExportOptions& o) {
  static Source source;
  std::int64_t newest = INT64_MIN;
  for (int i = 0; i < o.n_stores; ++i) {
    if (!source_open(o.stores[i], say_program(), &source).ok()) continue;
    newest = std::max(newest, newest_of(store_open(source.dir, source.name)));
    unpack_release();
  }
  return newest;
}

// The time window of the filters for `store`: civil times in its zone with --local, and
// times counted from the newest record among the stores (of a single store, its own:
// standard input is read only once). False after saying why no record could pass.
bool window_of(const ExportOptions& o, const StoreDir& store, std::int64_t* since,
               std::int64_t* until) {
  std::int64_t newest =
      !filter_needs_newest(o.filter) || o.n_stores > 1 ? o.newest : newest_of(store);
  if (newest == INT64_MIN) newest = 0;  // no record to read: none will pass
  filter_window(o.filter, newest, o.local, since, until);
  if (*since <= *until) return true;
  char when[32];
  iso_time(static_cast<std::int32_t>(newest), when);
  say("%s: --since is after --until (the newest record is at %s): no record could pass",
      store.name, when);
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
// asked for (the summary's in ring order, where the clock's going back shows); one read
// before from another snapshot of its host is left out and counted. Says what could
// not be read.
template <typename Take>
Outcome each_passing(Run& run, const StoreDir& store, int host, int* dropped, Take take) {
  const ExportOptions& o = run.o;
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
  const bool reverse = o.reverse && !o.summary;
  for (int i = 0; i < n; ++i) {
    const SelRecord& rec = held[reverse ? n - 1 - i : i];
    if (!filter_match(o.filter, since, until, rec)) continue;
    if (seen_before(&run.seen, host, run.store, rec)) {
      ++*dropped;
    } else if (!take(rec)) {
      say("no memory left for the records");
      return Outcome::refused;
    }
  }
  return gaps.n == 0 ? Outcome::done : Outcome::partial;
}

// Records left out as read before from another snapshot of the host: said beside the
// rows, counted by the summary and the report.
void say_dropped(Run& run, const Source& source, int dropped) {
  if (run.o.format == ExportFormat::html) report_dropped(&run.report, dropped);
  run.summary.dropped = dropped;
  if (dropped > 0 && run.rows) {
    say("%s: %d records left out, already read from an earlier snapshot of %s", source.name,
        dropped, source.meta.host);
  }
}

// The records of one store as rows, a summary or the report's part.
Outcome export_store(Run& run, const Source& source, const StoreDir& store) {
  const ExportOptions& o = run.o;
  if (o.local) zones_of(run, source);
  if (run.rows && !run.header_written) {
    write_rows_header(stdout, o.format, run.several);
    run.header_written = true;
  }
  if (o.format == ExportFormat::html) report_source(&run.report, source, run.zones.shown);
  int passed = 0, dropped = 0;
  const int host = seen_host(&run.seen, source.meta.host);
  const Outcome outcome = each_passing(run, store, host, &dropped, [&](const SelRecord& rec) {
    if (run.rows) {
      passing[passed++] = rec;
      return true;
    }
    if (o.format == ExportFormat::html) {
      report_record(&run.report, rec);
      return true;
    }
    return summary_add(&run.summary, rec, o.local);
  });
  const char* label = run.several ? source_label(source) : nullptr;
  if (run.rows) write_rows_of(stdout, o.format, {passing, static_cast<std::size_t>(passed)}, label);
  say_dropped(run, source, dropped);
  if (o.summary && outcome != Outcome::refused) {
    if (o.format == ExportFormat::json) {
      summary_print_json(stdout, &run.summary, source, label);
    } else {
      if (run.summaries++ > 0) fputc('\n', stdout);
      summary_print_text(stdout, &run.summary, source, run.zones.shown);
    }
    summary_clear(&run.summary);
  }
  return outcome;
}

// One input of the command line, checked or exported.
Outcome read_input(Run& run, Input& in) {
  static Source source;  // 8 KiB, one store at a time
  if (in.kind == InputKind::refused) return Outcome::refused;
  if (in.kind == InputKind::lines) return export_lines(run, &in);
  const Status opened = in.kind == InputKind::store
                            ? source_open(in.operand, say_program(), &source)
                            : source_open_read(in.name, in.fd.fd, in.head, say_program(), &source);
  if (!opened.ok()) {
    say_source_refused(source, opened);
    return Outcome::refused;
  }
  // An archive cut short is read as far as it is whole: said first, then what is missing.
  if (!source.cut.ok()) say_source_refused(source, source.cut);
  say_meta_ignored(source);
  const StoreDir store = store_open(source.dir, source.name);
  Outcome outcome = Outcome::done;
  if (run.o.check) {
    outcome = check_store(stdout, store) ? Outcome::done : Outcome::partial;
  } else if (source_wanted(run.o, source_label(source))) {
    outcome = export_store(run, source, store);
  }
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
  std::vector<Input> inputs = inputs_classify(o.stores, o.n_stores, o.check);
  const bool lines = std::any_of(inputs.begin(), inputs.end(),
                                 [](const Input& in) { return in.kind == InputKind::lines; });
  if (lines && !fleet_options_fit(run)) return EXIT_NOTHING;
  run.several = run.several || lines;
  zones_begin(o, &run.zones);
  run.report.several = run.several;
  run.report.local = o.local;
  for (Input& in : inputs) {
    run.store = static_cast<int>(&in - inputs.data());
    switch (read_input(run, in)) {
      case Outcome::done: ++run.done; break;
      case Outcome::partial: ++run.partial; break;
      case Outcome::refused: ++run.refused; break;
    }
  }
  fleet_finish(run);
  if (o.format == ExportFormat::html && !run.report.stores.empty()) {
    report_write(stdout, run.report);
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
  if (filter_needs_newest(o.filter) && o.n_stores > 1) o.newest = newest_among(o);
  return run_all(o);
}
