#include "module/sel-forward/tls_creds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "module/sel-forward/pem.h"

namespace {

// The text of the file being read and the bytes of its block being decoded: one file
// at a time, all zero so that they take no room in the program file.
char text[FWD_TLS_FILE_MAX];
unsigned char der[FWD_TLS_FILE_MAX];
br_x509_decoder_context decoder;

constexpr std::string_view kCertificate = "CERTIFICATE";

// Reads the file at `path` into `text`; a `secret` one must be closed to others.
Status read_text(const char* path, bool secret, std::string_view* got) {
  // Not blocked by a FIFO: whatever is not a regular file is refused after the open.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fail_errno(Step::open, path);
  struct stat st {};
  Status status = kDone;
  std::size_t size = 0;
  if (fstat(fd, &st) != 0) {
    status = fail_errno(Step::stat, path);
  } else if (!S_ISREG(st.st_mode)) {
    status = fail_data(Step::not_regular, path);
  } else if (secret && (st.st_mode & 077) != 0) {
    status = fail_data(Step::exposed, path, st.st_mode & 07777);
  }
  while (status.ok()) {
    const ssize_t n = read(fd, text + size, sizeof text - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) status = fail_errno(Step::read, path);
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
    if (size == sizeof text) status = fail_data(Step::too_large, path, sizeof text - 1);
  }
  close(fd);
  *got = {text, size};
  return status;
}

// What a PEM fault is to the reader of a file.
Status pem_fault(int fault, const char* path) {
  return fault == FWD_PEM_TOO_LARGE ? fail_data(Step::too_large, path, sizeof der)
                                    : fail_data(Step::bad_format, path, FWD_CRED_BAD_PEM);
}

// Copies `len` bytes into `bytes` (of `room`) at `*used`; where they are, or null.
unsigned char* keep(unsigned char* bytes, std::size_t room, std::size_t* used, const void* data,
                    std::size_t len) {
  if (room - *used < len) return nullptr;
  unsigned char* at = bytes + *used;
  memcpy(at, data, len);
  *used += len;
  return at;
}

struct DnSink {
  FwdAnchors* a;
  bool overflow;
  static void append(void* ctx, const void* buf, std::size_t len) {
    auto* s = static_cast<DnSink*>(ctx);
    if (keep(s->a->bytes, sizeof s->a->bytes, &s->a->used, buf, len) == nullptr) {
      s->overflow = true;
    }
  }
};

// The public key of a decoded certificate, copied into the anchors' bytes. Whether it
// fitted.
bool keep_key(FwdAnchors* a, const br_x509_pkey& pk, br_x509_pkey* into) {
  *into = pk;
  const std::size_t room = sizeof a->bytes;
  if (pk.key_type == BR_KEYTYPE_RSA) {
    into->key.rsa.n = keep(a->bytes, room, &a->used, pk.key.rsa.n, pk.key.rsa.nlen);
    into->key.rsa.e = keep(a->bytes, room, &a->used, pk.key.rsa.e, pk.key.rsa.elen);
    return into->key.rsa.n != nullptr && into->key.rsa.e != nullptr;
  }
  into->key.ec.q = keep(a->bytes, room, &a->used, pk.key.ec.q, pk.key.ec.qlen);
  return into->key.ec.q != nullptr;
}

// One CA certificate as a trust anchor: its subject name and its key. A certificate
// that is no CA's is trusted as the collector's own.
Status add_anchor(FwdAnchors* a, std::size_t size, const char* path) {
  if (a->n == FWD_TLS_ANCHORS_MAX) return fail_data(Step::too_long, path, FWD_TLS_ANCHORS_MAX);
  br_x509_trust_anchor& ta = a->list[a->n];
  const std::size_t dn_at = a->used;
  DnSink sink{a, false};
  br_x509_decoder_init(&decoder, DnSink::append, &sink);
  br_x509_decoder_push(&decoder, der, size);
  const br_x509_pkey* pk = br_x509_decoder_get_pkey(&decoder);
  if (pk == nullptr) return fail_data(Step::bad_format, path, FWD_CRED_BAD_CERT);
  if (sink.overflow) return fail_data(Step::too_large, path, sizeof a->bytes);
  ta.dn = {a->bytes + dn_at, a->used - dn_at};
  ta.flags = br_x509_decoder_isCA(&decoder) ? BR_X509_TA_CA : 0;
  if (!keep_key(a, *pk, &ta.pkey)) return fail_data(Step::too_large, path, sizeof a->bytes);
  ++a->n;
  return kDone;
}

// Hands each CERTIFICATE block of `pem` (its bytes in `der`) to `take`. What `take` or
// the PEM found wrong, or that there is no certificate at all.
Status each_certificate(std::string_view pem, const char* path, void* ctx,
                        Status (*take)(void* ctx, std::size_t size, const char* path)) {
  bool any = false, certificate = false;
  std::size_t at = 0;
  for (;;) {
    FwdPemBlock block{};
    const int got = fwd_pem_next(pem, &at, der, sizeof der, &block);
    if (got == FWD_PEM_NONE) break;
    if (got < 0) return pem_fault(got, path);
    any = true;
    if (block.label != kCertificate) continue;
    certificate = true;
    const Status status = take(ctx, block.size, path);
    if (!status.ok()) return status;
  }
  if (certificate) return kDone;
  return fail_data(Step::bad_format, path, any ? FWD_CRED_NO_CERT : FWD_CRED_NOT_PEM);
}

// The dates of the certificate that `decoder` read. BearSSL 0.6 keeps them in its
// context and offers no call for them.
FwdTlsValidity dates_of(const br_x509_decoder_context& d) {
  return {{d.notbefore_days, d.notbefore_seconds}, {d.notafter_days, d.notafter_seconds}};
}

}  // namespace

Status fwd_parse_anchors(std::string_view pem, const char* path, FwdAnchors* a) {
  a->n = 0;
  a->used = 0;
  return each_certificate(pem, path, a, [](void* ctx, std::size_t size, const char* p) {
    return add_anchor(static_cast<FwdAnchors*>(ctx), size, p);
  });
}

Status fwd_read_anchors(const char* path, FwdAnchors* a) {
  std::string_view pem;
  const Status status = read_text(path, false, &pem);
  return status.ok() ? fwd_parse_anchors(pem, path, a) : status;
}

namespace {

// The certificates of the PEM file at `path`, the first one decoded into `decoder`.
Status read_chain(const char* path, FwdIdentity* id) {
  std::string_view pem;
  const Status status = read_text(path, false, &pem);
  if (!status.ok()) return status;
  id->n = 0;
  id->used = 0;
  const Status found = each_certificate(pem, path, id, [](void* ctx, std::size_t size, const char* p) {
    auto* i = static_cast<FwdIdentity*>(ctx);
    if (i->n == FWD_TLS_CHAIN_MAX) return fail_data(Step::too_long, p, FWD_TLS_CHAIN_MAX);
    unsigned char* kept = keep(i->bytes, sizeof i->bytes, &i->used, der, size);
    if (kept == nullptr) return fail_data(Step::too_large, p, sizeof i->bytes);
    i->chain[i->n++] = {kept, size};
    return kDone;
  });
  if (!found.ok()) return found;
  br_x509_decoder_init(&decoder, nullptr, nullptr);
  br_x509_decoder_push(&decoder, id->chain[0].data, id->chain[0].data_len);
  if (br_x509_decoder_get_pkey(&decoder) == nullptr) {
    return fail_data(Step::bad_format, path, FWD_CRED_BAD_CERT);
  }
  id->valid = dates_of(decoder);
  id->issuer_key_type = br_x509_decoder_get_signer_key_type(&decoder);
  return kDone;
}

bool is_key_label(std::string_view label) {
  return label == "PRIVATE KEY" || label == "RSA PRIVATE KEY" || label == "EC PRIVATE KEY";
}

// The first private key of the PEM file at `path`. The text and the bytes that held it
// are wiped.
Status read_key(const char* path, FwdIdentity* id) {
  std::string_view pem;
  Status status = read_text(path, true, &pem);
  bool any = false;
  std::size_t at = 0;
  while (status.ok()) {
    FwdPemBlock block{};
    const int got = fwd_pem_next(pem, &at, der, sizeof der, &block);
    if (got == FWD_PEM_NONE) {
      status = fail_data(Step::bad_format, path, any ? FWD_CRED_NO_KEY : FWD_CRED_NOT_PEM);
    } else if (got == FWD_PEM_HEADERS || block.label == "ENCRYPTED PRIVATE KEY") {
      status = fail_data(Step::bad_format, path, FWD_CRED_ENCRYPTED);
    } else if (got < 0) {
      status = pem_fault(got, path);
    } else if (is_key_label(block.label)) {
      br_skey_decoder_init(&id->key);
      br_skey_decoder_push(&id->key, der, block.size);
      id->key_type = br_skey_decoder_key_type(&id->key);
      if (id->key_type == 0) status = fail_data(Step::bad_format, path, FWD_CRED_BAD_KEY);
      break;
    }
    any = true;
  }
  explicit_bzero(text, sizeof text);
  explicit_bzero(der, sizeof der);
  return status;
}

// Whether the private key is that of the public key `pk`: the public half worked out
// from it is the same (for RSA, the modulus).
bool key_matches(const FwdIdentity& id, const br_x509_pkey& pk) {
  if (id.key_type == BR_KEYTYPE_EC) {
    const br_ec_private_key* sk = br_skey_decoder_get_ec(&id.key);
    unsigned char q[BR_EC_KBUF_PUB_MAX_SIZE];
    br_ec_public_key pub{};
    const std::size_t len = br_ec_compute_pub(br_ec_get_default(), &pub, q, sk);
    return pk.key_type == BR_KEYTYPE_EC && pk.key.ec.curve == sk->curve && len > 0 &&
           len == pk.key.ec.qlen && memcmp(q, pk.key.ec.q, len) == 0;
  }
  const br_rsa_private_key* sk = br_skey_decoder_get_rsa(&id.key);
  unsigned char n[512];
  const br_rsa_compute_modulus modulus = br_rsa_compute_modulus_get_default();
  const std::size_t len = modulus(nullptr, sk);
  if (pk.key_type != BR_KEYTYPE_RSA || len == 0 || len > sizeof n) return false;
  (void)modulus(n, sk);
  const unsigned char* cert_n = pk.key.rsa.n;
  std::size_t cert_len = pk.key.rsa.nlen;
  for (; cert_len > 0 && *cert_n == 0; --cert_len) ++cert_n;
  std::size_t skip = 0;
  while (skip < len && n[skip] == 0) ++skip;
  return cert_len == len - skip && memcmp(cert_n, n + skip, cert_len) == 0;
}

}  // namespace

Status fwd_read_identity(const char* cert_path, const char* key_path, FwdIdentity* id) {
  Status status = read_chain(cert_path, id);
  if (status.ok()) status = read_key(key_path, id);
  // `decoder` still holds the certificate's key: the key file has its own decoder.
  if (status.ok() && !key_matches(*id, *br_x509_decoder_get_pkey(&decoder))) {
    status = fail_data(Step::mismatch, key_path);
  }
  return status;
}
