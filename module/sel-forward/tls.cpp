#include "module/sel-forward/tls.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "module/sel-forward/signals.h"

namespace {

// ChaCha20 first: the module's processor has no AES instructions, and BearSSL's
// constant-time AES is slower there.
constexpr std::uint16_t kSuites[] = {
    BR_TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256,
    BR_TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256,
    BR_TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256,
    BR_TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256,
    BR_TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384,
    BR_TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384,
};

// The record types that a server's first bytes can be: a handshake, or an alert.
constexpr unsigned char kHandshakeRecord = 22;
constexpr unsigned char kAlertRecord = 21;

br_ssl_engine_context* engine(FwdTls* t) { return &t->cc.eng; }
unsigned state(FwdTls* t) { return br_ssl_engine_current_state(engine(t)); }

// The client's algorithms: only those of the suites above (and of the certificates'
// signatures), so that no other is linked.
void configure(FwdTls* t) {
  br_ssl_client_zero(&t->cc);
  br_ssl_engine_context* eng = engine(t);
  br_ssl_engine_set_versions(eng, BR_TLS12, BR_TLS12);
  br_ssl_engine_set_suites(eng, kSuites, sizeof kSuites / sizeof kSuites[0]);
  br_ssl_engine_set_default_rsavrfy(eng);
  br_ssl_engine_set_default_ecdsa(eng);
  br_ssl_engine_set_hash(eng, br_sha256_ID, &br_sha256_vtable);
  br_ssl_engine_set_hash(eng, br_sha384_ID, &br_sha384_vtable);
  br_ssl_engine_set_hash(eng, br_sha512_ID, &br_sha512_vtable);
  br_ssl_engine_set_prf_sha256(eng, &br_tls12_sha256_prf);
  br_ssl_engine_set_prf_sha384(eng, &br_tls12_sha384_prf);
  br_ssl_engine_set_default_chapol(eng);
  br_ssl_engine_set_default_aes_gcm(eng);
  fwd_verify_init(&t->verify, t->anchors);
  br_ssl_engine_set_x509(eng, &t->verify.vtable);
  const FwdIdentity& id = t->identity;
  if (t->with_identity && id.key_type == BR_KEYTYPE_RSA) {
    br_ssl_client_set_single_rsa(&t->cc, id.chain, id.n, br_skey_decoder_get_rsa(&id.key),
                                 br_rsa_pkcs1_sign_get_default());
  } else if (t->with_identity) {
    br_ssl_client_set_single_ec(&t->cc, id.chain, id.n, br_skey_decoder_get_ec(&id.key),
                                BR_KEYTYPE_SIGN, static_cast<unsigned>(id.issuer_key_type),
                                br_ec_get_default(), br_ecdsa_sign_asn1_get_default());
  }
  br_ssl_engine_set_buffer(eng, t->io, sizeof t->io, 1);
}

// Whether a socket's error means that the collector closed or reset the connection.
bool gone(int error) { return error == EPIPE || error == ECONNRESET; }

// Hands the engine what the socket holds now: 1 when bytes came, 0 when none (or the
// connection is closed: `closed`), -1 with errno after a socket error.
int take_in(FwdTls* t) {
  std::size_t len = 0;
  unsigned char* buf = br_ssl_engine_recvrec_buf(engine(t), &len);
  if (!t->received) {  // kept to be shown when it is no TLS
    const ssize_t seen = recv(t->fd, t->first, sizeof t->first, MSG_PEEK | MSG_DONTWAIT);
    t->first_len = seen > 0 ? static_cast<std::size_t>(seen) : 0;
  }
  const ssize_t n = recv(t->fd, buf, len, MSG_DONTWAIT);
  if (n == 0 || (n < 0 && gone(errno))) t->closed = true;
  if (n <= 0) return n < 0 && !gone(errno) && errno != EAGAIN && errno != EINTR ? -1 : 0;
  if (!t->received) t->not_tls = buf[0] != kHandshakeRecord && buf[0] != kAlertRecord;
  t->received = true;
  br_ssl_engine_recvrec_ack(engine(t), static_cast<std::size_t>(n));
  return 1;
}

// Writes what the engine has to send, as take_in.
int give_out(FwdTls* t) {
  std::size_t len = 0;
  unsigned char* buf = br_ssl_engine_sendrec_buf(engine(t), &len);
  const ssize_t w = send(t->fd, buf, len, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (w < 0 && gone(errno)) t->closed = true;
  if (w <= 0) return w < 0 && !gone(errno) && errno != EAGAIN && errno != EINTR ? -1 : 0;
  br_ssl_engine_sendrec_ack(engine(t), static_cast<std::size_t>(w));
  return 1;
}

// Moves bytes between the socket and the engine while the socket takes or gives them
// at once; what came in first, so that an alert is read before a write fails. 0, or -1
// with the socket's errno.
int pump(FwdTls* t) {
  for (int moved = 1; moved > 0;) {
    moved = 0;
    if ((state(t) & BR_SSL_RECVREC) != 0 && !t->closed) moved = take_in(t);
    if (moved >= 0 && (state(t) & BR_SSL_SENDREC) != 0 && !t->closed) {
      const int out = give_out(t);
      moved = out < 0 ? out : moved | out;
    }
    if (moved < 0) return -1;
  }
  return 0;
}

// Whether the session can go no further: BearSSL ended it, or the collector closed the
// connection and nothing that it sent is left to take.
bool ended(FwdTls* t) {
  const unsigned now = state(t);
  return (now & BR_SSL_CLOSED) != 0 || (t->closed && (now & BR_SSL_RECVAPP) == 0);
}

// The socket's events that the engine waits for.
short socket_events(FwdTls* t) {
  const unsigned now = state(t);
  return static_cast<short>(((now & BR_SSL_SENDREC) != 0 ? POLLOUT : 0) |
                            ((now & BR_SSL_RECVREC) != 0 && !t->closed ? POLLIN : 0));
}

// Each of the three does without the socket when the engine can answer by itself.
ssize_t tls_recv(void* layer, void* buf, std::size_t len) {
  auto* t = static_cast<FwdTls*>(layer);
  br_ssl_engine_context* eng = engine(t);
  if ((state(t) & BR_SSL_RECVAPP) == 0 && pump(t) != 0) return -1;
  if ((state(t) & BR_SSL_RECVAPP) != 0) {
    std::size_t have = 0;
    const unsigned char* app = br_ssl_engine_recvapp_buf(eng, &have);
    const std::size_t n = have < len ? have : len;
    memcpy(buf, app, n);
    br_ssl_engine_recvapp_ack(eng, n);
    return static_cast<ssize_t>(n);
  }
  if (!ended(t)) {
    errno = EAGAIN;
    return -1;
  }
  if (br_ssl_engine_last_error(eng) == BR_ERR_OK) return 0;  // closed
  errno = EPROTO;
  return -1;
}

ssize_t tls_send(void* layer, const void* buf, std::size_t len) {
  auto* t = static_cast<FwdTls*>(layer);
  if ((state(t) & BR_SSL_SENDAPP) == 0 && pump(t) != 0) return -1;
  if (ended(t)) {
    errno = br_ssl_engine_last_error(engine(t)) == BR_ERR_OK ? ECONNRESET : EPROTO;
    return -1;
  }
  if ((state(t) & BR_SSL_SENDAPP) == 0) {
    errno = EAGAIN;
    return -1;
  }
  // Taken into the engine's buffer, which becomes a record when it is full or when an
  // answer is waited for.
  std::size_t room = 0;
  unsigned char* app = br_ssl_engine_sendapp_buf(engine(t), &room);
  const std::size_t n = room < len ? room : len;
  memcpy(app, buf, n);
  br_ssl_engine_sendapp_ack(engine(t), n);
  return static_cast<ssize_t>(n);
}

int tls_wait(void* layer, short events, int timeout_ms) {
  auto* t = static_cast<FwdTls*>(layer);
  const bool writing = (events & POLLOUT) != 0;
  const auto ready = [&] {
    const unsigned now = state(t);
    return ((events & POLLIN) != 0 && (now & BR_SSL_RECVAPP) != 0) ||
           (writing && (now & BR_SSL_SENDAPP) != 0);
  };
  if (ready()) return 1;
  // What was written goes out once nothing more is to be written: the frames of a batch
  // travel in few records.
  if (!writing) br_ssl_engine_flush(engine(t), 0);
  // A failure is told by the recv or send that follows.
  if (pump(t) != 0 || ended(t) || ready()) return 1;
  return fwd_wait(t->fd, socket_events(t), timeout_ms);
}

constexpr FwdLinkOps kOps{tls_recv, tls_send, tls_wait};

}  // namespace

int fwd_tls_start(FwdTls* t, int fd, const char* name) {
  configure(t);
  t->fd = fd;
  t->received = t->not_tls = t->closed = false;
  t->first_len = 0;
  return br_ssl_client_reset(&t->cc, name, 0) != 0 ? 0 : -1;
}

int fwd_tls_handshake(FwdTls* t, int timeout_ms) {
  FwdDeadline deadline(timeout_ms);
  for (;;) {
    if (pump(t) != 0) return -1;
    if ((state(t) & BR_SSL_SENDAPP) != 0) return 0;
    if (ended(t)) {
      errno = fwd_tls_error(t) != BR_ERR_OK ? EPROTO : ECONNRESET;
      return -1;
    }
    const int left = deadline.left();
    if (left == 0) {
      errno = fwd_stopping() ? EINTR : ETIMEDOUT;
      return -1;
    }
    if (fwd_wait(t->fd, socket_events(t), left) < 0 && errno != EINTR) return -1;
  }
}

int fwd_tls_error(const FwdTls* t) { return br_ssl_engine_last_error(&t->cc.eng); }

unsigned fwd_tls_suite(const FwdTls* t) {
  br_ssl_session_parameters params{};
  br_ssl_engine_get_session_parameters(&t->cc.eng, &params);
  return params.cipher_suite;
}

FwdLink fwd_tls_link(FwdTls* t) { return {t->fd, &kOps, t}; }

void fwd_tls_close(FwdTls* t, int timeout_ms) {
  br_ssl_engine_close(engine(t));
  FwdDeadline deadline(timeout_ms);
  while (pump(t) == 0 && (state(t) & BR_SSL_SENDREC) != 0) {
    const int left = deadline.left();
    if (left == 0 || (fwd_wait(t->fd, POLLOUT, left) < 0 && errno != EINTR)) break;
  }
}
