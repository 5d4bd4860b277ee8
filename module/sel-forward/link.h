// The bytes of a session with the collector: read, written and waited for on the
// connected non-blocking socket itself, or through a layer over it (TLS) that says how.
// Each call acts as its socket counterpart: recv() and send() that never block
// (-1 with EAGAIN when they would), and the forwarder's wait (signals.h).
#pragma once

#include <sys/types.h>

#include <cstddef>

struct FwdLinkOps {
  ssize_t (*recv)(void* layer, void* buf, std::size_t len);
  ssize_t (*send)(void* layer, const void* buf, std::size_t len);
  // Waits until `events` (POLLIN, POLLOUT) can be had from the layer, as fwd_wait.
  int (*wait)(void* layer, short events, int timeout_ms);
};

struct FwdLink {
  int fd;
  const FwdLinkOps* ops;  // null: the socket itself
  void* layer;
};

ssize_t fwd_link_recv(const FwdLink& l, void* buf, std::size_t len);
ssize_t fwd_link_send(const FwdLink& l, const void* buf, std::size_t len);
int fwd_link_wait(const FwdLink& l, short events, int timeout_ms);
