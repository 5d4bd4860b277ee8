// Where the messages go: a connection to the collector (plain TCP, RELP, or RELP inside
// TLS: secure.h), or standard output.
//
// Over plain TCP, a message counts as accepted once the collector's system has
// acknowledged every byte of it (the socket's send queue has emptied up to its end); a
// syslog collector gives no acknowledgment of its own. Over RELP it counts once the
// collector has answered it "200 OK" (relp.h). Nothing blocks: a connection (and the
// RELP session's opening) is tried for at most FWD_CONNECT_MS, a send that makes no
// progress for FWD_STALL_MS fails, and after a failure the next attempt waits, from one
// second doubling up to one minute.
#pragma once

#include <cstddef>

#include "module/sel-forward/format.h"
#include "module/sel-forward/relp.h"

inline constexpr int FWD_CONNECT_MS = 5000;
inline constexpr int FWD_STALL_MS = 30000;
// The longest wait before the next attempt after failures, the collector's or the store's.
inline constexpr int FWD_RETRY_MAX_MS = 60000;

enum class FwdTransport { out, tcp, relp, relps };

// What relps:// is given: the CA file, the collector's name, and the module's own
// certificate and key files (both null: none).
struct FwdTlsFiles {
  const char* ca;
  const char* name;
  const char* cert;
  const char* key;
};

struct FwdSender {
  FwdTransport transport;
  const char* host;  // of the collector
  const char* port;
  int fd;          // the connection (standard output: 1), or -1 while there is none
  int backoff_ms;  // the wait after the next failure
  long long retry_at;
  bool failing;  // a failure was logged and no message accepted since
  bool dead;     // standard output cannot be written: nothing more can be sent
  FwdRelp relp;  // the RELP session on `fd`
  const FwdTlsFiles* tls;  // relps://: what its TLS sessions are given
};

// The framing that the transport's messages need.
FwdFraming fwd_framing(FwdTransport transport, FwdFormat format);

void fwd_sender_init(FwdSender* s, FwdTransport transport, const char* host, const char* port);

// Connects, unless connected or the wait after a failure is not over. Whether there is
// a connection now.
bool fwd_ready(FwdSender* s);

// Sends the `n` messages in `data` (message i ends at byte ends[i]) and waits for their
// acceptance. Returns how many were accepted, from the first: all, or fewer when the
// connection failed (it is closed, logged once, and the next attempt waits) or when a
// stop was asked for (the messages already written get a second to be acknowledged).
int fwd_send(FwdSender* s, const char* data, const std::size_t* ends, int n);

// After a wait on the connection woke up: closes it when the collector closed or reset
// it, or ended the RELP session (an idle collector has nothing to say).
void fwd_check_peer(FwdSender* s);

// Closes the connection at the end, a RELP session with its closing exchange.
void fwd_sender_end(FwdSender* s);
