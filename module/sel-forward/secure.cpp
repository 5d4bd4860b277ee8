#include "module/sel-forward/secure.h"

#include <syslog.h>

#include <cerrno>

#include "common/say.h"
#include "lib/log.h"
#include "module/sel-forward/signals.h"
#include "module/sel-forward/tls.h"
#include "module/sel-forward/tls_words.h"

namespace {

constexpr long kWarnDays = 30;  // before the module's certificate ends
constexpr long long kDayMs = 24LL * 3600 * 1000;

// The one session, with its buffers: at namespace scope and all zero, so that it takes
// no room in the program file.
FwdTls session;
bool reminded;
long long reminded_ms;  // when, by the monotonic clock

// Reads the files into the session. Why they cannot be used, into `why`.
bool read_files(const FwdTlsFiles& f, char* why, std::size_t size) {
  Status status = fwd_read_anchors(f.ca, &session.anchors);
  session.with_identity = f.cert != nullptr;
  if (status.ok() && session.with_identity) {
    status = fwd_read_identity(f.cert, f.key, &session.identity);
  }
  if (!status.ok()) fwd_tls_file_text(status, f, why, size);
  return status.ok();
}

void log_failure(const FwdSender* s, const char* why) {
  if (!s->failing) {
    log_msg(LOG_WARNING, "cannot open a TLS session with relps://%s:%s: %s", s->host, s->port, why);
  }
}

}  // namespace

bool fwd_secure_check(const FwdTlsFiles& files) {
  char why[512];
  if (read_files(files, why, sizeof why)) return true;
  say("%s", why);
  return false;
}

bool fwd_secure_open(FwdSender* s) {
  char why[512];
  if (!read_files(*s->tls, why, sizeof why)) {
    log_failure(s, why);
    return false;
  }
  fwd_secure_remind(s);
  if (fwd_tls_start(&session, s->fd, s->tls->name) == 0 &&
      fwd_tls_handshake(&session, FWD_CONNECT_MS) == 0) {
    return true;
  }
  fwd_tls_handshake_text(session, errno, *s->tls, why, sizeof why);
  log_failure(s, why);
  return false;
}

const char* fwd_secure_suite(FwdSender* s) {
  (void)s;  // one session: the sender's
  return fwd_tls_suite_text(fwd_tls_suite(&session));
}

void fwd_secure_told(FwdSender* s, char* buf, std::size_t size) {
  (void)s;  // one session: the sender's
  fwd_tls_session_text(session, buf, size);
}

FwdLink fwd_secure_link(FwdSender* s) {
  (void)s;  // one session: the sender's
  return fwd_tls_link(&session);
}

void fwd_secure_close(FwdSender* s) {
  if (s->fd >= 0) fwd_tls_close(&session, FWD_STOP_GRACE_MS);
}

void fwd_secure_remind(FwdSender* s) {
  if (!session.with_identity || s->tls == nullptr) return;
  if (reminded && fwd_now_ms() - reminded_ms < kDayMs) return;
  const FwdTlsTime now = fwd_tls_now();
  const FwdTlsValidity& valid = session.identity.valid;
  const long left = fwd_tls_days_between(now, valid.to);
  if (!fwd_tls_within(valid, now)) {
    char text[256];
    fwd_tls_dates_text(valid, now, text, sizeof text);
    log_msg(LOG_WARNING, "the module's certificate %s %s", s->tls->cert, text);
  } else if (left < kWarnDays) {
    char end[FWD_TLS_TIME_LEN + 1];
    fwd_tls_time_text(valid.to, end);
    log_msg(LOG_WARNING,
            "the module's certificate %s ends on %s, in %ld days: renew it (it is read again "
            "at every new connection)",
            s->tls->cert, end, left);
  } else {
    return;
  }
  reminded = true;
  reminded_ms = fwd_now_ms();
}
