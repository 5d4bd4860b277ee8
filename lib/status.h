// What a call below the programs gives back when it can fail: done, or which step failed,
// with the system's error and the file or number involved. It never holds words: the
// program that gets one says it in its own (through common/say.h for the tools, the
// system log's fixed texts for `sel`).
//
// Functions whose results are integer codes that the tool's outside fixes (the reading
// modes' 0 and 2, the info file's 0, 4 and 6, the session lock's codes) keep those codes,
// by name; everything else that can fail returns a Status.
#pragma once

#include <cerrno>
#include <cstdint>

// What failed. System calls first (errno says why), then what was found wrong in the
// data itself (errno is 0 and `value` may say how much). New steps are appended.
enum class Step : unsigned char {
  done = 0,
  // A system call, named by what it was for.
  open,     // open(), opendir(), creating a file or a directory
  stat,     // fstat(), stat(), lstat()
  read,     // read(), fread(), a short read where the whole was needed
  write,    // write(), fwrite(), fflush()
  seek,     // lseek(), fseek()
  lock,     // fcntl() locks
  fdflags,  // fcntl() F_GETFD/F_SETFD
  rename,   // rename(), link()
  remove,   // unlink(), rmdir()
  sync,     // fsync(), fdatasync()
  resolve,  // realpath(), readlink(): a path that names nothing
  socket,   // socket(), connect(), getaddrinfo()
  process,  // fork(), exec, pipe(), waitpid()
  memory,   // an allocation
  // What the data is.
  not_regular,  // a FIFO, a device or a directory where a regular file must be
  too_long,     // a path or a field that does not fit (`value`: the limit)
  too_large,    // a file or member larger than it may be (`value`: its size)
  cut_short,    // a file or stream that ends early (`value`: what was whole)
  bad_format,   // not what it must be (not a tar archive, not a state file of ours ...)
  repeated,     // a name or key given twice where once is allowed
  stopped,      // a stop was asked for while waiting
  empty,        // a folder or a file without what it must hold
  // What an archive is.
  not_archive,     // no tar header where the archive begins
  bad_header,      // a header inside the archive that is not one
  gzip_damaged,    // a compressed stream that does not inflate
  gzip_cut_short,  // a compressed stream that ends early
  // What a key and its certificate are.
  mismatch,     // two things that must agree do not (a key and its certificate)
  exposed,      // a secret that others may read (`value`: the file's mode)
};

struct Status {
  Step step = Step::done;
  int error = 0;               // errno after the failed step, 0 for a data step
  const char* path = nullptr;  // the file involved: the caller's string or a constant
  std::int64_t value = 0;      // a number involved, where the step names one

  constexpr bool ok() const { return step == Step::done; }
};

inline constexpr Status kDone{};

// A failed system call: errno as it is now.
inline Status fail_errno(Step step, const char* path = nullptr) {
  return Status{step, errno, path, 0};
}

// Something wrong with the data.
inline constexpr Status fail_data(Step step, const char* path = nullptr, std::int64_t value = 0) {
  return Status{step, 0, path, value};
}
