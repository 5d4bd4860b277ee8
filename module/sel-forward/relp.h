// The client's side of RELP, the reliable event logging protocol of rsyslog's imrelp
// input, as much of it as sel-forward needs. Every frame, both ways, is
//   TXNR SP COMMAND SP DATALEN [SP DATA] LF
// TXNR numbers the client's frames from 1 (after 999999999 comes 1 again); the collector
// answers each with an "rsp" frame of the same TXNR whose DATA begins with a status
// ("200 OK"). A session is opened with "open" (our offers: relp_version=0,
// relp_software, commands=syslog; the answer must offer syslog too), carries each
// message as a "syslog" frame, and is ended with "close". The collector may end it with
// "serverclose" (TXNR 0).
//
// Up to FWD_RELP_WINDOW messages may be sent and not yet answered. Answers come in the
// order of the frames; a message counts as accepted once it is answered 200, and
// nothing after a message that was not is.
#pragma once

#include <cstddef>
#include <string_view>

#include "lib/status.h"
#include "lib/visible.h"
#include "module/sel-forward/format.h"
#include "module/sel-forward/link.h"

inline constexpr int FWD_RELP_WINDOW = 100;
inline constexpr std::size_t FWD_RELP_IN_MAX = 1024;  // the longest answer taken
inline constexpr std::size_t FWD_RELP_SAID_MAX = 40;  // what is kept of a wrong answer

// What the collector did that the protocol does not let it: the kind, and the start of
// what it said (as lib/visible.h shows it), for the log.
struct FwdRelpFault {
  enum Kind {
    none,
    overlong,       // sent a frame longer than FWD_RELP_IN_MAX
    not_relp,       // sent bytes that are no RELP frame
    other_command,  // sent a command other than "rsp" (`said`: the command)
    not_in_flight,  // answered a frame that was not sent, or not yet (`said`: the answer,
                    // `due`: the frame whose answer was due, 0: none was)
    refused,        // answered with a status other than 200 (`said`: the answer)
    no_syslog,      // answered "open" without offering the syslog command
    ended,          // ended the session ("serverclose")
  } kind;
  char said[FWD_RELP_SAID_MAX * VISIBLE_MAX + 1];
  unsigned long due;
};

// A session: the client's numbering, what came in and was not yet taken, the frame on its
// way out, and the collector's last fault.
struct FwdRelp {
  unsigned long txnr;  // of the next frame sent
  char in[FWD_RELP_IN_MAX];
  std::size_t in_len;  // bytes in `in`: what the collector sent and was not yet taken
  char out[FWD_MSG_MAX + 48];
  std::size_t out_len;  // the frame in `out`
  std::size_t out_off;  // and how much of it is sent
  FwdRelpFault fault;   // after EPROTO or ECONNRESET: what the collector did
};

struct FwdRelpFrame {
  unsigned long txnr;
  std::string_view command;
  std::string_view data;
};

// Writes a frame's head, "TXNR SP COMMAND SP DATALEN" and the SP before DATA when there
// is some, into `dst` of `room` bytes. Its length, or 0 when it does not fit.
std::size_t fwd_relp_head(char* dst, std::size_t room, unsigned long txnr, const char* command,
                          std::size_t data_len);

// Takes one frame from the start of `buf`: 1 with `*f` and its length `*used`; 0 when
// the frame is not whole yet; -1 when the bytes are no RELP frame.
int fwd_relp_parse(const char* buf, std::size_t len, FwdRelpFrame* f, std::size_t* used);

// The status at the start of an answer's data (200 for "200 OK"), or -1.
int fwd_relp_status(std::string_view data);

// The session over `link` (a connected socket, or TLS on it). A failure is a Step::socket
// whose error says how: EPROTO when the collector answered otherwise than the protocol
// says (`fault` tells how), ETIMEDOUT when it did not answer in time, ECONNRESET when it
// closed or ended the session, EINTR when a stop cut the wait short, or the error of a
// send or receive.
Status fwd_relp_open(FwdRelp* r, const FwdLink& link, int timeout_ms);

// Sends the `n` messages in `data` (message i ends at byte ends[i]) as syslog frames
// and waits for their answers, giving up when nothing moves for `stall_ms` (or a second
// after a stop was asked for: no frame is begun after it). `*accepted` is how many were
// accepted, from the first; the Status is done when all were, or a stop left the rest
// unsent with nothing in flight.
Status fwd_relp_send(FwdRelp* r, const FwdLink& link, const char* data,
                     const std::size_t* ends, int n, int stall_ms, int* accepted);

// Ends the session politely: "close", and its answer awaited for up to `timeout_ms`.
void fwd_relp_close(FwdRelp* r, const FwdLink& link, int timeout_ms);

// What the collector did, as the log tells it after the failure: ": it ..." and what
// it said, or "" when it did nothing wrong (the connection was merely lost). Into `buf`,
// which it returns.
inline constexpr std::size_t FWD_RELP_TOLD_MAX = 96 + sizeof FwdRelpFault::said;
const char* fwd_relp_told(const FwdRelpFault& fault, char (&buf)[FWD_RELP_TOLD_MAX]);

// Takes what an idle collector sent: done while the session stands, else a failure as
// above (the collector closed or ended it, or sent what it must not).
Status fwd_relp_idle(FwdRelp* r, const FwdLink& link);
