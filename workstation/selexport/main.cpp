// selexport [--format jsonl|csv] [--first N | --last N] [FILTER...] [--reverse]
//           [--local] STORE
// selexport --check STORE
//
// Reads a SEL store copied off a module (sel.inf and sel.0 to sel.3 in a directory) or
// a snapshot of one (a tar archive, as sel-save writes it), with the decoders of `sel`,
// and writes its records as JSON Lines or CSV, or checks it. It never writes to the
// store and takes no locks.
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

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

void usage(FILE* out) {
  fputs(
      "usage: selexport [--format jsonl|csv] [--first N | --last N] [--since TIME]\n"
      "                 [--until TIME] [--severity NAME] [--type NAME|NUMBER] [--reverse]\n"
      "                 [--local] STORE\n"
      "       selexport --check STORE\n"
      "STORE is a copy of the module's /mnt/logs/sel or a sel-save archive. TIME is\n"
      "2025-12-05T16:00:00Z (UTC) or seconds since the epoch.\n",
      out);
}

bool parse_count(const char* text, int* count) {
  char* end = nullptr;
  errno = 0;
  const long value = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < INT_MIN || value > INT_MAX) return false;
  *count = static_cast<int>(value);
  return true;
}

// Says why the arguments are refused, on standard error. False then.
__attribute__((format(printf, 1, 2))) bool refuse(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("selexport: ", stderr);
  vfprintf(stderr, format, args);
  va_end(args);
  return false;
}

// The value of an option, or nullptr after saying that it is missing.
const char* value_of(int argc, char** argv, int* i) {
  if (*i + 1 < argc) return argv[++*i];
  refuse("%s needs a value\n", argv[*i]);
  return nullptr;
}

bool parse_option(int argc, char** argv, int* i, Options* o) {
  const char* arg = argv[*i];
  const char* value = nullptr;
  if (arg[0] != '-' || arg[1] == '\0') {
    if (o->store != nullptr) return refuse("only one store: %s and %s\n", o->store, arg);
    o->store = arg;
    return true;
  }
  if (strcmp(arg, "--check") == 0) {
    o->check = true;
    return true;
  }
  o->only_check = false;
  if (strcmp(arg, "--reverse") == 0) {
    o->out.reverse = true;
  } else if (strcmp(arg, "--local") == 0) {
    o->local = true;
  } else if (strcmp(arg, "--format") == 0) {
    if ((value = value_of(argc, argv, i)) == nullptr) return false;
    if (strcmp(value, "jsonl") == 0) {
      o->out.format = ExportFormat::jsonl;
    } else if (strcmp(value, "csv") == 0) {
      o->out.format = ExportFormat::csv;
    } else {
      return refuse("--format %s: the formats are jsonl and csv\n", value);
    }
  } else if (strcmp(arg, "--first") == 0 || strcmp(arg, "--last") == 0) {
    if (o->selection != Selection::all) return refuse("only one of --first and --last\n");
    o->selection = arg[2] == 'f' ? Selection::first : Selection::last;
    if ((value = value_of(argc, argv, i)) == nullptr) return false;
    if (!parse_count(value, &o->count)) return refuse("%s %s: not a number\n", arg, value);
  } else if (strcmp(arg, "--since") == 0 || strcmp(arg, "--until") == 0) {
    if ((value = value_of(argc, argv, i)) == nullptr) return false;
    std::int64_t* end = arg[2] == 's' ? &o->out.filter.since : &o->out.filter.until;
    if (!filter_parse_time(value, end)) {
      return refuse(
          "%s %s: give a time as 2025-12-05T16:00:00Z (UTC) or seconds since the "
          "epoch\n",
          arg, value);
    }
  } else if (strcmp(arg, "--severity") == 0) {
    if ((value = value_of(argc, argv, i)) == nullptr) return false;
    if (!filter_parse_severity(value, &o->out.filter.least_severity)) {
      refuse("--severity %s: the severities are ", value);
      filter_print_severities(stderr);
      fputc('\n', stderr);
      return false;
    }
  } else if (strcmp(arg, "--type") == 0) {
    if ((value = value_of(argc, argv, i)) == nullptr) return false;
    if (!filter_parse_type(value, &o->out.filter)) {
      refuse("--type %s: give a type number or one of ", value);
      filter_print_types(stderr);
      fputc('\n', stderr);
      return false;
    }
  } else {
    return refuse("unknown option %s\n", arg);
  }
  return true;
}

bool parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    if (!parse_option(argc, argv, &i, o)) return false;
  }
  if (o->store == nullptr) {
    (void)refuse("no store: give a directory or a sel-save archive\n");
    return false;
  }
  if (o->check && !o->only_check) return refuse("--check takes no other option\n");
  return true;
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
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      usage(stdout);
      return 0;
    }
    if (strcmp(argv[i], "--version") == 0) {
      printf("selexport %s\n", SEL_VERSION);
      return 0;
    }
  }
  Options o;
  if (!parse(argc, argv, &o)) {
    fputs("selexport --help shows the usage\n", stderr);
    return 2;
  }
  // The dates inside the texts in UTC, as `time` is, so that no row mixes two zones.
  if (!o.local) {
    setenv("TZ", "UTC0", 1);
    tzset();
  }

  struct stat st {};
  if (stat(o.store, &st) != 0) {
    fprintf(stderr, "selexport: %s: %s\n", o.store, strerror(errno));
    return 2;
  }
  const char* dir = o.store;
  if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
    dir = store_unpack(o.store, stderr);
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
