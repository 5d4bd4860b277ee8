#include "workstation/sel-view/run.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "lib/posix.h"

extern char** environ;

namespace {

// Waits for `child`: its exit status, or 128 + the signal that ended it.
int wait_for(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts argv[0] with `actions` for its descriptors: its pid, or -1 (errno set).
pid_t start(char* const* argv, const posix_spawn_file_actions_t* actions) {
  pid_t child = -1;
  const int error = posix_spawnp(&child, argv[0], actions, nullptr, argv, environ);
  if (error == 0) return child;
  errno = error;
  return -1;
}

}  // namespace

int run_program(char* const* argv) {
  const pid_t child = start(argv, nullptr);
  return child < 0 ? -1 : wait_for(child);
}

int run_captured(char* const* argv, char* text, std::size_t size) {
  int fds[2] = {-1, -1};
  if (pipe(fds) != 0) return -1;
  FdGuard read_end(fds[0]);
  pid_t child = -1;
  {
    const FdGuard write_end(fds[1]);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    (void)posix_spawn_file_actions_addclose(&actions, read_end.fd);
    (void)posix_spawn_file_actions_adddup2(&actions, write_end.fd, STDOUT_FILENO);
    (void)posix_spawn_file_actions_adddup2(&actions, write_end.fd, STDERR_FILENO);
    (void)posix_spawn_file_actions_addclose(&actions, write_end.fd);
    child = start(argv, &actions);
    (void)posix_spawn_file_actions_destroy(&actions);
  }
  if (child < 0) return -1;
  const ssize_t got = read_full(read_end.fd, text, size - 1);
  std::size_t n = got < 0 ? 0 : static_cast<std::size_t>(got);
  while (n > 0 && text[n - 1] == '\n') --n;
  text[n] = '\0';
  (void)close(read_end.release());  // a child still writing ends on the closed pipe
  return wait_for(child);
}
