#include "lib/session_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "lib/posix.h"

namespace {

int lock_fd = -1;

}  // namespace

int session_lock_fd() { return lock_fd; }

int session_lock_open(const char* path) {
  lock_fd = open_lock_file(path, O_RDWR);
  if (lock_fd < 0) lock_fd = -1;
  return lock_fd;
}

void session_lock_drop_fd() {
  const int saved = errno;
  if (lock_fd >= 0) close(lock_fd);
  lock_fd = -1;
  errno = saved;
}

int session_lock_close() {
  const int result = close(lock_fd);
  if (result == 0) lock_fd = -1;
  return result;
}
