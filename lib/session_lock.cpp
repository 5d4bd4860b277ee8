#include "lib/session_lock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "lib/session_state.h"

namespace {

int lock_fd = -1;
// Written by the acquirer and read by the signal handler.
volatile SessionCallback takeover_callback = nullptr;

constexpr auto kErrorTexts = std::to_array<std::string_view>({
    "can't open lock file",          // -1
    "can't stat lock file",          // -2
    "can't acquire lock with error", // -3
    "can't read lock file",          // -4
    "can't find delimeter",          // -5
    "can't touch pid",               // -6
    "can't message configd",         // -7
    "can't acquire lock",            // -8
    "can't read exec close",         // -9
    "can't set exec close",          // -10
    "can't seek lock file",          // -11
    "can't truncate lock file",      // -12
    "can't write lock file",         // -13
    "can't reopen lock file",        // -14
    "can't allocate packet buffer",  // -15
});
static_assert(kErrorTexts.size() == 15);

const char* user_name() {
  const char* user = cuserid(nullptr);
  return user != nullptr ? user : "";
}

}  // namespace

int session_lock_request(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fcntl(fd, F_SETLK, &fl);
}

int session_lock_fd() { return lock_fd; }

void session_lock_drop_fd() {
  const int saved = errno;
  close(lock_fd);
  lock_fd = -1;
  errno = saved;
}

const char* session_lock_strerror(int code) {
  if (code < -static_cast<int>(kErrorTexts.size()) || code > -1) return "unknown";
  return kErrorTexts[static_cast<std::size_t>(-code - 1)].data();
}

void session_lock_on_sigusr1(int signo) {
  const SessionCallback callback = takeover_callback;
  if (callback == nullptr) exit(0);  // ending the process drops the lock
  callback(signo);
}

int session_lock_write_owner(const char* user, int pid) {
  if (lseek(lock_fd, 0, SEEK_SET) < 0) return -11;
  if (ftruncate(lock_fd, 0) < 0) return -12;
  std::array<char, SESSION_OWNER_MAX + 1> owner{};
  // A longer owner text is cut to SESSION_OWNER_MAX characters, as its readers expect.
  (void)snprintf(owner.data(), owner.size(), "%s,%d", user, pid);
  const std::size_t len = std::string_view(owner.data()).size();
  if (write(lock_fd, owner.data(), len) < static_cast<ssize_t>(len)) return -13;
  return 1;
}

int session_lock_acquire(const char* name, SessionCallback callback, int ask,
                         const char* question) {
  if (lock_fd != -1) return -14;

  std::array<char, SESSION_LOCK_PATH_MAX + 1> path{};
  // As much of the name as fits: every tool cuts a long name the same way.
  (void)snprintf(path.data(), path.size(), "%s%s", SESSION_LOCK_DIR, name);

  const mode_t old_mask = umask(0);
  lock_fd = open(path.data(), O_RDWR | O_CREAT, 0666);
  umask(old_mask);
  if (lock_fd < 0) {
    lock_fd = -1;
    return -1;
  }

  struct stat st {};
  if (fstat(lock_fd, &st) < 0) {
    session_lock_drop_fd();
    return -2;
  }

  if (session_lock_request(lock_fd) < 0) {
    const bool held_elsewhere = errno == EACCES || errno == EAGAIN;
    if (!held_elsewhere || ask == 0) {
      session_lock_drop_fd();
      return -3;
    }
    const int taken = session_lock_take_over(st.st_size, name, question);
    if (taken != 1) return taken;
  }

  // The handler goes in before the callback, so a signal in between ends the process.
  // signal() fails only for a bad signal number or handler, and neither can be.
  (void)signal(SIGUSR1, session_lock_on_sigusr1);
  takeover_callback = callback;

  return session_lock_write_owner(user_name(), getpid());
}

int session_lock_try(const char* name, SessionCallback callback) {
  return session_lock_acquire(name, callback, 0, nullptr);
}

int session_lock_release() {
  (void)signal(SIGUSR1, SIG_DFL);
  takeover_callback = nullptr;
  const int result = close(lock_fd);
  if (result == 0) lock_fd = -1;
  return result;
}
