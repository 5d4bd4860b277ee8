#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "lib/log.h"
#include "store/sel_store.h"

namespace {

constexpr useconds_t kLockPollMicros = 10;

}  // namespace

int sel_get_lock(const char* path) {
  // With the mask cleared, a lock file made here is writable by every user.
  const mode_t old_mask = umask(0);
  const int fd = open(path, O_WRONLY | O_CREAT, 0666);
  umask(old_mask);
  if (fd < 0) {
    log_msg_errno(LOG_ERR, "error opening %s", path);
    return -1;
  }

  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  while (fcntl(fd, F_SETLK, &fl) < 0) {
    if (errno != EACCES && errno != EAGAIN) {
      log_msg_errno(LOG_ERR, "error locking %s", path);
      close(fd);
      return -1;
    }
    usleep(kLockPollMicros);
  }

  const int flags = fcntl(fd, F_GETFD);
  if (flags < 0) {
    log_msg_errno(LOG_ERR, "fcntl F_GETFD error");
    close(fd);
    return -1;
  }
  if (fcntl(fd, F_SETFD, flags | FD_CLOEXEC) < 0) {
    log_msg_errno(LOG_ERR, "fcntl F_SETFD error");
    close(fd);
    return -1;
  }
  return fd;
}

int sel_release_lock(int handle) { return close(handle); }
