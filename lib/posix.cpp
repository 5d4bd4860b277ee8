#include "lib/posix.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int open_lock_file(const char* path, int flags) {
  const mode_t old_mask = umask(0);
  const int fd = open_regular(path, flags | O_CREAT | O_NOFOLLOW, 0666);
  const int error = errno;
  umask(old_mask);
  errno = error;
  return fd;
}

namespace {

// An exclusive write lock over the whole file, to any end.
struct flock whole_file() {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fl;
}

}  // namespace

int lock_whole_file(int fd) {
  struct flock fl = whole_file();
  return fcntl(fd, F_SETLK, &fl);
}

int lock_holder(int fd) {
  struct flock fl = whole_file();
  if (fcntl(fd, F_GETLK, &fl) != 0) return -1;
  // An open file description's lock reports the pid -1: no process to name.
  return fl.l_type == F_UNLCK || fl.l_pid < 0 ? 0 : static_cast<int>(fl.l_pid);
}

Status set_cloexec(int fd) {
  const int flags = fcntl(fd, F_GETFD);
  if (flags < 0) return Status{Step::fdflags, errno, nullptr, F_GETFD};
  if (fcntl(fd, F_SETFD, flags | FD_CLOEXEC) < 0)
    return Status{Step::fdflags, errno, nullptr, F_SETFD};
  return kDone;
}

// O_NONBLOCK stays set: it changes nothing for a regular file.
int open_regular(const char* path, int flags, int mode) {
  const int fd = open(path, flags | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat st {};
  const bool known = fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int error = known ? EINVAL : errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int write_all(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      errno = ENOSPC;
      return -1;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

namespace {

// The directory that holds `path`: a rename is only lasting once it is on the disk.
int fsync_dir_of(const char* path) {
  char dir[PATH_MAX];
  const char* slash = strrchr(path, '/');
  std::size_t len = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path);
  if (slash == path) len = 1;
  if (len >= sizeof dir) {
    errno = ENAMETOOLONG;
    return -1;
  }
  if (len == 0) {
    dir[len++] = '.';
  } else {
    memcpy(dir, path, len);
  }
  dir[len] = '\0';
  const FdGuard d(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.fd < 0) return -1;
  return fsync(d.fd);
}

}  // namespace

int replace_file_durably(const char* path, const void* data, std::size_t size) {
  char temp[PATH_MAX];
  if (snprintf(temp, sizeof temp, "%s.new", path) >= static_cast<int>(sizeof temp)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  // Whatever lies at the temporary name goes: a FIFO planted there would hang the open.
  if (unlink(temp) != 0 && errno != ENOENT) return -1;
  const int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && write_all(fd, data, size) == 0 && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) ok = false;
  ok = ok && rename(temp, path) == 0;
  if (!ok) {
    const int error = errno;
    if (fd >= 0) unlink(temp);
    errno = error;
    return -1;
  }
  return fsync_dir_of(path);
}

ssize_t read_full(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

std::int32_t held_at_int(long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

unsigned guard_std_fds() {
  unsigned closed = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    closed |= 1U << fd;
    // The lowest free descriptor is this one, as the ones below it are open.
    if (open("/dev/null", O_RDWR) != fd) return closed | STD_FDS_UNGUARDED;
  }
  return closed;
}

FdGuard::~FdGuard() {
  if (fd >= 0) close(fd);
}

FdGuard& FdGuard::operator=(FdGuard&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) close(fd);
    fd = other.release();
  }
  return *this;
}
