// sel-save [-o DIR]
//
// A consistent snapshot of the module's SEL store, for reading elsewhere: the info
// file and the records that it promises, taken under the store's locks as `sel` takes
// them, written as a tar archive on standard output (sel/sel.inf, sel/sel.0, ...) or,
// with -o, into a new directory DIR, which appears only once it is whole. Beside the
// store's files goes sel.meta: where and when the snapshot was taken.
//
// Exit status: EXIT_DONE a snapshot of everything the info file promises; EXIT_PARTIAL a
// snapshot of what there was, the shortfall said on standard error (a record file missing
// or shorter than promised, an info file that promises nothing readable); EXIT_NOTHING no
// snapshot.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/options.h"
#include "common/say.h"
#include "lib/posix.h"
#include "module/sel-save/origin.h"
#include "module/sel-save/output.h"
#include "module/sel-save/snapshot.h"

namespace {

SelSnapshot snapshot;  // 256 KiB: too large for the stack of a small module

enum Opt : int { kOperand = OPT_OPERAND, kOutput };

constexpr auto kSynopsis = std::to_array<const char*>({"> SNAPSHOT.tar", "-o DIR"});
constexpr auto kOptions = std::to_array<OptRow>({
    {kOutput, "--output", 'o', "DIR", 0, "write a new directory DIR instead of a tar archive"},
});
constexpr OptProgram kProgram{
    "sel-save", kSynopsis,
    "Takes a consistent snapshot of the SEL store (/mnt/logs/sel) under its locks: a tar\n"
    "archive on standard output, or a new directory DIR. Read it with selexport or sel-view.",
    kOptions};

bool take(void* ctx, int id, const char* value) {
  switch (static_cast<Opt>(id)) {
    case kOperand: return opt_no_operands(ctx, id, value);
    case kOutput: *static_cast<const char**>(ctx) = value; return true;
  }
  return opt_untaken(id);
}

// Says on standard error what the snapshot lacks. True when it lacks nothing.
bool whole(const SelSnapshot& s) {
  bool lacks_nothing = true;
  if (s.info_cut) {
    say("sel.inf is longer than %zu bytes; only its first %zu are saved", SEL_SNAPSHOT_INFO_MAX,
        SEL_SNAPSHOT_INFO_MAX);
    lacks_nothing = false;
  }
  if (const unsigned unusable = s.info_faults & SEL_INFO_UNUSABLE; unusable != 0) {
    char fault[100];
    sel_info_fault_text(unusable, s.info, fault, sizeof fault);
    say("sel.inf: %s; only the info file is saved", fault);
    return false;
  }
  for (int file = 0; file < SEL_FILES; ++file) {
    const SelSnapshotFile& f = s.files[file];
    const std::size_t promised = static_cast<std::size_t>(f.promised) * SEL_RECORD_SIZE;
    if (!f.read.ok()) {
      // open_regular refuses a FIFO, a device or a directory with EINVAL.
      const char* what = f.read.error == ENOENT   ? "is missing"
                         : f.read.error == EINVAL ? "is not a regular file"
                                                  : strerror(f.read.error);
      say("sel.%d %s; the info file promises %d records in it", file, what, f.promised);
      lacks_nothing = false;
    } else if (f.size < promised) {
      say("sel.%d holds %zu bytes where the info file promises %d records (%zu bytes); saved as "
          "it is",
          file, f.size, f.promised, promised);
      lacks_nothing = false;
    }
  }
  return lacks_nothing;
}

// Whether the archive has somewhere to go; why not is said.
bool output_usable(const char* dir, unsigned closed) {
  if (dir != nullptr) return true;
  if ((closed & (STD_OUT_CLOSED | STD_FDS_UNGUARDED)) != 0) {
    say("standard output is closed: send the archive to a file or give -o DIR");
    return false;
  }
  if (isatty(STDOUT_FILENO) == 1) {
    say("standard output is a terminal: send the archive to a file (sel-save > SNAPSHOT.tar) "
        "or give -o DIR");
    return false;
  }
  return true;
}

// Reads the store into `snapshot`; why it could not is said.
bool take_snapshot() {
  const Status taken = sel_snapshot_take(&snapshot);
  if (taken.ok()) return true;
  if (sel_at_info_file(taken)) {
    say_status(taken, "cannot read %s", SEL_INFO_FILE);
  } else {
    say_status(taken, "cannot lock %s", taken.path);
  }
  return false;
}

// Writes the snapshot, taken at `taken_at`, into `dir` or as an archive on standard
// output; why it could not is said.
bool write_snapshot(const char* dir, std::time_t taken_at) {
  char meta[SNAPSHOT_META_MAX];
  const std::size_t meta_size = snapshot_meta_format(snapshot_origin(taken_at), meta, sizeof meta);
  SnapshotMember members[1 + SEL_FILES + 1];
  int n = 0;
  members[n++] = {SEL_FILE_NAMES[0], snapshot.info_text, snapshot.info_size, snapshot.info_mtime};
  for (int file = 0; file < SEL_FILES; ++file) {
    const SelSnapshotFile& f = snapshot.files[file];
    if (f.promised > 0 && f.read.ok())
      members[n++] = {SEL_FILE_NAMES[1 + file], f.bytes, f.size, f.mtime};
  }
  members[n++] = {SNAPSHOT_META_NAME, meta, meta_size, taken_at};
  const Status written =
      dir != nullptr ? output_dir_finish(members, n) : output_tar(STDOUT_FILENO, members, n);
  if (!written.ok()) say_status(written, "cannot write %s", dir != nullptr ? dir : "the archive");
  return written.ok();
}

}  // namespace

int main(int argc, char** argv) {
  say_as(kProgram.name);
  const unsigned closed = guard_std_fds();
  const char* dir = nullptr;
  const int early = opt_parse(kProgram, argc, argv, take, &dir);
  if (early != OPT_RUN) return early;
  if (!output_usable(dir, closed)) return EXIT_NOTHING;
  // Made before the store is locked, so that a name in use costs seld nothing.
  if (dir != nullptr) {
    const Status made = output_dir_begin(dir);
    if (!made.ok()) {
      say("cannot make %s: %s%s", dir, strerror(made.error),
          made.error == EEXIST ? " (name a new directory)" : "");
      return EXIT_NOTHING;
    }
  }
  if (!take_snapshot()) {
    if (dir != nullptr) output_dir_abandon();
    return EXIT_NOTHING;
  }
  const std::time_t taken_at = time(nullptr);
  const bool complete = whole(snapshot);
  if (!write_snapshot(dir, taken_at)) return EXIT_NOTHING;
  return complete ? EXIT_DONE : EXIT_PARTIAL;
}
