// sel-forward built without TLS (SEL_TLS off): relps:// is refused with its options, so
// that none of these is reached.
#include "module/sel-forward/secure.h"

bool fwd_secure_check(const FwdTlsFiles& /*files*/) { return false; }
bool fwd_secure_open(FwdSender* /*s*/) { return false; }
const char* fwd_secure_suite(FwdSender* /*s*/) { return ""; }
void fwd_secure_told(FwdSender* /*s*/, char* buf, std::size_t /*size*/) { buf[0] = '\0'; }
FwdLink fwd_secure_link(FwdSender* s) { return {s->fd, nullptr, nullptr}; }
void fwd_secure_close(FwdSender* /*s*/) {}
void fwd_secure_remind(FwdSender* /*s*/) {}
