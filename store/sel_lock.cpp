#include <cerrno>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include "lib/log.h"
#include "lib/posix.h"
#include "store/sel_store.h"

namespace {

constexpr useconds_t kLockPollMicros = 10;

}  // namespace

int sel_get_lock(const char* path) { return sel_get_lock_unless(path, nullptr); }

int sel_get_lock_unless(const char* path, const volatile std::sig_atomic_t* stop) {
  FdGuard fd(open_lock_file(path, O_WRONLY));
  if (fd.fd < 0) {
    log_msg_errno(LOG_ERR, "error opening %s", path);
    return -1;
  }
  while (lock_whole_file(fd.fd) < 0) {
    if (errno != EACCES && errno != EAGAIN) {
      log_msg_errno(LOG_ERR, "error locking %s", path);
      return -1;
    }
    if (stop != nullptr && *stop != 0) return -1;
    usleep(kLockPollMicros);
  }
  switch (set_cloexec(fd.fd)) {
    case -1: log_msg_errno(LOG_ERR, "fcntl F_GETFD error"); return -1;
    case -2: log_msg_errno(LOG_ERR, "fcntl F_SETFD error"); return -1;
    default: return fd.release();
  }
}

int sel_release_lock(int handle) { return close(handle); }
