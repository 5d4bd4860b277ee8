#include "lib/session_lock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "lib/posix.h"
#include "lib/session_fd.h"
#include "lib/session_takeover.h"

namespace {

// Written by the acquirer and read by the signal handler.
volatile SessionCallback takeover_callback = nullptr;

struct CodeText {
  int code;
  std::string_view text;
};

constexpr auto kCodeTexts = std::to_array<CodeText>({
    {SESSION_E_OPEN, "can't open lock file"},
    {SESSION_E_STAT, "can't stat lock file"},
    {SESSION_E_LOCK, "can't acquire lock with error"},
    {SESSION_E_READ, "can't read lock file"},
    {SESSION_E_DELIMITER, "can't find delimeter"},
    {SESSION_E_PID, "can't touch pid"},
    {SESSION_E_MESSAGE, "can't message configd"},
    {SESSION_E_RETAKE, "can't acquire lock"},
    {SESSION_E_GETFD, "can't read exec close"},
    {SESSION_E_SETFD, "can't set exec close"},
    {SESSION_E_SEEK, "can't seek lock file"},
    {SESSION_E_TRUNCATE, "can't truncate lock file"},
    {SESSION_E_WRITE, "can't write lock file"},
    {SESSION_E_REOPEN, "can't reopen lock file"},
    {SESSION_E_ALLOC, "can't allocate packet buffer"},
});
static_assert(kCodeTexts.size() == 15);

const char* user_name() {
  const char* user = cuserid(nullptr);
  return user != nullptr ? user : "";
}

}  // namespace

const char* session_lock_strerror(int code) {
  for (const CodeText& row : kCodeTexts) {
    if (row.code == code) return row.text.data();
  }
  return "unknown";
}

// Ends the process without running stdio: a holder whose output is blocked would
// otherwise hang in the flush with its locks held, and a flush interrupted in the
// middle can write its buffer twice.
void session_lock_on_sigusr1(int signo) {
  const SessionCallback callback = takeover_callback;
  if (callback == nullptr) _exit(0);  // ending the process drops the lock
  callback(signo);
}

int session_lock_write_owner(const char* user, int pid) {
  const int fd = session_lock_fd();
  if (lseek(fd, 0, SEEK_SET) < 0) return SESSION_E_SEEK;
  if (ftruncate(fd, 0) < 0) return SESSION_E_TRUNCATE;
  std::array<char, SESSION_OWNER_MAX + 1> owner{};
  // A longer owner text is cut to SESSION_OWNER_MAX characters, as its readers expect.
  (void)snprintf(owner.data(), owner.size(), "%s,%d", user, pid);
  const std::size_t len = std::string_view(owner.data()).size();
  if (write(fd, owner.data(), len) < static_cast<ssize_t>(len)) return SESSION_E_WRITE;
  return SESSION_HELD;
}

int session_lock_acquire(const char* name, SessionCallback callback, int ask,
                         const char* question) {
  if (session_lock_fd() != -1) return SESSION_E_REOPEN;

  std::array<char, SESSION_LOCK_PATH_MAX + 1> path{};
  // As much of the name as fits: every tool cuts a long name the same way.
  (void)snprintf(path.data(), path.size(), "%s%s", SESSION_LOCK_DIR, name);
  const int fd = session_lock_open(path.data());
  if (fd < 0) return SESSION_E_OPEN;

  struct stat st {};
  if (fstat(fd, &st) < 0) {
    session_lock_drop_fd();
    return SESSION_E_STAT;
  }

  if (lock_whole_file(fd) < 0) {
    const bool held_elsewhere = errno == EACCES || errno == EAGAIN;
    if (!held_elsewhere || ask == 0) {
      session_lock_drop_fd();
      return SESSION_E_LOCK;
    }
    const int taken = session_lock_take_over(st.st_size, name, question);
    if (taken != SESSION_HELD) return taken;
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

int session_lock_ask(const char* name, SessionCallback callback) {
  return session_lock_acquire(name, callback, 1, nullptr);
}

int session_lock_ask_prompt(const char* name, SessionCallback callback, const char* question) {
  return session_lock_acquire(name, callback, 1, question);
}

int session_lock_release() {
  (void)signal(SIGUSR1, SIG_DFL);
  takeover_callback = nullptr;
  return session_lock_close();
}
