#include "common/archive.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/ustar.h"
#include "lib/posix.h"

#if SEL_HAVE_ZLIB
#include <zlib.h>

namespace {

// How the child ends: what the parent is to say of the compressed stream.
enum : int { kWhole = 0, kDamaged = 1, kCutShort = 2, kUnreadable = 3 };

// Inflates `in` into `out` (gzread passes an uncompressed file through as it is).
int inflate_into(int in, int out) {
  gzFile gz = gzdopen(in, "rb");
  if (gz == nullptr) return kUnreadable;
  unsigned char buf[64 * 1024];
  int n = 0;
  while ((n = gzread(gz, buf, sizeof buf)) > 0) {
    // The reader stopped reading: what it read is what counts.
    if (write_all(out, buf, static_cast<std::size_t>(n)) != 0) break;
  }
  int error = Z_OK;
  (void)gzerror(gz, &error);
  (void)gzclose(gz);
  if (n > 0 || error == Z_OK) return kWhole;
  return error == Z_BUF_ERROR ? kCutShort : error == Z_ERRNO ? kUnreadable : kDamaged;
}

struct Gunzip {
  int fd = -1;       // the archive's tar bytes are read here
  pid_t child = -1;  // the process that inflates
};

// Starts the child that inflates `in` (a plain archive goes through as it is).
int gunzip_open(int in, Gunzip* g) {
  const int copy = dup(in);
  int pipe_fds[2] = {-1, -1};
  if (copy < 0 || pipe(pipe_fds) != 0 || !set_cloexec(pipe_fds[0]).ok()) {
    for (const int fd : {copy, pipe_fds[0], pipe_fds[1]}) {
      if (fd >= 0) (void)close(fd);
    }
    return -1;
  }
  const pid_t child = fork();
  if (child == 0) {
    // The parent's handlers remove its temporary directory: not the child's to do.
    for (const int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) (void)signal(sig, SIG_DFL);
    (void)close(pipe_fds[0]);
    _exit(inflate_into(copy, pipe_fds[1]));
  }
  (void)close(copy);
  (void)close(pipe_fds[1]);
  if (child < 0) {
    (void)close(pipe_fds[0]);
    return -1;
  }
  g->fd = pipe_fds[0];
  g->child = child;
  return 0;
}

// Closes the pipe (a child still writing ends on it) and waits for the child. 0, or -1
// with the reason in `why` when the compressed stream was damaged or cut short.
int gunzip_close(Gunzip* g, char* why, std::size_t why_size) {
  if (g->fd >= 0) (void)close(g->fd);  // a child still writing ends on the closed pipe
  g->fd = -1;
  if (g->child < 0) return 0;
  int status = 0;
  while (waitpid(g->child, &status, 0) < 0) {
    if (errno != EINTR) return 0;
  }
  g->child = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kWhole) return 0;
  switch (WEXITSTATUS(status)) {
    case kCutShort:
      (void)snprintf(why, why_size, "ends inside its gzip stream: the archive is cut short");
      break;
    case kUnreadable: (void)snprintf(why, why_size, "cannot be read"); break;
    default: (void)snprintf(why, why_size, "is a damaged gzip file"); break;
  }
  return -1;
}

}  // namespace

int archive_extract_store(int fd, const char* dir, char* why, std::size_t why_size) {
  Gunzip gz;
  if (gunzip_open(fd, &gz) != 0) {
    (void)snprintf(why, why_size, "cannot be read: %s", strerror(errno));
    return -1;
  }
  const int extracted = ustar_extract_store(gz.fd, dir, why, why_size);
  // A damaged compressed stream is what made the archive end early.
  char inflate_why[100];
  if (gunzip_close(&gz, inflate_why, sizeof inflate_why) != 0 && extracted != 0) {
    (void)snprintf(why, why_size, "%s", inflate_why);
  }
  return extracted;
}

#else

int archive_extract_store(int fd, const char* dir, char* why, std::size_t why_size) {
  return ustar_extract_store(fd, dir, why, why_size);
}

#endif
