#include "module/sel-forward/tls_words.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "module/sel-forward/tls_creds.h"

namespace {

struct Text {
  int code;
  const char* text;
};

// What was wrong with what a file holds (the value of a bad_format Status).
constexpr auto kCredTexts = std::to_array<Text>({
    {FWD_CRED_NOT_PEM, "is not PEM (it has no -----BEGIN line)"},
    {FWD_CRED_BAD_PEM, "holds a damaged PEM block (no END line, or not base64)"},
    {FWD_CRED_NO_CERT, "holds no certificate"},
    {FWD_CRED_BAD_CERT, "holds a certificate that cannot be read, or whose key is neither RSA nor EC"},
    {FWD_CRED_NO_KEY, "holds no private key"},
    {FWD_CRED_ENCRYPTED,
     "holds an encrypted key: give it unencrypted (openssl pkey -in FILE -out NEW)"},
    {FWD_CRED_BAD_KEY, "holds a private key that cannot be read, neither RSA nor EC"},
});
static_assert(kCredTexts.size() == FWD_CRED_BAD_KEY);

// TLS alerts (RFC 5246, 8446) that a collector may end a handshake with.
constexpr auto kAlerts = std::to_array<Text>({
    {10, "unexpected message"},      {20, "bad record MAC"},
    {40, "handshake failure"},       {42, "bad certificate"},
    {43, "unsupported certificate"}, {44, "certificate revoked"},
    {45, "certificate expired"},     {46, "certificate unknown"},
    {47, "illegal parameter"},       {48, "unknown CA"},
    {49, "access denied"},           {50, "decode error"},
    {51, "decrypt error"},           {70, "protocol version"},
    {71, "insufficient security"},   {80, "internal error"},
    {116, "certificate required"},
});

// The cipher suites that the module offers (tls.cpp).
constexpr auto kSuites = std::to_array<Text>({
    {BR_TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256,
     " (TLS 1.2, ECDHE-ECDSA with ChaCha20-Poly1305)"},
    {BR_TLS_ECDHE_RSA_WITH_CHACHA20_POLY1305_SHA256, " (TLS 1.2, ECDHE-RSA with ChaCha20-Poly1305)"},
    {BR_TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256, " (TLS 1.2, ECDHE-ECDSA with AES-128-GCM)"},
    {BR_TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256, " (TLS 1.2, ECDHE-RSA with AES-128-GCM)"},
    {BR_TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384, " (TLS 1.2, ECDHE-ECDSA with AES-256-GCM)"},
    {BR_TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384, " (TLS 1.2, ECDHE-RSA with AES-256-GCM)"},
});

// Why BearSSL refused the collector's certificate, where the words are not built from
// what the check saw.
constexpr auto kCertFaults = std::to_array<Text>({
    {BR_ERR_X509_EMPTY_CHAIN, "the collector sent no certificate"},
    {BR_ERR_X509_UNSUPPORTED, "it uses what sel-forward cannot check"},
    {BR_ERR_X509_LIMIT_EXCEEDED, "its chain is too long"},
    {BR_ERR_X509_WRONG_KEY_TYPE, "its key does not suit the cipher suite"},
    {BR_ERR_X509_BAD_SIGNATURE, "a signature in its chain is wrong"},
    {BR_ERR_X509_TIME_UNKNOWN, "the module does not know the time"},
    {BR_ERR_X509_DN_MISMATCH, "its chain is out of order"},
    {BR_ERR_X509_CRITICAL_EXTENSION, "it has a critical extension that sel-forward does not know"},
    {BR_ERR_X509_NOT_CA, "a certificate in its chain that is not a CA's signed the next"},
    {BR_ERR_X509_FORBIDDEN_KEY_USAGE, "its key may not be used for TLS"},
    {BR_ERR_X509_WEAK_PUBLIC_KEY, "its key is too short"},
});

const char* text_of(std::span<const Text> table, int code, const char* otherwise) {
  for (const Text& t : table) {
    if (t.code == code) return t.text;
  }
  return otherwise;
}

// The file that `path` is among `files`, for the reader.
const char* kind_of(const char* path, const FwdTlsFiles& files) {
  if (path == files.ca) return "CA file";
  return path == files.key ? "key file" : "certificate file";
}

bool is_x509(int error) { return error >= BR_ERR_X509_OK && error <= BR_ERR_X509_NOT_TRUSTED; }

// The collector's certificate, refused by the check.
void certificate_text(const FwdTls& t, int error, const FwdTlsFiles& f, char* out,
                      std::size_t size) {
  const FwdVerify& v = t.verify;
  if (error == BR_ERR_X509_NOT_TRUSTED) {
    (void)snprintf(out, size, "the collector's certificate for %s is not signed by a CA in %s",
                   f.name, f.ca);
  } else if (error == BR_ERR_X509_BAD_SERVER_NAME) {
    (void)snprintf(out, size,
                   "the collector's certificate is for %s, not %s (--tls-name names the "
                   "collector as its certificate does)",
                   v.cn_text[0] != '\0' ? v.cn_text : "another name", f.name);
  } else if (error == BR_ERR_X509_EXPIRED && v.outside >= 0) {
    char dates[160];
    fwd_tls_dates_text(v.outside_dates, v.now, dates, sizeof dates);
    (void)snprintf(out, size, "%s for %s %s",
                   v.outside == 0 ? "the collector's certificate" : "a CA certificate in the chain",
                   f.name, dates);
  } else {
    (void)snprintf(out, size, "the collector's certificate for %s cannot be used: %s", f.name,
                   text_of(kCertFaults, error, "it is damaged"));
  }
}

// The collector ended the handshake with an alert.
void alert_text(int alert, const FwdTlsFiles& f, char* out, std::size_t size) {
  const char* name = text_of(kAlerts, alert, "an alert");
  const bool about_certificate = (alert >= 42 && alert <= 49) || alert == 116;
  if (about_certificate && f.cert != nullptr) {
    (void)snprintf(out, size,
                   "the collector refused the module's certificate %s (TLS alert %d, %s): is it "
                   "signed by the collector's CA, and named in its tls.permittedPeer?",
                   f.cert, alert, name);
  } else if (about_certificate) {
    (void)snprintf(out, size,
                   "the collector wants a certificate of the module (TLS alert %d, %s): give "
                   "--tls-cert and --tls-key",
                   alert, name);
  } else if (alert == 40 || alert == 70 || alert == 71) {
    (void)snprintf(out, size,
                   "the collector takes none of the module's ways (TLS 1.2, ECDHE, AES-GCM or "
                   "ChaCha20-Poly1305) (TLS alert %d, %s)",
                   alert, name);
  } else {
    (void)snprintf(out, size, "the collector ended the handshake (TLS alert %d, %s)", alert, name);
  }
}

}  // namespace

void fwd_tls_file_text(const Status& status, const FwdTlsFiles& files, char* out,
                       std::size_t size) {
  const char* kind = kind_of(status.path, files);
  const char* path = status.path;
  switch (status.step) {
    case Step::not_regular:
      (void)snprintf(out, size, "the %s %s is not a regular file", kind, path);
      break;
    case Step::too_large:
      (void)snprintf(out, size, "the %s %s is too large: sel-forward takes %lld bytes of it", kind,
                     path, static_cast<long long>(status.value));
      break;
    case Step::too_long:
      (void)snprintf(out, size, "the %s %s holds more than %lld certificates", kind, path,
                     static_cast<long long>(status.value));
      break;
    case Step::exposed:
      (void)snprintf(out, size, "the key file %s may be read by others (mode %04llo): chmod 600 %s",
                     path, static_cast<unsigned long long>(status.value), path);
      break;
    case Step::mismatch:
      (void)snprintf(out, size, "the key in %s is not that of the certificate in %s", files.key,
                     files.cert);
      break;
    case Step::bad_format:
      (void)snprintf(out, size, "the %s %s %s", kind, path,
                     text_of(kCredTexts, static_cast<int>(status.value), "cannot be read"));
      break;
    default:
      (void)snprintf(out, size, "cannot read the %s %s: %s", kind, path, strerror(status.error));
      break;
  }
}

void fwd_tls_handshake_text(const FwdTls& t, int error, const FwdTlsFiles& files, char* out,
                            std::size_t size) {
  const int tls = fwd_tls_error(&t);
  if (t.not_tls) {
    // Shown as RELP's answers are: line breaks as blanks, and nothing that a terminal or
    // the log could take for more than a byte.
    char shown[sizeof t.first + 1];
    for (std::size_t i = 0; i < t.first_len; ++i) {
      const auto c = static_cast<unsigned char>(t.first[i]);
      shown[i] = c == '\n' ? ' ' : c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
    }
    shown[t.first_len] = '\0';
    (void)snprintf(out, size,
                   "the collector does not speak TLS on this port (it answered \"%s\"): an "
                   "imrelp input needs tls=\"on\"",
                   shown);
  } else if (error == ETIMEDOUT) {
    (void)snprintf(out, size, "the handshake stalled: the collector did not answer within %d seconds",
                   FWD_CONNECT_MS / 1000);
  } else if (error == ECONNRESET && !t.received) {
    (void)snprintf(out, size,
                   "the collector closed the connection without answering: does it speak TLS "
                   "on this port (an imrelp input needs tls=\"on\")?");
  } else if (error == ECONNRESET) {
    (void)snprintf(out, size,
                   "the collector closed the connection during the handshake: %s%s%s",
                   files.cert != nullptr ? "does it refuse the module's certificate " : "",
                   files.cert != nullptr ? files.cert : "does it want a certificate of the module (--tls-cert)",
                   files.cert != nullptr ? " (signed by its CA, named in its tls.permittedPeer)?" : "?");
  } else if (error != EPROTO) {
    (void)snprintf(out, size, "%s", strerror(error));
  } else if (is_x509(tls)) {
    certificate_text(t, tls, files, out, size);
  } else if (tls >= BR_ERR_RECV_FATAL_ALERT && tls < BR_ERR_SEND_FATAL_ALERT) {
    alert_text(tls - BR_ERR_RECV_FATAL_ALERT, files, out, size);
  } else if (tls == BR_ERR_UNSUPPORTED_VERSION || tls == BR_ERR_BAD_VERSION) {
    (void)snprintf(out, size, "the collector does not speak TLS 1.2");
  } else {
    (void)snprintf(out, size, "the handshake failed (BearSSL error %d)", tls);
  }
}

void fwd_tls_session_text(const FwdTls& t, char* out, std::size_t size) {
  const int tls = fwd_tls_error(&t);
  if (tls == BR_ERR_OK) {
    out[0] = '\0';
  } else if (tls >= BR_ERR_RECV_FATAL_ALERT && tls < BR_ERR_SEND_FATAL_ALERT) {
    (void)snprintf(out, size, ": it ended the TLS session (TLS alert %d, %s)",
                   tls - BR_ERR_RECV_FATAL_ALERT,
                   text_of(kAlerts, tls - BR_ERR_RECV_FATAL_ALERT, "an alert"));
  } else {
    (void)snprintf(out, size, ": the TLS session failed (BearSSL error %d)", tls);
  }
}

const char* fwd_tls_suite_text(unsigned suite) {
  return text_of(kSuites, static_cast<int>(suite), " (TLS 1.2)");
}

void fwd_tls_dates_text(const FwdTlsValidity& valid, const FwdTlsTime& now, char* out,
                        std::size_t size) {
  char from[FWD_TLS_TIME_LEN + 1], to[FWD_TLS_TIME_LEN + 1], at[FWD_TLS_TIME_LEN + 1];
  fwd_tls_time_text(valid.from, from);
  fwd_tls_time_text(valid.to, to);
  fwd_tls_time_text(now, at);
  (void)snprintf(out, size, "is valid from %s to %s, but the module's clock says %s%s", from, to, at,
                 fwd_tls_before(now, valid.from) ? ": is the module's clock set?" : "");
}
