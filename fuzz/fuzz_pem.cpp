// The CA file's reader against any text, as a damaged or foreign file may hold: PEM
// blocks decoded, certificates read by BearSSL's decoder, and every trust anchor's name
// and key kept inside the anchors' own bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "module/sel-forward/tls_creds.h"

namespace {

FwdAnchors anchors;

bool inside(const void* p, std::size_t len) {
  const auto* at = static_cast<const unsigned char*>(p);
  return at >= anchors.bytes && at + len <= anchors.bytes + anchors.used;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Status status = fwd_parse_anchors(text, "fuzz", &anchors);
  if ((status.ok() && anchors.n == 0) || anchors.n > FWD_TLS_ANCHORS_MAX ||
      anchors.used > sizeof anchors.bytes) {
    abort();
  }
  for (std::size_t i = 0; i < anchors.n; ++i) {
    const br_x509_trust_anchor& ta = anchors.list[i];
    const br_x509_pkey& pk = ta.pkey;
    const bool key_kept = pk.key_type == BR_KEYTYPE_RSA
                              ? inside(pk.key.rsa.n, pk.key.rsa.nlen) &&
                                    inside(pk.key.rsa.e, pk.key.rsa.elen)
                              : inside(pk.key.ec.q, pk.key.ec.qlen);
    if (!inside(ta.dn.data, ta.dn.len) || !key_kept) abort();
  }
  return 0;
}
