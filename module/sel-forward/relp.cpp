#include "module/sel-forward/relp.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "module/sel-forward/format.h"
#include "module/sel-forward/signals.h"

namespace {

constexpr unsigned long kTxnrMax = 999999999UL;
constexpr std::size_t kNumberMax = 9;  // digits of a TXNR or a DATALEN
constexpr std::size_t kCommandMax = 32;
constexpr const char* kOffers = "relp_version=0\nrelp_software=sel-forward\ncommands=syslog";

unsigned long next_txnr(unsigned long txnr) { return txnr >= kTxnrMax ? 1 : txnr + 1; }

enum class Exchange { open, syslog, close };

// One frame as it goes out.
struct Out {
  char buf[FWD_MSG_MAX + 48];
  std::size_t len;
  std::size_t off;
  bool pending() const { return off < len; }
  bool build(FwdRelp* r, const char* command, std::string_view data) {
    const std::size_t head = fwd_relp_head(buf, sizeof buf, r->txnr, command, data.size());
    if (head == 0 || data.size() >= sizeof buf - head) return false;
    memcpy(buf + head, data.data(), data.size());
    buf[head + data.size()] = '\n';
    len = head + data.size() + 1;
    off = 0;
    r->txnr = next_txnr(r->txnr);
    return true;
  }
};

// At namespace scope and all zero: no guard of a local static (nor the C++ run-time
// library), no room in the program file.
Out out;

// A decimal number of 1 to kNumberMax digits at the start of `s`, ended by one of the
// characters of `stops`: its length, 0 when `s` ends too soon to tell, -1 when it is
// no such number.
int number(std::string_view s, const char* stops, unsigned long* value) {
  *value = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && s[i] != '\0' && strchr(stops, s[i]) != nullptr) return static_cast<int>(i);
    if (s[i] < '0' || s[i] > '9' || i == kNumberMax) return -1;
    *value = *value * 10 + static_cast<unsigned long>(s[i] - '0');
  }
  return 0;
}

int protocol_error(FwdRelp* r, const char* what, std::string_view said) {
  (void)snprintf(r->why, sizeof r->why, "%s \"%.*s\"", what,
                 static_cast<int>(said.size() < 40 ? said.size() : 40), said.data());
  for (char* c = r->why; *c != '\0'; ++c) {
    if (*c == '\n') *c = ' ';
  }
  errno = EPROTO;
  return -1;
}

// Whether the answer to "open" offers the syslog command: a line "commands=..." that
// names it among others separated by commas.
bool offers_syslog(std::string_view data) {
  for (std::size_t at = 0; at < data.size();) {
    std::size_t end = data.find('\n', at);
    if (end == std::string_view::npos) end = data.size();
    const std::string_view line(data.data() + at, end - at);
    // Not starts_with: where it is not inlined it brings in libstdc++'s range check.
    if (line.size() >= 9 && memcmp(line.data(), "commands=", 9) == 0) {
      for (std::size_t i = 9; i <= line.size();) {
        std::size_t comma = line.find(',', i);
        if (comma == std::string_view::npos) comma = line.size();
        if (std::string_view(line.data() + i, comma - i) == "syslog") return true;
        i = comma + 1;
      }
    }
    at = end + 1;
  }
  return false;
}

// Reads what the collector sent now. 0, or -1 with errno (ECONNRESET: it closed).
int pull(FwdRelp* r, const FwdLink& link) {
  if (r->in_len == sizeof r->in) return protocol_error(r, "sent an overlong frame:", {r->in, 16});
  const ssize_t n = fwd_link_recv(link, r->in + r->in_len, sizeof r->in - r->in_len);
  if (n > 0) r->in_len += static_cast<std::size_t>(n);
  if (n == 0) errno = ECONNRESET;
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR)) ? 0 : -1;
}

// Takes the answers that are whole, from the one to frame `*want` on, counting those
// answered 200 in `*acked`; `sent` frames are out whole, and only they may be answered.
// 0, or -1 with errno.
int take_answers(FwdRelp* r, Exchange what, int sent, unsigned long* want, int* acked) {
  for (;;) {
    FwdRelpFrame f{};
    std::size_t used = 0;
    const int got = fwd_relp_parse(r->in, r->in_len, &f, &used);
    if (got < 0) return protocol_error(r, "sent no RELP frame:", {r->in, r->in_len});
    if (got == 0) return 0;
    if (f.command == "serverclose") {
      (void)snprintf(r->why, sizeof r->why, "ended the session");
      errno = ECONNRESET;
      return -1;
    }
    if (f.command != "rsp") return protocol_error(r, "sent", f.command);
    if (f.txnr != *want || *acked == sent) {
      return protocol_error(r, "answered a frame not in flight:", {r->in, used});
    }
    if (what != Exchange::close && fwd_relp_status(f.data) != 200) {
      return protocol_error(r, "answered", f.data);
    }
    if (what == Exchange::open && !offers_syslog(f.data)) {
      return protocol_error(r, "does not offer the syslog command:", f.data);
    }
    *want = next_txnr(*want);
    ++*acked;
    memmove(r->in, r->in + used, r->in_len - used);
    r->in_len -= used;
  }
}

// Sends the `n` messages as frames of the exchange's command and takes their answers,
// as fwd_relp_send says.
int exchange(FwdRelp* r, const FwdLink& link, Exchange what, const char* data, const std::size_t* ends, int n,
             int stall_ms, int* error) {
  const char* command = what == Exchange::open    ? "open"
                        : what == Exchange::close ? "close"
                                                  : "syslog";
  out.len = out.off = 0;
  unsigned long want = r->txnr;
  int sent = 0, acked = 0;
  *error = 0;
  FwdDeadline deadline(stall_ms);
  while (acked < n) {
    const int before = acked;
    // Read before a frame is begun: what came before it cannot be its answer.
    if (pull(r, link) != 0 || take_answers(r, what, sent, &want, &acked) != 0) break;
    // No frame is begun after a stop, but the close that ends the session.
    if (!out.pending() && sent < n && sent - acked < FWD_RELP_WINDOW &&
        (what == Exchange::close || !fwd_stopping())) {
      const std::size_t from = sent > 0 ? ends[sent - 1] : 0;
      if (!out.build(r, command, {data + from, ends[sent] - from})) {
        errno = EMSGSIZE;
        break;
      }
    }
    if (!out.pending() && sent == acked) break;  // stopped with nothing in flight
    const std::size_t off = out.off;
    if (acked > before) deadline = FwdDeadline(stall_ms);
    const int left = deadline.left();
    if (left == 0) {
      errno = ETIMEDOUT;
      break;
    }
    const int woke =
        fwd_link_wait(link, static_cast<short>(POLLIN | (out.pending() ? POLLOUT : 0)), left);
    if (woke < 0 && errno != EINTR) break;
    if (woke <= 0) continue;
    if (out.pending()) {
      const ssize_t w = fwd_link_send(link, out.buf + out.off, out.len - out.off);
      if (w < 0 && errno != EAGAIN && errno != EINTR) break;
      if (w > 0) out.off += static_cast<std::size_t>(w);
      if (out.len > 0 && !out.pending()) ++sent;
    }
    if (out.off > off) deadline = FwdDeadline(stall_ms);
  }
  if (acked < n && !(fwd_stopping() && sent == acked && !out.pending())) *error = errno;
  return acked;
}

}  // namespace

std::size_t fwd_relp_head(char* dst, std::size_t room, unsigned long txnr, const char* command,
                          std::size_t data_len) {
  const int n =
      snprintf(dst, room, "%lu %s %zu%s", txnr, command, data_len, data_len > 0 ? " " : "");
  return n > 0 && static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : 0;
}

int fwd_relp_parse(const char* buf, std::size_t len, FwdRelpFrame* f, std::size_t* used) {
  const int txnr_len = number({buf, len}, " ", &f->txnr);
  if (txnr_len <= 0) return txnr_len;
  const std::size_t command_at = static_cast<std::size_t>(txnr_len) + 1;
  std::size_t at = command_at;
  while (at < len && at - command_at < kCommandMax && buf[at] >= 'a' && buf[at] <= 'z') ++at;
  if (at == len) return at - command_at < kCommandMax ? 0 : -1;
  if (buf[at] != ' ' || at == command_at) return -1;
  f->command = std::string_view(buf + command_at, at - command_at);
  ++at;
  unsigned long data_len = 0;
  const int len_len = number({buf + at, len - at}, " \n", &data_len);
  if (len_len <= 0) return len_len;
  at += static_cast<std::size_t>(len_len);
  if (buf[at] == '\n' && data_len > 0) return -1;
  if (buf[at] == ' ') ++at;
  if (len - at < data_len + 1) return 0;
  if (buf[at + data_len] != '\n') return -1;
  f->data = std::string_view(buf + at, data_len);
  *used = at + data_len + 1;
  return 1;
}

int fwd_relp_status(std::string_view data) {
  if (data.size() < 3 || (data.size() > 3 && data[3] != ' ' && data[3] != '\n')) return -1;
  int status = 0;
  for (int i = 0; i < 3; ++i) {
    if (data[i] < '0' || data[i] > '9') return -1;
    status = status * 10 + (data[i] - '0');
  }
  return status;
}

int fwd_relp_open(FwdRelp* r, const FwdLink& link, int timeout_ms) {
  r->txnr = 1;
  r->in_len = 0;
  r->why[0] = '\0';
  const std::size_t end = strlen(kOffers);
  int error = 0;
  if (exchange(r, link, Exchange::open, kOffers, &end, 1, timeout_ms, &error) == 1) return 0;
  errno = error != 0 ? error : EINTR;
  return -1;
}

int fwd_relp_send(FwdRelp* r, const FwdLink& link, const char* data, const std::size_t* ends, int n,
                  int stall_ms, int* error) {
  r->why[0] = '\0';
  return exchange(r, link, Exchange::syslog, data, ends, n, stall_ms, error);
}

void fwd_relp_close(FwdRelp* r, const FwdLink& link, int timeout_ms) {
  const std::size_t end = 0;
  int error = 0;
  (void)exchange(r, link, Exchange::close, "", &end, 1, timeout_ms, &error);
}

int fwd_relp_idle(FwdRelp* r, const FwdLink& link) {
  r->why[0] = '\0';
  unsigned long want = r->txnr;
  int acked = 0;
  return pull(r, link) == 0 && take_answers(r, Exchange::syslog, 0, &want, &acked) == 0 ? 0 : -1;
}
