// sel_ask: asks for the "sel" session the way an interactive tool would, taking it
// over from its holder on an answer of y. Prints the result code and whether the
// descriptor that holds the lock is close-on-exec (-1 when none holds it), then ends,
// which drops the lock. An argument replaces the standard question.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "lib/session_lock.h"

namespace {

// The descriptor open on the lock file, found the way any observer would find it.
int lock_descriptor() {
  constexpr const char* kLockFile = "/velmar/run/sel";
  for (int fd = 0; fd < 256; ++fd) {
    char link[64];
    char target[128] = {};
    (void)snprintf(link, sizeof link, "/proc/self/fd/%d", fd);  // fits: fd < 256
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0 && strcmp(target, kLockFile) == 0) return fd;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int result = argc > 1 ? session_lock_ask_prompt("sel", nullptr, argv[1])
                              : session_lock_ask("sel", nullptr);
  const int fd = lock_descriptor();
  int cloexec = -1;
  if (fd >= 0) cloexec = (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0 ? 1 : 0;
  printf("\nresult %d, close-on-exec %d\n", result, cloexec);
  session_lock_release();
  return 0;
}
