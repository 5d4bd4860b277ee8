#include "module/sel-forward/tls_verify.h"

#include <cstddef>

namespace {

// The OID of the common name (2.5.4.3), with its length first, as BearSSL takes it.
constexpr unsigned char kCommonName[] = {3, 0x55, 0x04, 0x03};

// BearSSL hands each call the address of the vtable pointer, the first member.
FwdVerify* of(const br_x509_class** ctx) { return reinterpret_cast<FwdVerify*>(ctx); }
const br_x509_class** inner(FwdVerify* v) { return &v->minimal.vtable; }

void start_chain(const br_x509_class** ctx, const char* server_name) {
  FwdVerify* v = of(ctx);
  v->certs = 0;
  v->outside = -1;
  v->cn_text[0] = '\0';
  v->now = fwd_tls_now();
  // The minimal engine's dates are those of the same clock reading as the message's.
  br_x509_minimal_set_time(&v->minimal, v->now.days, v->now.seconds);
  v->minimal.vtable->start_chain(inner(v), server_name);
}

void start_cert(const br_x509_class** ctx, std::uint32_t length) {
  FwdVerify* v = of(ctx);
  v->minimal.vtable->start_cert(inner(v), length);
  br_x509_decoder_init(&v->decoder, nullptr, nullptr);
}

void append(const br_x509_class** ctx, const unsigned char* buf, std::size_t len) {
  FwdVerify* v = of(ctx);
  v->minimal.vtable->append(inner(v), buf, len);
  br_x509_decoder_push(&v->decoder, buf, len);
}

void end_cert(const br_x509_class** ctx) {
  FwdVerify* v = of(ctx);
  v->minimal.vtable->end_cert(inner(v));
  // The decoder keeps the dates in its context; BearSSL 0.6 offers no call for them.
  const br_x509_decoder_context& d = v->decoder;
  const FwdTlsValidity dates{{d.notbefore_days, d.notbefore_seconds},
                             {d.notafter_days, d.notafter_seconds}};
  if (v->outside < 0 && br_x509_decoder_last_error(&v->decoder) == 0 &&
      !fwd_tls_within(dates, v->now)) {
    v->outside = v->certs;
    v->outside_dates = dates;
  }
  ++v->certs;
}

unsigned end_chain(const br_x509_class** ctx) {
  FwdVerify* v = of(ctx);
  const unsigned err = v->minimal.vtable->end_chain(inner(v));
  if (v->cn.status <= 0) v->cn_text[0] = '\0';
  return err;
}

const br_x509_pkey* get_pkey(const br_x509_class* const* ctx, unsigned* usages) {
  const auto* v = reinterpret_cast<const FwdVerify*>(ctx);
  return v->minimal.vtable->get_pkey(&v->minimal.vtable, usages);
}

constexpr br_x509_class kVerify = {
    sizeof(FwdVerify), start_chain, start_cert, append, end_cert, end_chain, get_pkey,
};

}  // namespace

void fwd_verify_init(FwdVerify* v, const FwdAnchors& anchors) {
  v->vtable = &kVerify;
  br_x509_minimal_context* m = &v->minimal;
  br_x509_minimal_init(m, &br_sha256_vtable, anchors.list, anchors.n);
  // The signatures of certificates: SHA-256 and longer, by RSA or ECDSA.
  br_x509_minimal_set_hash(m, br_sha256_ID, &br_sha256_vtable);
  br_x509_minimal_set_hash(m, br_sha384_ID, &br_sha384_vtable);
  br_x509_minimal_set_hash(m, br_sha512_ID, &br_sha512_vtable);
  br_x509_minimal_set_rsa(m, br_rsa_pkcs1_vrfy_get_default());
  br_x509_minimal_set_ecdsa(m, br_ec_get_default(), br_ecdsa_vrfy_asn1_get_default());
  v->cn = br_name_element{kCommonName, v->cn_text, sizeof v->cn_text, 0};
  br_x509_minimal_set_name_elements(m, &v->cn, 1);
}
