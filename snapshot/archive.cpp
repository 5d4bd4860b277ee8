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

constexpr std::size_t kChunk = std::size_t{64} * 1024;

// Reads what has arrived of `in`, up to `size` bytes: never waits for more than one
// byte, so that what a writer sent goes on though it keeps its end open. 0 at the end,
// -1 on an error.
ssize_t read_some(int in, unsigned char* buf, std::size_t size) {
  for (;;) {
    const ssize_t n = read(in, buf, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool gzip_start(const unsigned char* buf, std::size_t have) {
  return have >= 2 && buf[0] == 0x1F && buf[1] == 0x8B;
}

// Passes `in` to `out` as it is, the `have` bytes in `buf` first.
int pass_through(int in, int out, unsigned char* buf, ssize_t have) {
  for (; have > 0; have = read_some(in, buf, kChunk)) {
    // The reader stopped reading: what it read is what counts.
    if (write_all(out, buf, static_cast<std::size_t>(have)) != 0) return kWhole;
  }
  return have < 0 ? kUnreadable : kWhole;
}

// After a gzip member's end: whether another follows (gzip -c a b), as gzip reads them.
// Anything else after it is not read.
bool next_member(int in, z_stream& z, unsigned char* buf) {
  if (z.avail_in == 0) {
    const ssize_t n = read_some(in, buf, kChunk);
    if (n <= 0) return false;
    z.next_in = buf;
    z.avail_in = static_cast<uInt>(n);
  }
  return z.next_in[0] == 0x1F && inflateReset(&z) == Z_OK;
}

// Inflates the gzip stream on `in` into `out`, the `have` bytes in `buf` first, handing
// on what it has inflated of every piece as that arrives.
int inflate_stream(int in, int out, unsigned char* buf, ssize_t have) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return kUnreadable;
  z.next_in = buf;
  z.avail_in = static_cast<uInt>(have);
  static unsigned char inflated[kChunk];
  int result = kWhole;
  for (;;) {
    if (z.avail_in == 0) {
      const ssize_t n = read_some(in, buf, kChunk);
      if (n <= 0) {
        result = n < 0 ? kUnreadable : kCutShort;
        break;
      }
      z.next_in = buf;
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = inflated;
    z.avail_out = sizeof inflated;
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (write_all(out, inflated, sizeof inflated - z.avail_out) != 0) break;
    if (rc == Z_STREAM_END && !next_member(in, z, buf)) break;
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      result = kDamaged;
      break;
    }
  }
  (void)inflateEnd(&z);
  return result;
}

// Inflates `in` into `out`, or passes it through as it is when it is no gzip stream.
int inflate_into(int in, int out) {
  static unsigned char buf[kChunk];
  ssize_t have = 0;
  while (have < 2) {
    const ssize_t n = read_some(in, buf + have, kChunk - static_cast<std::size_t>(have));
    if (n < 0) return kUnreadable;
    if (n == 0) break;
    have += n;
  }
  return gzip_start(buf, static_cast<std::size_t>(have)) ? inflate_stream(in, out, buf, have)
                                                          : pass_through(in, out, buf, have);
}

// The child that inflates an archive and the pipe that its tar bytes are read from.
// The pipe is closed, the child stopped and waited for when it goes.
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
  // Closes the pipe, stops the child and waits for it: what it said of the compressed
  // stream, if it had ended by then.
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
  // Whatever it still reads is not wanted: the tar's end was read, or the archive is
  // refused. A writer that never closes (ssh that hangs, nc -l) would keep it reading.
  // A child that ended by itself, as one that closed the pipe early has, keeps its
  // status.
  (void)kill(child_, SIGKILL);
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
