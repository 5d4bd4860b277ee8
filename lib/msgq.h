// System V message queues of the module's daemons.
//
// Each daemon owns one queue, named by a queue key from 0 to 31 that is also the
// queue's IPC key. Messages are in the host's byte order (sender and receiver share
// the machine) and start with a MsgHeader.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t QKEY_SELD = 7;    // seld: the SEL store
inline constexpr std::uint32_t QKEY_CONFD = 20;  // confd: ends other users' sessions
inline constexpr std::uint32_t DXA_QKEY_MAX = 32;
inline constexpr int DXA_DEFAULT_QFLAGS = 950;   // 01666: IPC_CREAT, read and write for all

// `pri` is the System V message type, which msgsnd() reads as a long: 4 bytes on the
// module, as the header's 20 bytes say, and 8 on a 64-bit host, where the header is 24
// bytes. A fixed 32-bit field would put `type` where such a kernel reads the high half of
// the message type. `size` counts the bytes after `pri` and is what msgsnd() is given.
struct MsgHeader {
  long pri;            // greater than 0; "message priority" in diagnostics
  std::int32_t type;   // 6 a request to seld, 2 a packet
  std::int32_t pid;    // the sender's pid; 0 from this tool
  std::int32_t skey;   // the sender's queue key for replies; 0 from this tool
  std::int32_t size;
};

// The queue id of `key`, created if missing. `flags` go to msgget(); 0 means
// DXA_DEFAULT_QFLAGS. The id is cached for the rest of the run; a failure is not,
// so the next call tries again. -1 for a key outside 0 to 31 or a failing msgget().
int dxa_getqid(std::uint32_t key, int flags);

// Sends `msg` (msg->size bytes after pri) once with msgsnd(). 0, or -1 (logged).
int dxa_sendmsgq(int qid, const MsgHeader* msg, int flags);

// Results of dxa_sendmsgq_by_key.
enum : int {
  DXA_SENT = 0,
  DXA_SEND_NO_QUEUE = -1,  // the key gives no queue id
  DXA_SEND_FAILED = -2,    // msgsnd() failed
};

// Sends `msg` to the queue of `key`, waiting while the queue is full. One of the results
// above.
int dxa_sendmsgq_by_key(std::uint32_t key, const MsgHeader* msg);
