// selexport [--format jsonl|csv] [--first N | --last N] DIR
// selexport --check DIR
//
// Reads a SEL store copied off a module (sel.inf and sel.0 to sel.3 in DIR) with the
// decoders of `sel`, and writes its records as JSON Lines or CSV, or checks it. It
// never writes to DIR and takes no locks.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tools/selexport/selexport.h"

namespace {

enum class Selection { all, first, last };

struct Options {
  bool check = false;
  ExportFormat format = ExportFormat::jsonl;
  bool format_given = false;
  Selection selection = Selection::all;
  int count = 0;
  const char* dir = nullptr;
};

void usage(FILE* out) {
  fputs("usage: selexport [--format jsonl|csv] [--first N | --last N] DIR\n"
        "       selexport --check DIR\n",
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

// Returns nullptr, or why the arguments are refused.
const char* parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (strcmp(arg, "--check") == 0) {
      o->check = true;
    } else if (strcmp(arg, "--format") == 0) {
      if (!has_value) return "--format needs jsonl or csv";
      const char* name = argv[++i];
      if (strcmp(name, "jsonl") == 0) {
        o->format = ExportFormat::jsonl;
      } else if (strcmp(name, "csv") == 0) {
        o->format = ExportFormat::csv;
      } else {
        return "--format needs jsonl or csv";
      }
      o->format_given = true;
    } else if (strcmp(arg, "--first") == 0 || strcmp(arg, "--last") == 0) {
      if (o->selection != Selection::all) return "only one of --first and --last";
      o->selection = arg[2] == 'f' ? Selection::first : Selection::last;
      if (!has_value || !parse_count(argv[++i], &o->count)) {
        return "--first and --last need a number";
      }
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return "unknown option";
    } else if (o->dir != nullptr) {
      return "only one store directory";
    } else {
      o->dir = arg;
    }
  }
  if (o->dir == nullptr) return "no store directory";
  if (o->check && (o->format_given || o->selection != Selection::all))
    return "--check takes no other option";
  return nullptr;
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
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  Options o;
  if (const char* why = parse(argc, argv, &o)) {
    fprintf(stderr, "selexport: %s\n", why);
    usage(stderr);
    return 2;
  }

  struct stat st {};
  if (stat(o.dir, &st) != 0) {
    fprintf(stderr, "selexport: %s: %s\n", o.dir, strerror(errno));
    return 2;
  }
  if (!S_ISDIR(st.st_mode)) {
    fprintf(stderr, "selexport: %s: not a directory\n", o.dir);
    return 2;
  }
  if (!store_present(o.dir)) {
    fprintf(stderr, "selexport: %s holds no SEL store (no sel.inf, no sel.0 to sel.3)\n", o.dir);
    return 2;
  }

  const StoreDir store = store_open(o.dir);
  if (o.check) return written(check_store(stdout, store), 2);

  if (!store.info_found) {
    fprintf(stderr, "selexport: %s/sel.inf cannot be opened: %s; selexport --check tells more\n",
            o.dir, strerror(store.info_errno));
    return 2;
  }
  if (const unsigned faults = sel_info_faults(store.info) & SEL_INFO_UNUSABLE; faults != 0) {
    char why[80];
    sel_info_fault_text(faults & (~faults + 1), store.info, why, sizeof why);
    fprintf(stderr, "selexport: %s/sel.inf: %s; selexport --check tells more\n", o.dir, why);
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
  return written(export_records(stdout, stderr, store, range, o.format), 1);
}
