#include "workstation/selexport/store_dir.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/archive.h"
#include "common/ustar.h"
#include "lib/posix.h"

namespace {

// The temporary directory of the archive being read; `unpacked_made` says that there is
// one to remove, so that a signal never sees a path half written.
char unpacked[PATH_MAX];
volatile std::sig_atomic_t unpacked_made = 0;

void remove_unpacked() {
  if (unpacked_made != 0) ustar_remove_store(unpacked);
  unpacked_made = 0;
}

void on_fatal_signal(int sig) {
  remove_unpacked();
  (void)signal(sig, SIG_DFL);
  (void)raise(sig);  // ends the program as the signal would have
}

}  // namespace

StoreDir store_open(const char* dir, const char* name) {
  StoreDir store{dir, name, SEL_INFO_UNREAD, false, ENAMETOOLONG};
  char path[PATH_MAX];
  if (sel_info_path(path, sizeof path, dir)) {
    store.info_found = sel_read_info(path, &store.info).ok();
    store.info_errno = store.info_found ? 0 : errno;
  }
  return store;
}

bool store_present(const char* dir) {
  char path[PATH_MAX];
  struct stat st {};
  if (sel_info_path(path, sizeof path, dir) && lstat(path, &st) == 0) return true;
  for (int file = 0; file < SEL_FILES; ++file) {
    if (sel_record_path(path, sizeof path, dir, file) && lstat(path, &st) == 0) return true;
  }
  return false;
}

const char* store_unpack(const char* path, const char* name, FILE* err) {
  const FdGuard in(path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : dup(STDIN_FILENO));
  if (in.fd < 0) {
    fprintf(err, "selexport: %s: %s\n", name, strerror(errno));
    return nullptr;
  }
  const char* tmp = getenv("TMPDIR");
  char dir[PATH_MAX];
  if (snprintf(dir, sizeof dir, "%s/selexport.XXXXXX",
               tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") >= static_cast<int>(sizeof dir) ||
      mkdtemp(dir) == nullptr) {
    fprintf(err, "selexport: cannot make a temporary directory to unpack %s in: %s\n", name,
            strerror(errno));
    return nullptr;
  }
  remove_unpacked();  // one archive at a time
  memcpy(unpacked, dir, sizeof unpacked);
  unpacked_made = 1;
  static bool handled = false;
  if (!handled) {
    // Neither can fail here: one exit handler, and signals that may be caught.
    (void)atexit(remove_unpacked);
    for (const int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) (void)signal(sig, on_fatal_signal);
    handled = true;
  }
  char why[PATH_MAX + 100];
  if (archive_extract_store(in.fd, unpacked, why, sizeof why) != 0) {
    fprintf(err, "selexport: %s %s\n", name, why);
    return nullptr;
  }
  return unpacked;
}

void store_release() { remove_unpacked(); }
