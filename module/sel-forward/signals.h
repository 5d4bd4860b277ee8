// How a stop (SIGTERM or SIGINT) reaches the forwarder, which has no thread. Both
// signals stay blocked but where the forwarder waits (fwd_wait: the wait ends with
// EINTR and fwd_stopping() turns true, so that what the collector accepted is saved
// before it ends) and where it holds nothing to save (FwdAtOnce: looking at the store,
// which may wait without limit for the store lock, and resolving and connecting; the
// process ends there at once, with status 0, and the system drops its locks).
// SIGPIPE is ignored: a collector that goes away is a failed send, not our end.
#pragma once

void fwd_signals_init();
bool fwd_stopping();

// Waits up to `timeout_ms` (-1: without limit) for `events` on `fd` (-1: none, only the
// time or a stop). poll()'s result; -1 with EINTR once a stop has been asked for.
int fwd_wait(int fd, short events, int timeout_ms);

// The monotonic clock in milliseconds.
long long fwd_now_ms();

class FwdAtOnce {
 public:
  FwdAtOnce();
  ~FwdAtOnce();
  FwdAtOnce(const FwdAtOnce&) = delete;
  FwdAtOnce& operator=(const FwdAtOnce&) = delete;
  FwdAtOnce(FwdAtOnce&&) = delete;
  FwdAtOnce& operator=(FwdAtOnce&&) = delete;
};
