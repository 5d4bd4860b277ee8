// How a stop (SIGTERM or SIGINT) reaches the forwarder, which has no thread. Both
// signals stay blocked but where the forwarder waits (fwd_wait: the wait ends with
// EINTR and fwd_stopping() turns true, so that what the collector accepted is saved
// before it ends) and where it holds nothing to save (FwdAtOnce: looking at the store,
// which may wait without limit for the store lock, and resolving and connecting; the
// process ends there at once, with status 0, and the system drops its locks).
// SIGPIPE is ignored: a collector that goes away is a failed send, not our end.
#pragma once

#include <poll.h>

void fwd_signals_init();
bool fwd_stopping();

// Waits up to `timeout_ms` (-1: without limit) for the events of `fds` (none: only the
// time or a stop). poll()'s result; -1 with EINTR once a stop has been asked for.
int fwd_wait_for(pollfd* fds, int n, int timeout_ms);
// The same for `events` on `fd` (-1: none).
int fwd_wait(int fd, short events, int timeout_ms);

// The monotonic clock in milliseconds.
long long fwd_now_ms();

// How long what was sent may still take to be accepted once a stop has been asked for.
inline constexpr int FWD_STOP_GRACE_MS = 1000;

// How long a wait may last: the milliseconds given, or FWD_STOP_GRACE_MS once a stop has
// been asked for.
class FwdDeadline {
 public:
  explicit FwdDeadline(int ms) : at_(fwd_now_ms() + ms) {}
  int left();  // milliseconds, 0 once over

 private:
  long long at_;
  bool stop_seen_ = false;
};

class FwdAtOnce {
 public:
  FwdAtOnce();
  ~FwdAtOnce();
  FwdAtOnce(const FwdAtOnce&) = delete;
  FwdAtOnce& operator=(const FwdAtOnce&) = delete;
  FwdAtOnce(FwdAtOnce&&) = delete;
  FwdAtOnce& operator=(FwdAtOnce&&) = delete;
};
