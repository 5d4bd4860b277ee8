#include "module/sel-forward/link.h"

#include <sys/socket.h>

#include "module/sel-forward/signals.h"

ssize_t fwd_link_recv(const FwdLink& l, void* buf, std::size_t len) {
  if (l.ops != nullptr) return l.ops->recv(l.layer, buf, len);
  return recv(l.fd, buf, len, MSG_DONTWAIT);
}

ssize_t fwd_link_send(const FwdLink& l, const void* buf, std::size_t len) {
  if (l.ops != nullptr) return l.ops->send(l.layer, buf, len);
  return send(l.fd, buf, len, MSG_NOSIGNAL | MSG_DONTWAIT);
}

int fwd_link_wait(const FwdLink& l, short events, int timeout_ms) {
  if (l.ops != nullptr) return l.ops->wait(l.layer, events, timeout_ms);
  return fwd_wait(l.fd, events, timeout_ms);
}
