// sel-view STORE (info | rd_all | rd_first <num_recs> | rd_last <num_recs>)
//
// Reads a SEL store copied off a module, or a snapshot of one, on a workstation, as `sel`
// shows it there. STORE is what selexport takes, found and unpacked by the same code: a
// copy of the module's /mnt/logs/sel, a folder that holds one, or a sel-save archive
// (plain or gzip-compressed; "-" reads it from standard input) unpacked into a private
// temporary directory that goes again at the end. A snapshot names the module's zone:
// sel's dates are in it unless TZ is set, and `info` ends with where and when the
// snapshot was taken.
//
// sel has fixed paths and queue keys, so it runs in a private module root (modroot) in
// which the store is /mnt/logs/sel and /velmar/run is fresh: the workstation's own files
// and queues are never touched, and no session or lock of the module comes along.
// sel-view's own checks decide its exit status (2 when it refuses); once sel has run it
// ends with 0, as sel does.
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/options.h"
#include "common/say.h"
#include "common/say_store.h"
#include "lib/posix.h"
#include "workstation/sel-view/run.h"

namespace {

enum Opt : int { kOperand = OPT_OPERAND };

constexpr auto kSynopsis =
    std::to_array<const char*>({"STORE info | rd_all | rd_first <num_recs> | rd_last <num_recs>"});
constexpr OptProgram kProgram{
    "sel-view",
    kSynopsis,
    "Shows a SEL store as sel does on the module. STORE is a copy of the module's\n"
    "/mnt/logs/sel, a folder that holds one, or a sel-save archive (.tar or .tar.gz; -\n"
    "reads it from standard input).",
    {},
    {},
    OPT_OPTIONS_FIRST};

// What modroot exits with when it could not make the module root (it says why).
constexpr int kModrootFailed = 125;

// The options of sel that sel-view passes on, and whether each takes a count.
struct SelCommand {
  const char* name;
  bool counted;
};
constexpr auto kCommands = std::to_array<SelCommand>(
    {{"info", false}, {"rd_all", false}, {"rd_first", true}, {"rd_last", true}});

struct Args {
  const char* store = nullptr;
  const char* words[2] = {};  // sel's option and its count
  int n_words = 0;
};

bool take(void* ctx, int id, const char* value) {
  auto* a = static_cast<Args*>(ctx);
  switch (static_cast<Opt>(id)) {
    case kOperand:
      if (a->store == nullptr) {
        a->store = value;
      } else if (a->n_words < 2) {
        a->words[a->n_words++] = value;
      } else {
        return opt_no_operands(ctx, id, value);
      }
      return true;
  }
  return opt_untaken(id);
}

// sel's option as sel would take it, or the usage error that it is: checked here, since
// sel would print its usage and end with 0.
int command_misuse(const Args& a) {
  if (a.store == nullptr) return opt_misuse("no store: give a directory or a sel-save archive");
  if (a.n_words == 0) {
    return opt_misuse(
        "say what sel is to show: info, rd_all, rd_first <num_recs> or "
        "rd_last <num_recs>");
  }
  const char* option = a.words[0];
  for (const SelCommand& c : kCommands) {
    if (strcmp(option, c.name) != 0) continue;
    std::int64_t count = 0;
    if (!c.counted && a.n_words > 1) return opt_misuse("unexpected argument %s", a.words[1]);
    if (c.counted && a.n_words < 2) return opt_misuse("%s needs a count of records", option);
    if (c.counted && !opt_number(a.words[1], INT32_MIN, INT32_MAX, &count)) {
      return opt_misuse("%s %s: not a number", option, a.words[1]);
    }
    return OPT_RUN;
  }
  return opt_misuse("unknown option %s", option);
}

// The package's own helpers in its libexec directory, found from where sel-view is (so
// that the installed tree can be moved).
struct Helpers {
  char libexec[PATH_MAX];
  char sel[PATH_MAX];
  char modroot[PATH_MAX];
};

// `*path`: "<dir>/<name>", an executable. False after saying that it is missing.
bool helper(const char* dir, const char* name, char (&path)[PATH_MAX]) {
  if (snprintf(path, sizeof path, "%s/%s", dir, name) < static_cast<int>(sizeof path) &&
      access(path, X_OK) == 0) {
    return true;
  }
  say("%s/%s is missing: install sel-view again", dir, name);
  return false;
}

// False after saying why they cannot be had.
bool find_helpers(Helpers* h) {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    say("cannot find where sel-view lives");
    return false;
  }
  self[n] = '\0';
  *strrchr(self, '/') = '\0';
  char wanted[PATH_MAX];
  if (snprintf(wanted, sizeof wanted, "%s/%s", self, SEL_VIEW_LIBEXEC) >=
          static_cast<int>(sizeof wanted) ||
      realpath(wanted, h->libexec) == nullptr) {
    say("%s is missing: install sel-view again", wanted);
    return false;
  }
  return helper(h->libexec, "sel", h->sel) && helper(h->libexec, "modroot", h->modroot);
}

// Whether this system lets sel-view make a module root; modroot makes the same probe,
// asking first gives the reason in terms of this tool.
bool namespaces_allowed() {
  char unshare[] = "unshare", user[] = "--user", root[] = "--map-root-user", mount[] = "--mount",
       ipc[] = "--ipc", pid[] = "--pid", fork[] = "--fork", command[] = "true";
  char* argv[] = {unshare, user, root, mount, ipc, pid, fork, command, nullptr};
  char why[512];
  if (run_captured(argv, why, sizeof why) == 0) return true;
  say("cannot run sel here: it needs a private module root, and this system does not allow "
      "user namespaces (%s)",
      why[0] != '\0' ? why : "unshare refused");
  return false;
}

// modroot's command line: the store as /mnt/logs/sel, sel (through the emulator that the
// build names, where sel is built for the module) with sel's option.
struct ModrootArgv {
  char* words[32];
  int n;
  void add(const char* word) { words[n++] = const_cast<char*>(word); }
};
void modroot_argv(const Helpers& h, const char* dir, const Args& a, ModrootArgv* argv) {
  static char emulator[] = SEL_VIEW_EMULATOR;
  for (const char* word : {h.modroot, "--store", dir, "--bind", h.libexec, "--"}) argv->add(word);
  // At most a few words: qemu and its library path.
  char* rest = nullptr;
  for (char* word = strtok_r(emulator, "|", &rest); word != nullptr && argv->n < 24;
       word = strtok_r(nullptr, "|", &rest)) {
    argv->add(word);
  }
  argv->add(h.sel);
  for (int i = 0; i < a.n_words; ++i) argv->add(a.words[i]);
  argv->words[argv->n] = nullptr;
}

// What the snapshot says of itself, after sel's summary.
void print_origin(const SnapshotMeta& m) {
  if (m.host[0] == '\0' && m.saved[0] == '\0' && m.zone[0] == '\0') return;
  fputc('\n', stdout);
  if (m.host[0] != '\0') printf("Snapshot of host: %s\n", m.host);
  if (m.saved[0] != '\0') printf("Snapshot taken: %s\n", m.saved);
  if (m.zone[0] != '\0') printf("Module's time zone: %s\n", m.zone);
}

}  // namespace

int main(int argc, char** argv) {
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return EXIT_NOTHING;
  Args a;
  if (const int early = opt_parse(kProgram, argc, argv, take, &a); early != OPT_RUN) return early;
  if (const int misuse = command_misuse(a); misuse != OPT_RUN) return misuse;
  static Helpers helpers;
  if (!find_helpers(&helpers)) return EXIT_NOTHING;
  static Source source;
  const Status opened = source_open(a.store, say_program(), &source);
  // sel shows an archive cut short as a store that lost records: refused instead.
  if (!opened.ok() || !source.cut.ok()) {
    say_source_refused(source, opened.ok() ? source.cut : opened);
    return EXIT_NOTHING;
  }
  say_meta_ignored(source);
  // sel reads the info file itself; one that cannot be opened is refused as selexport
  // refuses it, and sel judges the numbers in it as it does on the module. A record
  // file that it promises records in and that cannot be read would make sel print what
  // it read before and then "Clear SEL.": a copy that lost a file would read as wiped.
  const StoreDir store = store_open(source.dir, source.name);
  const Status readable = store.info_read.ok() ? store_files_readable(store) : store.info_read;
  if (!readable.ok()) {
    say_store_refused(store, readable);
    return EXIT_NOTHING;
  }
  if (!namespaces_allowed()) return EXIT_NOTHING;
  // The module's zone, as sel shows dates on the module, unless the caller names one.
  if (getenv("TZ") == nullptr && snapshot_zone_usable(source.meta.zone)) {
    (void)setenv("TZ", source.meta.zone, 1);
  }
  static ModrootArgv modroot{};
  modroot_argv(helpers, source.dir, a, &modroot);
  const int ran = run_program(modroot.words);
  if (ran == kModrootFailed || ran < 0) {
    if (ran < 0) say_status(fail_errno(Step::process), "cannot run %s", helpers.modroot);
    return EXIT_NOTHING;
  }
  if (strcmp(a.words[0], "info") == 0) print_origin(source.meta);
  return EXIT_DONE;
}
