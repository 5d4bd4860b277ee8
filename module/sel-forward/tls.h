// A TLS 1.2 client session on a connected non-blocking socket, through BearSSL's
// engine: bytes move between the socket and the engine only when the socket takes or
// gives them at once, and every wait is the forwarder's own (a stop ends it), so a
// collector that stalls the handshake holds nothing up. Key exchange by ECDHE only
// (forward secrecy), ciphers AEAD only (ChaCha20-Poly1305, AES-GCM); the collector's
// certificate is checked against the anchors and the name given (tls_verify.h); the
// module's own certificate is sent when the collector asks for one.
#pragma once

#include <bearssl.h>

#include "module/sel-forward/link.h"
#include "module/sel-forward/tls_creds.h"
#include "module/sel-forward/tls_verify.h"

struct FwdTls {
  br_ssl_client_context cc;
  FwdVerify verify;
  FwdAnchors anchors;
  FwdIdentity identity;
  bool with_identity;  // whether `identity` holds the module's certificate and key
  unsigned char io[BR_SSL_BUFSIZE_BIDI];
  int fd;
  // What the collector did, for the operator when the handshake fails.
  bool received;  // it sent something
  bool not_tls;   // what it sent first cannot begin a TLS record
  bool closed;    // it closed the connection
  char first[24];  // the first bytes that it sent
  std::size_t first_len;
};

// Starts a session with the collector named `name` on `fd`, with the anchors and
// identity in `t` (which must stay in place). 0, or -1 when BearSSL refused to
// begin (fwd_tls_error says why).
int fwd_tls_start(FwdTls* t, int fd, const char* name);

// Runs the handshake for up to `timeout_ms`. 0, or -1 with errno: ETIMEDOUT (the
// collector stalled), EINTR (a stop), ECONNRESET (the collector closed the connection),
// EPROTO (TLS failed: fwd_tls_error), or a socket's error.
int fwd_tls_handshake(FwdTls* t, int timeout_ms);

// BearSSL's error code (BR_ERR_*), 0 while there is none.
int fwd_tls_error(const FwdTls* t);

// The cipher suite agreed, as RFC 5246 numbers it (0 before the handshake).
unsigned fwd_tls_suite(const FwdTls* t);

// The session as the RELP session's link.
FwdLink fwd_tls_link(FwdTls* t);

// Ends the session with a close_notify, sent within `timeout_ms` if the socket takes it.
void fwd_tls_close(FwdTls* t, int timeout_ms);
