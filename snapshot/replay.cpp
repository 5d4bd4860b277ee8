#include "snapshot/replay.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "lib/posix.h"

Status Replay::start(int fd, std::string_view head, Replay* replay) {
  int pipe_fds[2] = {-1, -1};
  if (pipe(pipe_fds) != 0) return fail_errno(Step::process);
  FdGuard read_end(pipe_fds[0]), write_end(pipe_fds[1]);
  if (!set_cloexec(read_end.fd).ok()) return fail_errno(Step::process);
  const pid_t child = fork();
  if (child == 0) {
    // The parent's handlers remove its temporary directory: not the child's to do.
    for (const int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) (void)signal(sig, SIG_DFL);
    (void)close(read_end.fd);  // so that a reader that stops ends the writing
    char buf[64 * 1024];
    bool ok = write_all(write_end.fd, head.data(), head.size()) == 0;
    while (ok) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      ok = write_all(write_end.fd, buf, static_cast<std::size_t>(n)) == 0;
    }
    _exit(ok ? 0 : 1);
  }
  if (child < 0) return fail_errno(Step::process);
  replay->fd_ = read_end.release();
  replay->child_ = child;
  return kDone;
}

Replay::~Replay() {
  if (fd_ >= 0) (void)close(fd_);
  if (child_ < 0) return;
  int status = 0;
  while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
  }
}
