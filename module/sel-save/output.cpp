#include "module/sel-save/output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "snapshot/meta.h"
#include "snapshot/ustar.h"
#include "lib/posix.h"
#include "store/sel_format.h"

namespace {

constexpr const char* kTarDir = "sel";  // the archive's directory, as on the module
constexpr unsigned kFileMode = 0644;

// The output directory's final and partial names, and the paths of every file that
// the partial one may hold: made before the handlers may look at them, so that the
// handlers only unlink. `partial_made` says that there is something to remove.
constexpr int kMemberNames = 1 + SEL_FILES + 1;
char final_dir[PATH_MAX];
char partial[PATH_MAX];
char partial_files[kMemberNames][PATH_MAX];
volatile std::sig_atomic_t partial_made = 0;

const char* member_name(int i) { return i <= SEL_FILES ? SEL_FILE_NAMES[i] : SNAPSHOT_META_NAME; }

// Async-signal-safe: a handler calls it.
void remove_partial() {
  if (partial_made == 0) return;
  for (const char* path : partial_files) (void)unlink(path);
  (void)rmdir(partial);
  partial_made = 0;
}

bool write_member(const SnapshotMember& m) {
  char path[PATH_MAX];
  if (snprintf(path, sizeof path, "%s/%s", partial, m.name) >= static_cast<int>(sizeof path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  FdGuard fd(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(m.mtime), 0}};
  return fd.fd >= 0 && write_all(fd.fd, m.bytes, m.size) == 0 && futimens(fd.fd, times) == 0 &&
         close(fd.release()) == 0;
}

void on_interrupt(int sig) {
  remove_partial();
  (void)signal(sig, SIG_DFL);
  (void)raise(sig);  // ends the program as the signal would have
}

}  // namespace

Status output_tar(int fd, const SnapshotMember* members, int n) {
  static const unsigned char zeros[2 * USTAR_BLOCK] = {};
  unsigned char header[USTAR_BLOCK];
  char name[USTAR_BLOCK];
  (void)snprintf(name, sizeof name, "%s/", kTarDir);
  if (!ustar_header(header, name, 0755, 0, members[0].mtime, true) ||
      write_all(fd, header, sizeof header) != 0) {
    return fail_errno(Step::write);
  }
  for (int i = 0; i < n; ++i) {
    const SnapshotMember& m = members[i];
    (void)snprintf(name, sizeof name, "%s/%s", kTarDir, m.name);  // a few bytes
    const std::size_t pad = (USTAR_BLOCK - m.size % USTAR_BLOCK) % USTAR_BLOCK;
    if (!ustar_header(header, name, kFileMode, static_cast<std::uint32_t>(m.size), m.mtime,
                      false) ||
        write_all(fd, header, sizeof header) != 0 || write_all(fd, m.bytes, m.size) != 0 ||
        write_all(fd, zeros, pad) != 0) {
      return fail_errno(Step::write);
    }
  }
  return write_all(fd, zeros, sizeof zeros) == 0 ? kDone : fail_errno(Step::write);
}

Status output_dir_begin(const char* dir) {
  std::size_t length = strlen(dir);
  while (length > 1 && dir[length - 1] == '/') --length;  // "snap/" is "snap"
  const int name_length = static_cast<int>(length);
  bool fits = length < sizeof final_dir &&
              snprintf(partial, sizeof partial, "%.*s.partial-%ld", name_length, dir,
                       static_cast<long>(getpid())) < static_cast<int>(sizeof partial);
  for (int i = 0; i < kMemberNames; ++i) {
    fits = fits && snprintf(partial_files[i], sizeof partial_files[i], "%s/%s", partial,
                            member_name(i)) < static_cast<int>(sizeof partial_files[i]);
  }
  if (!fits) return Status{Step::too_long, ENAMETOOLONG, dir, PATH_MAX};
  (void)snprintf(final_dir, sizeof final_dir, "%.*s", name_length, dir);
  struct stat st {};
  if (lstat(final_dir, &st) == 0) return Status{Step::open, EEXIST, dir, 0};
  for (const int sig : {SIGHUP, SIGINT, SIGTERM}) (void)signal(sig, on_interrupt);
  if (mkdir(partial, 0755) != 0) return fail_errno(Step::open, dir);
  partial_made = 1;
  return kDone;
}

Status output_dir_finish(const SnapshotMember* members, int n) {
  int written = 0;
  while (written < n && write_member(members[written])) ++written;
  // A directory that appeared at `dir` meanwhile is replaced only when it is empty.
  if (written == n && rename(partial, final_dir) == 0) {
    partial_made = 0;
    return kDone;
  }
  const Status failed = fail_errno(written == n ? Step::rename : Step::write, final_dir);
  remove_partial();
  return failed;
}

void output_dir_abandon() { remove_partial(); }
