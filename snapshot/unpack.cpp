#include "snapshot/unpack.h"

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "snapshot/archive.h"
#include "snapshot/ustar.h"

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

// Removes the directory at the end, also when a signal ends the program.
void remove_at_end() {
  static bool handled = false;
  if (handled) return;
  // Neither can fail here: one exit handler, and signals that may be caught.
  (void)atexit(remove_unpacked);
  for (const int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) (void)signal(sig, on_fatal_signal);
  handled = true;
}

}  // namespace

Status unpack_archive(int fd, const char* prefix, const char** dir, char (&member)[PATH_MAX]) {
  remove_unpacked();  // one archive at a time
  const char* tmp = getenv("TMPDIR");
  if (tmp == nullptr || tmp[0] == '\0') tmp = "/tmp";
  if (snprintf(unpacked, sizeof unpacked, "%s/%s.XXXXXX", tmp, prefix) >=
      static_cast<int>(sizeof unpacked)) {
    return fail_data(Step::too_long, tmp, PATH_MAX);
  }
  if (mkdtemp(unpacked) == nullptr) return fail_errno(Step::open, tmp);
  unpacked_made = 1;
  remove_at_end();
  *dir = unpacked;
  return archive_extract_store(fd, unpacked, member);
}

void unpack_release() { remove_unpacked(); }
