// selexport [--format jsonl|csv] [--first N | --last N] [FILTER...] [--reverse]
//           [--local] STORE
// selexport --check STORE
//
// Reads a SEL store copied off a module (sel.inf and sel.0 to sel.3 in a directory) or
// a snapshot of one (a tar archive, as sel-save writes it), with the decoders of `sel`,
// and writes its records as JSON Lines or CSV, or checks it. It never writes to the
// store and takes no locks.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/options.h"
#include "lib/posix.h"
#include "lib/zone.h"
#include "workstation/selexport/selexport.h"

namespace {

enum class Selection { all, first, last };

struct Options {
  bool check = false;
  bool only_check = true;  // no option but --check given
  bool local = false;
  Selection selection = Selection::all;
  int count = 0;
  ExportOptions out;
  const char* store = nullptr;
};

enum : int {
  kFormat = 1,
  kFirst,
  kLast,
  kSince,
  kUntil,
  kSeverity,
  kType,
  kReverse,
  kLocal,
  kCheck,
};

constexpr auto kSynopsis = std::to_array<const char*>({
    "[--format jsonl|csv] [--first N | --last N] [--since TIME]",
    " [--until TIME] [--severity NAME] [--type NAME|NUMBER] [--reverse]",
    " [--local] STORE",
    "--check STORE",
});
constexpr auto kOptions = std::to_array<OptSpec>({
    {kFormat, "--format", 0, "jsonl|csv", 0, "rows as JSON Lines (the default) or CSV"},
    {kFirst, "--first", 0, "N", 0, "the oldest N records, as sel rd_first N"},
    {kLast, "--last", 0, "N", 0, "the newest N records, as sel rd_last N"},
    {kSince, "--since", 0, "TIME", 0, "records from TIME on"},
    {kUntil, "--until", 0, "TIME", 0, "records up to TIME"},
    {kSeverity, "--severity", 0, "NAME", 0, "records of this severity or worse"},
    {kType, "--type", 0, "NAME|NUMBER", 0, "records of this event type"},
    {kReverse, "--reverse", 0, nullptr, 0, "newest first"},
    {kLocal, "--local", 0, nullptr, 0, "dates inside the texts in TZ, not UTC"},
    {kCheck, "--check", 0, nullptr, 0, "check the store's consistency instead"},
});
constexpr OptProgram kProgram{
    "selexport", kSynopsis,
    "STORE is a copy of the module's /mnt/logs/sel or a sel-save archive (- reads the\n"
    "archive from standard input). TIME is 2025-12-05T16:00:00Z (UTC) or seconds since\n"
    "the epoch.",
    kOptions};

bool parse_count(const char* text, int* count) {
  long value = 0;
  if (!opt_number(text, INT_MIN, INT_MAX, &value)) return false;
  *count = static_cast<int>(value);
  return true;
}

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  auto* o = static_cast<Options*>(ctx);
  if (id == OPT_OPERAND) {
    if (o->store != nullptr) return opt_refuse(parse, "only one store: %s and %s", o->store, value);
    o->store = value;
    return true;
  }
  if (id == kCheck) {
    o->check = true;
    return true;
  }
  o->only_check = false;
  switch (id) {
    case kReverse: o->out.reverse = true; return true;
    case kLocal: o->local = true; return true;
    case kFormat:
      if (strcmp(value, "jsonl") == 0) {
        o->out.format = ExportFormat::jsonl;
      } else if (strcmp(value, "csv") == 0) {
        o->out.format = ExportFormat::csv;
      } else {
        return opt_refuse(parse, "--format %s: the formats are jsonl and csv", value);
      }
      return true;
    case kFirst:
    case kLast:
      if (o->selection != Selection::all) return opt_refuse(parse, "only one of --first and --last");
      o->selection = id == kFirst ? Selection::first : Selection::last;
      return parse_count(value, &o->count) ||
             opt_refuse(parse, "%s %s: not a number", id == kFirst ? "--first" : "--last", value);
    case kSince:
    case kUntil:
      return filter_parse_time(value, id == kSince ? &o->out.filter.since : &o->out.filter.until) ||
             opt_refuse(parse,
                        "%s %s: give a time as 2025-12-05T16:00:00Z (UTC) or seconds since the "
                        "epoch",
                        id == kSince ? "--since" : "--until", value);
    case kSeverity:
      if (filter_parse_severity(value, &o->out.filter.least_severity)) return true;
      fprintf(parse.err, "selexport: --severity %s: the severities are ", value);
      filter_print_severities(parse.err);
      fputc('\n', parse.err);
      return false;
    default:
      if (filter_parse_type(value, &o->out.filter)) return true;
      fprintf(parse.err, "selexport: --type %s: give a type number or one of ", value);
      filter_print_types(parse.err);
      fputc('\n', parse.err);
      return false;
  }
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
  Options o;
  const int early = opt_parse(kProgram, argc, argv, take, &o);
  if (early != OPT_RUN) return early;
  if (o.store == nullptr) {
    fputs("selexport: no store: give a directory or a sel-save archive\nTry 'selexport --help'.\n",
          stderr);
    return 2;
  }
  if (o.check && !o.only_check) {
    fputs("selexport: --check takes no other option\nTry 'selexport --help'.\n", stderr);
    return 2;
  }
  if ((closed & (STD_OUT_CLOSED | STD_FDS_UNGUARDED)) != 0) {
    fputs("selexport: standard output is closed: nowhere to write\n", stderr);
    return 2;
  }
  // The dates inside the texts in UTC, as `time` is, so that no row mixes two zones.
  if (!o.local) {
    setenv("TZ", "UTC0", 1);
    tzset();
  } else {
    (void)zone_load();  // from a regular file only: a FIFO that TZ names would block
  }

  // "-": an archive on standard input, read as a pipe is.
  const bool from_stdin = strcmp(o.store, "-") == 0;
  if (from_stdin) o.store = "standard input";
  struct stat st {};
  if (from_stdin ? fstat(STDIN_FILENO, &st) != 0 : stat(o.store, &st) != 0) {
    fprintf(stderr, "selexport: %s: %s\n", o.store, strerror(errno));
    return 2;
  }
  const char* dir = o.store;
  if (from_stdin || S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
    dir = store_unpack(from_stdin ? nullptr : o.store, o.store, stderr);
    if (dir == nullptr) return 2;
  } else if (!S_ISDIR(st.st_mode)) {
    fprintf(stderr, "selexport: %s: neither a directory nor an archive\n", o.store);
    return 2;
  }
  if (!store_present(dir)) {
    fprintf(stderr, "selexport: %s holds no SEL store (no sel.inf, no sel.0 to sel.3)\n", o.store);
    return 2;
  }

  const StoreDir store = store_open(dir, o.store);
  if (o.check) return written(check_store(stdout, store), 2);

  if (!store.info_found) {
    fprintf(stderr, "selexport: %s/sel.inf cannot be opened: %s; selexport --check tells more\n",
            o.store, strerror(store.info_errno));
    return 2;
  }
  if (const unsigned faults = sel_info_faults(store.info) & SEL_INFO_UNUSABLE; faults != 0) {
    char why[80];
    sel_info_fault_text(faults & (~faults + 1), store.info, why, sizeof why);
    fprintf(stderr, "selexport: %s/sel.inf: %s; selexport --check tells more\n", o.store, why);
    return 1;
  }

  SelRange range{store.info.oldest_file, 0, 0, false};
  if (store.info.rec_count > 0) {
    switch (o.selection) {
      case Selection::all: range = sel_range_first(store.info, store.info.rec_count); break;
      case Selection::first: range = sel_range_first(store.info, o.count); break;
      case Selection::last: range = sel_range_last(store.info, o.count); break;
    }
  }
  return written(export_records(stdout, stderr, store, range, o.out), 1);
}
