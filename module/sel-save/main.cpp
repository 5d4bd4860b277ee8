// sel-save [-o DIR]
//
// A consistent snapshot of the module's SEL store, for reading elsewhere: the info
// file and the records that it promises, taken under the store's locks as `sel` takes
// them, written as a tar archive on standard output (sel/sel.inf, sel/sel.0, ...) or,
// with -o, into a new directory DIR.
//
// Exit status: 0 a snapshot of everything the info file promises; 1 a snapshot of what
// there was, the shortfall said on standard error (a record file missing or shorter
// than promised, an info file that promises nothing readable); 2 no snapshot.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "lib/posix.h"
#include "store/sel_lock.h"
#include "module/sel-save/snapshot.h"
#include "common/options.h"
#include "common/ustar.h"

namespace {

constexpr const char* kTarDir = "sel";  // the archive's directory, as on the module
constexpr unsigned kFileMode = 0644;

SelSnapshot snapshot;  // 256 KiB: too large for the stack of a small module

constexpr auto kSynopsis = std::to_array<const char*>({"> SNAPSHOT.tar", "-o DIR"});
constexpr auto kOptions = std::to_array<OptSpec>({
    {'o', "--output", 'o', "DIR", 0, "write a new directory DIR instead of a tar archive"},
});
constexpr OptProgram kProgram{
    "sel-save", kSynopsis,
    "Takes a consistent snapshot of the SEL store (/mnt/logs/sel) under its locks: a tar\n"
    "archive on standard output, or a new directory DIR. Read it with selexport or sel-view.",
    kOptions};

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  if (id == OPT_OPERAND) return opt_refuse(parse, "unexpected argument %s", value);
  *static_cast<const char**>(ctx) = value;
  return true;
}

// A member's content, as it goes out.
struct Member {
  const char* name;
  const void* bytes;
  std::size_t size;
  std::int64_t mtime;
};

int write_tar(int fd, const Member* members, int n) {
  static const unsigned char zeros[2 * USTAR_BLOCK] = {};
  unsigned char header[USTAR_BLOCK];
  char name[USTAR_BLOCK];
  (void)snprintf(name, sizeof name, "%s/", kTarDir);
  if (!ustar_header(header, name, 0755, 0, members[0].mtime, true) ||
      write_all(fd, header, sizeof header) != 0) {
    return -1;
  }
  for (int i = 0; i < n; ++i) {
    const Member& m = members[i];
    (void)snprintf(name, sizeof name, "%s/%s", kTarDir, m.name);  // a few bytes
    const std::size_t pad = (USTAR_BLOCK - m.size % USTAR_BLOCK) % USTAR_BLOCK;
    if (!ustar_header(header, name, kFileMode, static_cast<std::uint32_t>(m.size), m.mtime,
                      false) ||
        write_all(fd, header, sizeof header) != 0 || write_all(fd, m.bytes, m.size) != 0 ||
        write_all(fd, zeros, pad) != 0) {
      return -1;
    }
  }
  return write_all(fd, zeros, sizeof zeros);
}

int write_dir(const char* dir, const Member* members, int n) {
  for (int i = 0; i < n; ++i) {
    const Member& m = members[i];
    char path[PATH_MAX];
    if (snprintf(path, sizeof path, "%s/%s", dir, m.name) >= static_cast<int>(sizeof path)) {
      errno = ENAMETOOLONG;
      return -1;
    }
    FdGuard fd(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(m.mtime), 0}};
    if (fd.fd < 0 || write_all(fd.fd, m.bytes, m.size) != 0 || futimens(fd.fd, times) != 0 ||
        close(fd.release()) != 0) {
      return -1;
    }
  }
  return 0;
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
    sel_info_fault_text(unusable & (~unusable + 1), s.info, why, sizeof why);
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
  if (dir != nullptr && mkdir(dir, 0755) != 0) {
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
    if (dir != nullptr) rmdir(dir);
    return 2;
  }

  Member members[1 + SEL_FILES];
  int n = 0;
  members[n++] = {SEL_FILE_NAMES[0], snapshot.info_text, snapshot.info_size, snapshot.info_mtime};
  for (int file = 0; file < SEL_FILES; ++file) {
    const SelSnapshotFile& f = snapshot.files[file];
    if (f.promised > 0 && f.error == 0)
      members[n++] = {SEL_FILE_NAMES[1 + file], f.bytes, f.size, f.mtime};
  }
  const bool complete = whole(snapshot);
  if ((dir != nullptr ? write_dir(dir, members, n) : write_tar(STDOUT_FILENO, members, n)) != 0) {
    fprintf(stderr, "sel-save: cannot write %s: %s\n", dir != nullptr ? dir : "the archive",
            strerror(errno));
    if (dir != nullptr) {
      for (int i = 0; i < n; ++i) {
        char path[PATH_MAX];
        if (snprintf(path, sizeof path, "%s/%s", dir, members[i].name) <
            static_cast<int>(sizeof path))
          unlink(path);
      }
      rmdir(dir);
    }
    return 2;
  }
  return complete ? 0 : 1;
}
