#include "store/sel_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "lib/posix.h"

namespace {

constexpr useconds_t kLockPollMicros = 10;

}  // namespace

Status sel_lock_take(const char* path, SelLock* lock, const volatile std::sig_atomic_t* stop) {
  FdGuard fd(open_lock_file(path, O_WRONLY));
  if (fd.fd < 0) return fail_errno(Step::open, path);
  while (lock_whole_file(fd.fd) < 0) {
    if (errno != EACCES && errno != EAGAIN) return fail_errno(Step::lock, path);
    if (stop != nullptr && *stop != 0) return fail_data(Step::stopped, path);
    usleep(kLockPollMicros);
  }
  Status marked = set_cloexec(fd.fd);
  if (!marked.ok()) {
    marked.path = path;
    return marked;
  }
  lock->handle_ = std::move(fd);
  return kDone;
}

int sel_release_lock(SelLock& lock) {
  if (lock.handle_.fd < 0) return -1;
  return close(lock.handle_.release());
}

Status sel_info_take(SelInfo* info) {
  SelLock lock;
  const Status locked = sel_lock_take(SEL_LOCK_INFO, &lock);
  if (!locked.ok()) return locked;
  return sel_read_info(SEL_INFO_FILE, info);
}
