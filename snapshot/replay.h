// An input whose first bytes were read already (to tell what it is) from a pipe, which
// gives nothing twice, made whole again for a reader that wants it from its start: a
// child process writes those bytes into a new pipe, then everything after them.
#pragma once

#include <string_view>
#include <sys/types.h>

#include "lib/status.h"

class Replay {
 public:
  // Starts the child that writes `head`, then the rest of `fd`, into the pipe that fd()
  // reads. process (errno) when the pipe or the child cannot be had.
  static Status start(int fd, std::string_view head, Replay* replay);
  Replay() = default;
  // Closes the pipe (a child still writing ends on it) and waits for the child.
  ~Replay();
  Replay(const Replay&) = delete;
  Replay& operator=(const Replay&) = delete;
  Replay(Replay&&) = delete;
  Replay& operator=(Replay&&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  pid_t child_ = -1;
};
