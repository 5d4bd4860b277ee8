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

bool out_pending(const FwdRelp* r) { return r->out_off < r->out_len; }

// Puts the next frame, of `command` with `data`, in the session's out buffer.
bool build_frame(FwdRelp* r, const char* command, std::string_view data) {
  const std::size_t head = fwd_relp_head(r->out, sizeof r->out, r->txnr, command, data.size());
  if (head == 0 || data.size() >= sizeof r->out - head) return false;
  memcpy(r->out + head, data.data(), data.size());
  r->out[head + data.size()] = '\n';
  r->out_len = head + data.size() + 1;
  r->out_off = 0;
  r->txnr = next_txnr(r->txnr);
  return true;
}

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

// A failure of the session: errno and the Status say it alike.
Status failed(int error) {
  errno = error;
  return Status{Step::socket, error, nullptr, 0};
}

Status protocol_error(FwdRelp* r, FwdRelpFault::Kind kind, std::string_view said) {
  r->fault.kind = kind;
  const std::size_t len = said.size() < FWD_RELP_SAID_MAX ? said.size() : FWD_RELP_SAID_MAX;
  (void)visible_copy({said.data(), len}, r->fault.said, sizeof r->fault.said);
  return failed(EPROTO);
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

// Reads what the collector sent now.
Status pull(FwdRelp* r, const FwdLink& link) {
  if (r->in_len == sizeof r->in) return protocol_error(r, FwdRelpFault::overlong, {r->in, 16});
  const ssize_t n = fwd_link_recv(link, r->in + r->in_len, sizeof r->in - r->in_len);
  if (n > 0) r->in_len += static_cast<std::size_t>(n);
  if (n == 0) return failed(ECONNRESET);
  return n > 0 || errno == EAGAIN || errno == EINTR ? kDone : failed(errno);
}

// Takes the answers that are whole, from the one to frame `*want` on, counting those
// answered 200 in `*acked`; `sent` frames are out whole, and only they may be answered.
Status take_answers(FwdRelp* r, Exchange what, int sent, unsigned long* want, int* acked) {
  for (;;) {
    FwdRelpFrame f{};
    std::size_t used = 0;
    const int got = fwd_relp_parse(r->in, r->in_len, &f, &used);
    if (got < 0) return protocol_error(r, FwdRelpFault::not_relp, {r->in, r->in_len});
    if (got == 0) return kDone;
    if (f.command == "serverclose") {
      r->fault.kind = FwdRelpFault::ended;
      return failed(ECONNRESET);
    }
    if (f.command != "rsp") return protocol_error(r, FwdRelpFault::other_command, f.command);
    if (f.txnr != *want || *acked == sent) {
      r->fault.due = *acked == sent ? 0 : *want;
      return protocol_error(r, FwdRelpFault::not_in_flight, {r->in, used - 1});  // no LF
    }
    if (what != Exchange::close && fwd_relp_status(f.data) != 200) {
      return protocol_error(r, FwdRelpFault::refused, f.data);
    }
    if (what == Exchange::open && !offers_syslog(f.data)) {
      return protocol_error(r, FwdRelpFault::no_syslog, f.data);
    }
    *want = next_txnr(*want);
    ++*acked;
    memmove(r->in, r->in + used, r->in_len - used);
    r->in_len -= used;
  }
}

// Builds the next frame when the window and a stop let one begin. False when the message
// cannot be framed.
bool begin_frame(FwdRelp* r, Exchange what, const char* data, const std::size_t* ends, int n,
                 int sent, int acked) {
  // No frame is begun after a stop, but the close that ends the session.
  if (out_pending(r) || sent == n || sent - acked >= FWD_RELP_WINDOW ||
      (what != Exchange::close && fwd_stopping())) {
    return true;
  }
  const char* command = what == Exchange::open    ? "open"
                        : what == Exchange::close ? "close"
                                                  : "syslog";
  const std::size_t from = sent > 0 ? ends[sent - 1] : 0;
  return build_frame(r, command, {data + from, ends[sent] - from});
}

// Sends what is left of the frame on its way out; whether the frame is now out whole.
Status push(FwdRelp* r, const FwdLink& link, bool* whole) {
  *whole = false;
  const ssize_t w = fwd_link_send(link, r->out + r->out_off, r->out_len - r->out_off);
  if (w < 0 && errno != EAGAIN && errno != EINTR) return failed(errno);
  if (w > 0) r->out_off += static_cast<std::size_t>(w);
  *whole = r->out_len > 0 && !out_pending(r);
  return kDone;
}

// Sends the `n` messages as frames of the exchange's command and takes their answers,
// as fwd_relp_send says.
Status exchange(FwdRelp* r, const FwdLink& link, Exchange what, const char* data,
                const std::size_t* ends, int n, int stall_ms, int* accepted) {
  r->out_len = r->out_off = 0;
  unsigned long want = r->txnr;
  int sent = 0, acked = 0;
  Status why = kDone;  // why the exchange ends short
  FwdDeadline deadline(stall_ms);
  while (acked < n && why.ok()) {
    const int before = acked;
    // Read before a frame is begun: what came before it cannot be its answer.
    why = pull(r, link);
    if (why.ok()) why = take_answers(r, what, sent, &want, &acked);
    if (why.ok() && !begin_frame(r, what, data, ends, n, sent, acked)) why = failed(EMSGSIZE);
    if (!why.ok() || (!out_pending(r) && sent == acked)) break;  // or stopped, none in flight
    const std::size_t off = r->out_off;
    if (acked > before) deadline = FwdDeadline(stall_ms);
    const int left = deadline.left();
    const int woke =
        left == 0
            ? 0
            : fwd_link_wait(link, static_cast<short>(POLLIN | (out_pending(r) ? POLLOUT : 0)), left);
    if (left == 0) why = failed(ETIMEDOUT);
    if (woke < 0 && errno != EINTR) why = failed(errno);
    if (woke <= 0) continue;
    bool whole = false;
    if (out_pending(r)) why = push(r, link, &whole);
    if (whole) ++sent;
    if (r->out_off > off) deadline = FwdDeadline(stall_ms);
  }
  *accepted = acked;
  if (acked == n || (fwd_stopping() && sent == acked && !out_pending(r))) return kDone;
  return why.ok() ? failed(EINTR) : why;
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

Status fwd_relp_open(FwdRelp* r, const FwdLink& link, int timeout_ms) {
  r->txnr = 1;
  r->in_len = 0;
  r->fault.kind = FwdRelpFault::none;
  const std::size_t end = strlen(kOffers);
  int accepted = 0;
  const Status opened = exchange(r, link, Exchange::open, kOffers, &end, 1, timeout_ms, &accepted);
  if (accepted == 1) return kDone;
  return opened.ok() ? failed(EINTR) : opened;
}

Status fwd_relp_send(FwdRelp* r, const FwdLink& link, const char* data, const std::size_t* ends, int n,
                     int stall_ms, int* accepted) {
  r->fault.kind = FwdRelpFault::none;
  return exchange(r, link, Exchange::syslog, data, ends, n, stall_ms, accepted);
}

void fwd_relp_close(FwdRelp* r, const FwdLink& link, int timeout_ms) {
  const std::size_t end = 0;
  int accepted = 0;
  (void)exchange(r, link, Exchange::close, "", &end, 1, timeout_ms, &accepted);
}

Status fwd_relp_idle(FwdRelp* r, const FwdLink& link) {
  r->fault.kind = FwdRelpFault::none;
  unsigned long want = r->txnr;
  int acked = 0;
  const Status pulled = pull(r, link);
  return pulled.ok() ? take_answers(r, Exchange::syslog, 0, &want, &acked) : pulled;
}

const char* fwd_relp_told(const FwdRelpFault& fault, char (&buf)[FWD_RELP_TOLD_MAX]) {
  buf[0] = '\0';
  const char* what = "";
  switch (fault.kind) {
    case FwdRelpFault::none: return buf;
    case FwdRelpFault::ended: (void)snprintf(buf, sizeof buf, ": it ended the session"); return buf;
    case FwdRelpFault::not_in_flight:
      if (fault.due == 0) {
        (void)snprintf(buf, sizeof buf, ": it answered \"%s\" where no answer was due", fault.said);
      } else {
        (void)snprintf(buf, sizeof buf, ": it answered \"%s\" where the answer to frame %lu was due",
                       fault.said, fault.due);
      }
      return buf;
    case FwdRelpFault::overlong: what = "sent an overlong frame:"; break;
    case FwdRelpFault::not_relp: what = "sent no RELP frame:"; break;
    case FwdRelpFault::other_command: what = "sent"; break;
    case FwdRelpFault::refused: what = "answered"; break;
    case FwdRelpFault::no_syslog: what = "does not offer the syslog command:"; break;
  }
  (void)snprintf(buf, sizeof buf, ": it %s \"%s\"", what, fault.said);
  return buf;
}
