// The collector's certificates, checked as BearSSL's minimal X.509 engine checks them
// (a chain up to one of the trust anchors, the name, every certificate's dates by the
// module's clock, the kinds and sizes of keys), with what the check saw kept for the
// operator when it fails: the common name of the collector's certificate, and the first
// certificate outside its dates, with those dates and the module's time.
#pragma once

#include <bearssl.h>

#include "module/sel-forward/tls_creds.h"
#include "module/sel-forward/tls_time.h"

struct FwdVerify {
  const br_x509_class* vtable;  // first: BearSSL calls through a pointer to it
  br_x509_minimal_context minimal;
  br_x509_decoder_context decoder;  // the certificate being read, for its dates
  br_name_element cn;
  char cn_text[72];  // the collector's certificate's common name, "" when none
  int certs;         // the certificates that the collector sent
  int outside;       // the first one outside its dates (0: the collector's), or -1
  FwdTlsValidity outside_dates;
  FwdTlsTime now;  // the module's clock at the check
};

// Sets up the check against `anchors`, which must stay in place while it is used.
void fwd_verify_init(FwdVerify* v, const FwdAnchors& anchors);
