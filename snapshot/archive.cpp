#include "snapshot/archive.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "lib/posix.h"
#include "snapshot/ustar.h"

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

// The child that inflates an archive and the pipe that its tar bytes are read from.
// The pipe is closed (a child still writing ends on it) and the child waited for when
// it goes.
class Gunzip {
 public:
  // Starts the child that inflates `in` (a plain archive goes through as it is).
  static Status start(int in, Gunzip* g);
  Gunzip() = default;
  ~Gunzip() { (void)finish(); }
  Gunzip(const Gunzip&) = delete;
  Gunzip& operator=(const Gunzip&) = delete;
  Gunzip(Gunzip&&) = delete;
  Gunzip& operator=(Gunzip&&) = delete;
  int fd() const { return fd_; }
  // Closes the pipe and waits for the child: what it says of the compressed stream.
  Status finish();

 private:
  int fd_ = -1;
  pid_t child_ = -1;
};

Status Gunzip::start(int in, Gunzip* g) {
  const FdGuard copy(dup(in));
  int pipe_fds[2] = {-1, -1};
  if (copy.fd < 0 || pipe(pipe_fds) != 0) return fail_errno(Step::process);
  FdGuard read_end(pipe_fds[0]), write_end(pipe_fds[1]);
  if (!set_cloexec(read_end.fd).ok()) return fail_errno(Step::process);
  const pid_t child = fork();
  if (child == 0) {
    // The parent's handlers remove its temporary directory: not the child's to do.
    for (const int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) (void)signal(sig, SIG_DFL);
    (void)close(read_end.fd);  // so that a reader that stops ends the writing
    _exit(inflate_into(copy.fd, write_end.fd));
  }
  if (child < 0) return fail_errno(Step::process);
  g->fd_ = read_end.release();
  g->child_ = child;
  return kDone;
}

Status Gunzip::finish() {
  if (fd_ >= 0) (void)close(fd_);
  fd_ = -1;
  if (child_ < 0) return kDone;
  int status = 0;
  while (waitpid(child_, &status, 0) < 0) {
    if (errno != EINTR) return kDone;
  }
  child_ = -1;
  if (!WIFEXITED(status)) return kDone;
  switch (WEXITSTATUS(status)) {
    case kWhole: return kDone;
    case kCutShort: return fail_data(Step::gzip_cut_short);
    case kUnreadable: return fail_data(Step::read);
    default: return fail_data(Step::gzip_damaged);
  }
}

}  // namespace

Status archive_extract_store(int fd, const char* dir, char (&member)[PATH_MAX]) {
  Gunzip gz;
  if (const Status started = Gunzip::start(fd, &gz); !started.ok()) return started;
  const Status extracted = ustar_extract_store(gz.fd(), dir, member);
  // A damaged compressed stream is what made the archive end early.
  const Status inflated = gz.finish();
  return !extracted.ok() && !inflated.ok() ? inflated : extracted;
}

#else

Status archive_extract_store(int fd, const char* dir, char (&member)[PATH_MAX]) {
  return ustar_extract_store(fd, dir, member);
}

#endif
