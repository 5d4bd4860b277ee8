#include "module/sel-forward/signals.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>

namespace {

volatile sig_atomic_t stop_requested = 0;
volatile sig_atomic_t end_at_once = 0;
sigset_t stop_signals;
sigset_t while_waiting;  // the mask with both let through

void on_stop(int /*signal*/) {
  stop_requested = 1;
  if (end_at_once != 0) _exit(0);
}

}  // namespace

void fwd_signals_init() {
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_signals, &while_waiting);
  sigdelset(&while_waiting, SIGTERM);
  sigdelset(&while_waiting, SIGINT);
  struct sigaction sa {};
  sa.sa_handler = on_stop;  // no SA_RESTART: a wait ends with EINTR
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &sa, nullptr);
}

bool fwd_stopping() { return stop_requested != 0; }

int fwd_wait_for(pollfd* fds, int n, int timeout_ms) {
  timespec limit{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1000000L};
  return ppoll(fds, static_cast<nfds_t>(n), timeout_ms >= 0 ? &limit : nullptr, &while_waiting);
}

int fwd_wait(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  return fwd_wait_for(&p, fd >= 0 ? 1 : 0, timeout_ms);
}

long long fwd_now_ms() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int FwdDeadline::left() {
  const long long now = fwd_now_ms();
  if (fwd_stopping() && !stop_seen_) {
    stop_seen_ = true;
    if (now + FWD_STOP_GRACE_MS < at_) at_ = now + FWD_STOP_GRACE_MS;
  }
  return at_ > now ? static_cast<int>(at_ - now) : 0;
}

FwdAtOnce::FwdAtOnce() {
  end_at_once = 1;
  if (stop_requested != 0) _exit(0);
  sigprocmask(SIG_UNBLOCK, &stop_signals, nullptr);  // a pending stop ends it here
}

FwdAtOnce::~FwdAtOnce() {
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  end_at_once = 0;
}
