// What sel-forward tells the operator when a TLS session cannot stand: a file that
// cannot be used, or a handshake that failed, each in words that say what to do.
#pragma once

#include <cstddef>

#include "lib/status.h"
#include "module/sel-forward/sender.h"
#include "module/sel-forward/tls.h"

// Why a file of `files` cannot be used, from what fwd_read_anchors or
// fwd_read_identity returned.
void fwd_tls_file_text(const Status& status, const FwdTlsFiles& files, char* out,
                       std::size_t size);

// Why the handshake of `t` failed, from fwd_tls_handshake's errno `error`.
void fwd_tls_handshake_text(const FwdTls& t, int error, const FwdTlsFiles& files, char* out,
                            std::size_t size);

// How a session that stood failed: ": it ended the TLS session (TLS alert 20, bad record
// MAC)" or ": the TLS session failed (BearSSL error 7)"; "" when BearSSL saw no error.
void fwd_tls_session_text(const FwdTls& t, char* out, std::size_t size);

// The name of the cipher suite `suite` (tls.cpp's): " (TLS 1.2, ECDHE-ECDSA with
// ChaCha20-Poly1305)".
const char* fwd_tls_suite_text(unsigned suite);

// The dates of a certificate against the module's clock: "is valid from A to B, but
// the module's clock says C", and a question about the clock when it is before A.
void fwd_tls_dates_text(const FwdTlsValidity& valid, const FwdTlsTime& now, char* out,
                        std::size_t size);
