#include "store/sel_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "lib/posix.h"

namespace {

constexpr useconds_t kLockPollMicros = 10;

int failed(int* failed_step, int step) {
  *failed_step = step;
  return -1;
}

}  // namespace

const char* sel_lock_step_text(int step) {
  switch (step) {
    case SEL_LOCK_E_OPEN: return "cannot open";
    case SEL_LOCK_E_LOCK: return "cannot lock";
    case SEL_LOCK_E_GETFD: return "cannot read the descriptor flags of";
    case SEL_LOCK_E_SETFD: return "cannot set close-on-exec on";
    default: return "stopped waiting for";
  }
}

int sel_lock_take(const char* path, const volatile std::sig_atomic_t* stop, int* failed_step) {
  FdGuard fd(open_lock_file(path, O_WRONLY));
  if (fd.fd < 0) return failed(failed_step, SEL_LOCK_E_OPEN);
  while (lock_whole_file(fd.fd) < 0) {
    if (errno != EACCES && errno != EAGAIN) return failed(failed_step, SEL_LOCK_E_LOCK);
    if (stop != nullptr && *stop != 0) return failed(failed_step, SEL_LOCK_E_STOPPED);
    usleep(kLockPollMicros);
  }
  switch (set_cloexec(fd.fd)) {
    case -1: return failed(failed_step, SEL_LOCK_E_GETFD);
    case -2: return failed(failed_step, SEL_LOCK_E_SETFD);
    default: return fd.release();
  }
}

int sel_release_lock(int handle) { return close(handle); }

int sel_info_take(SelInfo* info, int* failed_step) {
  const int lock = sel_lock_take(SEL_LOCK_INFO, nullptr, failed_step);
  if (lock < 0) return SEL_INFO_NO_LOCK;
  const int result = sel_read_info(SEL_INFO_FILE, info) == 0 ? SEL_INFO_READ : SEL_INFO_NO_FILE;
  const int error = errno;
  sel_release_lock(lock);
  errno = error;
  return result;
}
