// Small POSIX pieces that the session lock, the store's locks and the tools share. Those
// that stand for one system call (an open, a lock, a write) answer as the call does: a
// descriptor or 0, or -1 with errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "lib/status.h"

// Opens the lock file `path` with `flags`, creating it with mode 0666 whatever the
// caller's file-creation mask (which is the same afterwards): lock files are shared by
// every user of the module. A symlink is not followed and what is not a regular file
// is refused, so a planted link or FIFO can neither redirect a write nor hang the open.
// -1 with errno set on failure.
int open_lock_file(const char* path, int flags);

// Asks once, without waiting, for an exclusive write lock over the whole file (to any
// end). fcntl()'s result: -1 with EACCES or EAGAIN when another process holds one.
int lock_whole_file(int fd);

// The process that holds a lock on the file of `fd` that would keep a whole-file write
// lock out, as fcntl(F_GETLK) names it: its pid, or 0 when there is none (or the lock
// belongs to no process). -1 with errno set when the question fails.
int lock_holder(int fd);

// Marks `fd` close-on-exec. A failed Step::fdflags has the fcntl() command that failed
// (F_GETFD or F_SETFD) as its value.
Status set_cloexec(int fd);

// Opens `path` with `flags`, refusing what is not a regular file: a FIFO, a device or a
// directory would block or read as endless records. O_NONBLOCK is added for the open only,
// so that a FIFO cannot hang it. The descriptor, or -1 with errno set (EINVAL for a file
// that is not regular).
int open_regular(const char* path, int flags, int mode = 0);

// Writes all `size` bytes, going on after a short write or an interrupted one.
// 0, or -1 with errno set (ENOSPC when the file takes no more).
int write_all(int fd, const void* data, std::size_t size);

// Replaces the file at `path` durably with `size` bytes of `data`: written to "<path>.new",
// flushed to the disk, renamed over `path` and its directory flushed, so that a power cut
// leaves the old or the new file, never an empty one. 0, or -1 with errno set (nothing
// is left behind).
int replace_file_durably(const char* path, const void* data, std::size_t size);

// Reads until `size` bytes are in or the file ends. The bytes read, or -1 (errno set).
ssize_t read_full(int fd, void* data, std::size_t size);

// A number as the module's C library reads "%d": an overlong one is held at the nearest
// int, whatever the width of long on this host.
std::int32_t held_at_int(long value);

// Which of the standard descriptors were closed when the program started.
inline constexpr unsigned STD_IN_CLOSED = 1U << 0;
inline constexpr unsigned STD_OUT_CLOSED = 1U << 1;
inline constexpr unsigned STD_ERR_CLOSED = 1U << 2;
inline constexpr unsigned STD_FDS_UNGUARDED = 1U << 3;  // /dev/null could not take one

// Opens /dev/null on each of descriptors 0 to 2 that is closed, before anything else
// opens a file: a closed one would be handed to the next file opened (the system log's
// socket, a lock file, a record file) and what the program writes would go there.
// Called first thing by every program of ours. Returns the STD_*_CLOSED bits of the
// descriptors it found closed, with STD_FDS_UNGUARDED when one could not be filled.
unsigned guard_std_fds();

// The one owner of a descriptor: closes it when dropped, on every way out of a scope.
// It moves (the old owner then holds none) and is never copied.
struct FdGuard {
  int fd;
  constexpr FdGuard() : fd(-1) {}
  constexpr explicit FdGuard(int f) : fd(f) {}
  ~FdGuard();
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  FdGuard(FdGuard&& other) noexcept : fd(other.release()) {}
  FdGuard& operator=(FdGuard&& other) noexcept;
  int release() {
    const int f = fd;
    fd = -1;
    return f;
  }
};
