#include "module/sel-forward/sender.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lib/log.h"
#include "module/sel-forward/secure.h"
#include "module/sel-forward/signals.h"

namespace {

constexpr int kFirstBackoffMs = 1000;

// After a failure: the connection goes, and the next attempt waits. It is reset, not
// closed, so that what it still holds is not delivered after the next connection has
// sent it again.
void give_up(FwdSender* s) {
  s->failing = true;
  if (s->fd >= 0) {
    const linger reset{1, 0};
    (void)setsockopt(s->fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(s->fd);
  }
  s->fd = -1;
  s->retry_at = fwd_now_ms() + s->backoff_ms;
  s->backoff_ms = s->backoff_ms * 2 < FWD_RETRY_MAX_MS ? s->backoff_ms * 2 : FWD_RETRY_MAX_MS;
}

// Whether `off` is the end of one of the messages (or their start).
bool at_message_end(const std::size_t* ends, int n, std::size_t off) {
  if (off == 0) return true;
  for (int i = 0; i < n && ends[i] <= off; ++i) {
    if (ends[i] == off) return true;
  }
  return false;
}

// One address: a non-blocking connect that gives up after FWD_CONNECT_MS.
int connect_to(const addrinfo* a) {
  const int fd =
      socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
  if (fd < 0) return -1;
  if (connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  pollfd p{fd, POLLOUT, 0};
  int error = ETIMEDOUT;
  socklen_t len = sizeof error;
  if (poll(&p, 1, FWD_CONNECT_MS) == 1) (void)getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  const int on = 1;
  (void)setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);  // a dead line shows
  return fd;
}

// What the collector has acknowledged of the `sent` bytes.
bool acknowledged(int fd, std::size_t sent, std::size_t* acked) {
  int unacked = 0;
  if (ioctl(fd, SIOCOUTQ, &unacked) != 0 || unacked < 0) return false;
  *acked = sent - static_cast<std::size_t>(unacked);
  return true;
}

// Done while the connection stands, else how the collector closed or reset it; what it
// sent is dropped.
Status peer_gone(int fd) {
  char buf[512];
  for (;;) {
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return kDone;
    return Status{Step::socket, n == 0 ? ECONNRESET : errno, nullptr, 0};
  }
}

int accepted_of(const std::size_t* ends, int n, std::size_t bytes) {
  int k = 0;
  while (k < n && ends[k] <= bytes) ++k;
  return k;
}

// Standard output: what write() took is accepted. Written in pieces that a pipe takes
// at once, after it has room, so that a stop is seen while a reader stalls.
int send_stdout(FwdSender* s, const char* data, const std::size_t* ends, int n) {
  const std::size_t size = ends[n - 1];
  std::size_t off = 0;
  while (off < size && !(fwd_stopping() && at_message_end(ends, n, off))) {
    const int r = fwd_wait(1, POLLOUT, fwd_stopping() ? FWD_STOP_GRACE_MS : -1);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) break;
    const std::size_t piece = size - off < PIPE_BUF ? size - off : PIPE_BUF;
    const ssize_t w = write(1, data + off, piece);
    if (w < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (w < 0) {
      log_msg_errno(LOG_ERR, "cannot write to standard output");
      s->dead = true;
      break;
    }
    off += static_cast<std::size_t>(w);
  }
  return accepted_of(ends, n, off);
}

Status socket_error(int error) { return Status{Step::socket, error, nullptr, 0}; }

// Writes the messages as the connection takes them; a stop ends the writing at a
// message's end. `*off` is what was written.
Status write_tcp(int fd, const char* data, const std::size_t* ends, int n, std::size_t* off) {
  const std::size_t size = ends[n - 1];
  while (*off < size && !(fwd_stopping() && at_message_end(ends, n, *off))) {
    const int r = fwd_wait(fd, POLLOUT, FwdDeadline(FWD_STALL_MS).left());
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return socket_error(r == 0 ? ETIMEDOUT : errno);
    const ssize_t w = send(fd, data + *off, size - *off, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (w < 0) return socket_error(errno);
    *off += static_cast<std::size_t>(w);
  }
  return kDone;
}

// Waits until the collector's system has acknowledged the `sent` bytes; `*acked` is what
// it has. There is no event for the acknowledgment: the send queue is looked at after
// waits that grow to a tenth of a second and end early when the collector closes or
// resets the connection.
Status await_acks(int fd, std::size_t sent, std::size_t* acked) {
  FwdDeadline deadline(FWD_STALL_MS);
  for (int step = 1;; step = step * 2 < 100 ? step * 2 : 100) {
    if (!acknowledged(fd, sent, acked)) return socket_error(errno);
    if (*acked >= sent) return kDone;
    const int left = deadline.left();
    if (left == 0) return socket_error(ETIMEDOUT);
    if (fwd_wait(fd, POLLIN | POLLRDHUP, step < left ? step : left) > 0) {
      const Status gone = peer_gone(fd);
      if (!gone.ok()) return gone;
    }
  }
}

// The TCP part of fwd_send: written as the connection takes it, then waited for until
// the collector's system has acknowledged all of it.
Status send_tcp(FwdSender* s, const char* data, const std::size_t* ends, int n, int* accepted) {
  std::size_t off = 0, acked = 0;
  Status sent = write_tcp(s->fd, data, ends, n, &off);
  if (sent.ok()) sent = await_acks(s->fd, off, &acked);
  *accepted = accepted_of(ends, n, acked);
  return sent;
}

const char* scheme(const FwdSender* s) {
  return s->transport == FwdTransport::relp    ? "relp://"
         : s->transport == FwdTransport::relps ? "relps://"
                                                : "";
}

bool speaks_relp(const FwdSender* s) {
  return s->transport == FwdTransport::relp || s->transport == FwdTransport::relps;
}

// Where the RELP session's bytes go: the socket, or the TLS session on it.
FwdLink link_of(FwdSender* s) {
  return s->transport == FwdTransport::relps ? fwd_secure_link(s)
                                             : FwdLink{s->fd, nullptr, nullptr};
}

// What the RELP collector did (relp.h), or where the TLS session under it failed, how,
// into `buf`; "" for a plain connection or when it did nothing wrong.
const char* relp_told(FwdSender* s, char (&buf)[FWD_RELP_TOLD_MAX]) {
  buf[0] = '\0';
  if (!speaks_relp(s)) return buf;
  if (s->relp.fault.kind == FwdRelpFault::none && s->transport == FwdTransport::relps) {
    fwd_secure_told(s, buf, sizeof buf);
    return buf;
  }
  return fwd_relp_told(s->relp.fault, buf);
}

// Resolves the collector's name and connects to the first of its addresses that takes
// the connection, logging why none did.
bool connect_collector(FwdSender* s) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int gai = getaddrinfo(s->host, s->port, &hints, &found);
  if (gai != 0) {
    if (!s->failing) {
      log_msg(LOG_WARNING, "cannot find %s%s: %s", scheme(s), s->host, gai_strerror(gai));
    }
    return false;
  }
  int error = 0;
  for (const addrinfo* a = found; a != nullptr && s->fd < 0; a = a->ai_next) {
    s->fd = connect_to(a);
    if (s->fd < 0) error = errno;
  }
  freeaddrinfo(found);
  if (s->fd >= 0) return true;
  errno = error;
  if (!s->failing) {
    log_msg_errno(LOG_WARNING, "cannot connect to %s%s:%s", scheme(s), s->host, s->port);
  }
  return false;
}

}  // namespace

FwdFraming fwd_framing(FwdTransport transport, FwdFormat format) {
  if (transport == FwdTransport::relp || transport == FwdTransport::relps) return FwdFraming::none;
  // A collector of JSON takes one row a line; syslog over TCP is counted in octets.
  return transport == FwdTransport::out || format == FwdFormat::jsonl ? FwdFraming::lines
                                                                      : FwdFraming::octets;
}

void fwd_sender_init(FwdSender* s, FwdTransport transport, const char* host, const char* port) {
  s->transport = transport;
  s->host = host;
  s->port = port;
  s->fd = transport == FwdTransport::out ? 1 : -1;
  s->backoff_ms = kFirstBackoffMs;
  s->retry_at = 0;
  s->failing = s->dead = false;
}

bool fwd_ready(FwdSender* s) {
  if (s->transport == FwdTransport::relps) fwd_secure_remind(s);
  if (s->fd >= 0) return true;
  if (fwd_now_ms() < s->retry_at) return false;
  const FwdAtOnce at_once;  // nothing is in flight while resolving and connecting
  if (!connect_collector(s)) {
    give_up(s);
    return false;
  }
  if (s->transport == FwdTransport::relps && !fwd_secure_open(s)) {
    give_up(s);  // logged
    return false;
  }
  if (speaks_relp(s)) {
    const Status opened = fwd_relp_open(&s->relp, link_of(s), FWD_CONNECT_MS);
    if (!opened.ok()) {
      errno = opened.error;
      if (!s->failing) {
        char told[FWD_RELP_TOLD_MAX];
        log_msg_errno(LOG_WARNING, "cannot open a RELP session with %s:%s%s", s->host, s->port,
                      relp_told(s, told));
      }
      give_up(s);
      return false;
    }
  }
  log_msg(LOG_INFO, "connected to %s%s:%s%s", scheme(s), s->host, s->port,
          s->transport == FwdTransport::relps ? fwd_secure_suite(s) : "");
  return true;
}

int fwd_send(FwdSender* s, const char* data, const std::size_t* ends, int n) {
  if (n <= 0) return 0;
  if (s->transport == FwdTransport::out) return send_stdout(s, data, ends, n);
  int accepted = 0;
  const Status sent =
      speaks_relp(s) ? fwd_relp_send(&s->relp, link_of(s), data, ends, n, FWD_STALL_MS, &accepted)
                     : send_tcp(s, data, ends, n, &accepted);
  if (!sent.ok()) {
    errno = sent.error;
    if (!s->failing) {
      char told[FWD_RELP_TOLD_MAX];
      log_msg_errno(LOG_WARNING, "lost the connection to %s%s:%s after %d of %d messages%s",
                    scheme(s), s->host, s->port, accepted, n, relp_told(s, told));
    }
    give_up(s);
  } else if (accepted > 0) {
    if (s->failing)
      log_msg(LOG_INFO, "%s%s:%s accepts messages again", scheme(s), s->host, s->port);
    s->failing = false;
    s->backoff_ms = kFirstBackoffMs;
  }
  return accepted;
}

void fwd_check_peer(FwdSender* s) {
  if (s->transport == FwdTransport::out || s->fd < 0) return;
  const Status standing =
      speaks_relp(s) ? fwd_relp_idle(&s->relp, link_of(s)) : peer_gone(s->fd);
  if (standing.ok()) return;
  errno = standing.error;
  if (!s->failing) {
    char told[FWD_RELP_TOLD_MAX];
    log_msg_errno(LOG_NOTICE, "%s%s:%s closed the connection%s", scheme(s), s->host, s->port,
                  relp_told(s, told));
  }
  give_up(s);
}

void fwd_sender_end(FwdSender* s) {
  if (s->transport == FwdTransport::out || s->fd < 0) return;
  if (speaks_relp(s)) fwd_relp_close(&s->relp, link_of(s), FWD_STOP_GRACE_MS);
  if (s->transport == FwdTransport::relps) fwd_secure_close(s);
  close(s->fd);
  s->fd = -1;
}
