// What a TLS session of sel-forward is given, read from PEM files: the CA certificates
// as BearSSL's trust anchors (each certificate's name and public key: BearSSL itself
// reads no CA file), and the module's own certificate chain with its private key,
// checked to belong together. Files are read whole, up to FWD_TLS_FILE_MAX bytes.
#pragma once

#include <bearssl.h>

#include <cstddef>
#include <string_view>

#include "lib/status.h"
#include "module/sel-forward/tls_time.h"

inline constexpr std::size_t FWD_TLS_FILE_MAX = 65536;
inline constexpr std::size_t FWD_TLS_ANCHORS_MAX = 16;
inline constexpr std::size_t FWD_TLS_CHAIN_MAX = 4;

// What is wrong with what a file holds: the `value` of a Status of step bad_format.
// (Step::mismatch: the key is not that of the certificate; Step::exposed: others may
// read the key file; Step::too_large: more bytes than are kept, `value` of them;
// Step::too_long: more certificates than are kept, `value` of them.)
enum : int {
  FWD_CRED_NOT_PEM = 1,  // no PEM block in it
  FWD_CRED_BAD_PEM,      // a damaged block: no END line, or not base64
  FWD_CRED_NO_CERT,      // no CERTIFICATE block
  FWD_CRED_BAD_CERT,     // a certificate that cannot be read, or with a key of no known kind
  FWD_CRED_NO_KEY,       // no private key block
  FWD_CRED_ENCRYPTED,    // the private key is encrypted
  FWD_CRED_BAD_KEY,      // a private key that cannot be read, neither RSA nor EC
};

struct FwdAnchors {
  br_x509_trust_anchor list[FWD_TLS_ANCHORS_MAX];
  std::size_t n;
  unsigned char bytes[16 * 1024];  // their names and keys
  std::size_t used;
};

struct FwdIdentity {
  br_x509_certificate chain[FWD_TLS_CHAIN_MAX];  // the module's own certificate first
  std::size_t n;
  unsigned char bytes[16 * 1024];  // the certificates
  std::size_t used;
  br_skey_decoder_context key;     // holds the private key
  int key_type;                    // BR_KEYTYPE_RSA or BR_KEYTYPE_EC
  int issuer_key_type;             // the key type of the CA that signed the certificate
  FwdTlsValidity valid;            // the module's certificate's dates
};

// The CA certificates of the PEM file at `path`. Blocks of other labels are passed over.
Status fwd_read_anchors(const char* path, FwdAnchors* a);
// The same from the file's text (`path` only names it in the result).
Status fwd_parse_anchors(std::string_view pem, const char* path, FwdAnchors* a);

// The certificate chain at `cert_path` and the unencrypted private key at `key_path`,
// which only its owner may read (mode 0600 or less), and which must be the key of the
// chain's first certificate.
Status fwd_read_identity(const char* cert_path, const char* key_path, FwdIdentity* id);
