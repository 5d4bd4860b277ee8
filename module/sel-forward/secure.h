// relps://: RELP inside TLS. The sender's connection gets a TLS session before its RELP
// session; the CA file, and the module's certificate and key, are read again for every
// new connection, so that renewed files need no restart. What keeps a session from
// standing is said in words the operator can act on: on standard error at the start,
// in the system log (once an outage, as the sender's other failures) while running.
#pragma once

#include <cstddef>

#include "module/sel-forward/link.h"
#include "module/sel-forward/sender.h"

// At the start: whether the files can be used, with the reason said when they cannot.
bool fwd_secure_check(const FwdTlsFiles& files);

// On the sender's new connection: the files read again and the handshake made, within
// FWD_CONNECT_MS. Whether the session stands; why not is logged.
bool fwd_secure_open(FwdSender* s);

// How the session protects what it carries, for the log: " (TLS 1.2, ECDHE-ECDSA with
// ChaCha20-Poly1305)".
const char* fwd_secure_suite(FwdSender* s);

// After a failure of the RELP session over it: how the TLS session failed, as
// ": it ended the TLS session (TLS alert 20, bad record MAC)", into `buf`; "" when it
// did not.
void fwd_secure_told(FwdSender* s, char* buf, std::size_t size);

// The TLS session as the RELP session's link.
FwdLink fwd_secure_link(FwdSender* s);

// Ends the session politely (its close_notify), within FWD_STOP_GRACE_MS.
void fwd_secure_close(FwdSender* s);

// At most once a day: logs that the module's certificate ends within 30 days, or that
// it is outside its dates by the module's clock.
void fwd_secure_remind(FwdSender* s);
