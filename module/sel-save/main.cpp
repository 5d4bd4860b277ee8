// sel-save [-o DIR]
//
// A consistent snapshot of the module's SEL store, for reading elsewhere: the info
// file and the records that it promises, taken under the store's locks as `sel` takes
// them, written as a tar archive on standard output (sel/sel.inf, sel/sel.0, ...) or,
// with -o, into a new directory DIR, which appears only once it is whole. Beside the
// store's files goes sel.meta: where and when the snapshot was taken.
//
// Exit status: 0 a snapshot of everything the info file promises; 1 a snapshot of what
// there was, the shortfall said on standard error (a record file missing or shorter
// than promised, an info file that promises nothing readable); 2 no snapshot.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/options.h"
#include "lib/posix.h"
#include "module/sel-save/origin.h"
#include "module/sel-save/output.h"
#include "module/sel-save/snapshot.h"
#include "store/sel_lock.h"

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
    fprintf(stderr, "sel-save: sel.inf is longer than %zu bytes; only its first %zu are saved\n",
            SEL_SNAPSHOT_INFO_MAX, SEL_SNAPSHOT_INFO_MAX);
    lacks_nothing = false;
  }
  if (const unsigned unusable = s.info_faults & SEL_INFO_UNUSABLE; unusable != 0) {
    char why[100];
    sel_info_fault_text(unusable, s.info, why, sizeof why);
    fprintf(stderr, "sel-save: sel.inf: %s; only the info file is saved\n", why);
    return false;
  }
  for (int file = 0; file < SEL_FILES; ++file) {
    const SelSnapshotFile& f = s.files[file];
    const std::size_t promised = static_cast<std::size_t>(f.promised) * SEL_RECORD_SIZE;
    if (f.error != 0) {
      // open_regular refuses a FIFO, a device or a directory with EINVAL.
      const char* why = f.error == ENOENT   ? "is missing"
                        : f.error == EINVAL ? "is not a regular file"
                                            : strerror(f.error);
      fprintf(stderr, "sel-save: sel.%d %s; the info file promises %d records in it\n", file, why,
              f.promised);
      lacks_nothing = false;
    } else if (f.size < promised) {
      fprintf(stderr,
              "sel-save: sel.%d holds %zu bytes where the info file promises %d records "
              "(%zu bytes); saved as it is\n",
              file, f.size, f.promised, promised);
      lacks_nothing = false;
    }
  }
  return lacks_nothing;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned closed = guard_std_fds();
  const char* dir = nullptr;
  const int early = opt_parse(kProgram, argc, argv, take, &dir);
  if (early != OPT_RUN) return early;
  if (dir == nullptr && (closed & (STD_OUT_CLOSED | STD_FDS_UNGUARDED)) != 0) {
    fputs("sel-save: standard output is closed: send the archive to a file or give -o DIR\n",
          stderr);
    return 2;
  }
  if (dir == nullptr && isatty(STDOUT_FILENO) == 1) {
    fputs(
        "sel-save: standard output is a terminal: send the archive to a file "
        "(sel-save > SNAPSHOT.tar) or give -o DIR\n",
        stderr);
    return 2;
  }
  // Made before the store is locked, so that a name in use costs seld nothing.
  if (dir != nullptr && output_dir_begin(dir) != 0) {
    fprintf(stderr, "sel-save: cannot make %s: %s%s\n", dir, strerror(errno),
            errno == EEXIST ? " (name a new directory)" : "");
    return 2;
  }
  const int taken = sel_snapshot_take(&snapshot);
  if (taken != SEL_SNAPSHOT_OK) {
    if (taken == SEL_SNAPSHOT_NO_LOCK) {
      fprintf(stderr, "sel-save: %s %s: %s\n", sel_lock_step_text(snapshot.lock_step),
              snapshot.lock_path, strerror(errno));
    } else {
      fprintf(stderr, "sel-save: cannot read %s: %s\n", SEL_INFO_FILE, strerror(errno));
    }
    if (dir != nullptr) output_dir_abandon();
    return 2;
  }
  const std::time_t taken_at = time(nullptr);
  char meta[SNAPSHOT_META_MAX];
  const std::size_t meta_size = snapshot_meta_format(snapshot_origin(taken_at), meta, sizeof meta);

  SnapshotMember members[1 + SEL_FILES + 1];
  int n = 0;
  members[n++] = {SEL_FILE_NAMES[0], snapshot.info_text, snapshot.info_size, snapshot.info_mtime};
  for (int file = 0; file < SEL_FILES; ++file) {
    const SelSnapshotFile& f = snapshot.files[file];
    if (f.promised > 0 && f.error == 0)
      members[n++] = {SEL_FILE_NAMES[1 + file], f.bytes, f.size, f.mtime};
  }
  members[n++] = {SNAPSHOT_META_NAME, meta, meta_size, taken_at};
  const bool complete = whole(snapshot);
  if ((dir != nullptr ? output_dir_finish(members, n) : output_tar(STDOUT_FILENO, members, n)) !=
      0) {
    fprintf(stderr, "sel-save: cannot write %s: %s\n", dir != nullptr ? dir : "the archive",
            strerror(errno));
    return 2;
  }
  return complete ? 0 : 1;
}
