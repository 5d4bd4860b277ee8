#include "lib/msgq.h"

#include <sys/msg.h>
#include <syslog.h>

#include <array>
#include <cstddef>

#include "lib/log.h"

namespace {

struct QueueIdCache {
  std::int32_t filled;
  std::array<std::int32_t, DXA_QKEY_MAX> ids;
};

QueueIdCache qid_cache{};

// The number that every msgsnd() diagnostic of the module's daemons carries after the
// function's name; those who read the logs match on it.
constexpr int kMsgsndReportCode = 184;

}  // namespace

int dxa_getqid(std::uint32_t key, int flags) {
  if (qid_cache.filled == 0) {
    qid_cache.ids.fill(-1);
    qid_cache.filled = 1;
  }
  if (key >= DXA_QKEY_MAX) {
    log_msg(LOG_ERR, "%s: destination key(%d) out of range.", "dxa_getqid",
            static_cast<int>(key));
    return -1;
  }
  std::int32_t& id = qid_cache.ids[key];
  if (id < 0) {
    id = msgget(static_cast<key_t>(key), flags != 0 ? flags : DXA_DEFAULT_QFLAGS);
    if (id < 0) {
      log_msg_errno(LOG_ERR, "Unable to get new msg queue for queue key %d, flags = 0x%x",
                    static_cast<int>(key), static_cast<unsigned>(flags));
      return -1;
    }
  }
  return id;
}

int dxa_sendmsgq(int qid, const MsgHeader* msg, int flags) {
  // No retry, not even after a signal: a SIGUSR1 while waiting ends the holder anyway.
  if (msgsnd(qid, msg, static_cast<std::size_t>(msg->size), flags) == -1) {
    log_msg_errno(LOG_ERR,
                  "%s: %d: msgsnd() failed.Queue ID: %d; Type(DXA message priority): %ld; "
                  "Size: %d; Flags: %d; DXA message type: %d; DXA message pid: %d; "
                  "DXA message sender queue key: %d; ",
                  "dxa_sendmsgq", kMsgsndReportCode, qid, msg->pri, msg->size, flags, msg->type,
                  msg->pid, msg->skey);
    return -1;
  }
  return 0;
}

int dxa_sendmsgq_by_key(std::uint32_t key, const MsgHeader* msg) {
  const int qid = dxa_getqid(key, 0);
  if (qid < 0) return DXA_SEND_NO_QUEUE;
  if (dxa_sendmsgq(qid, msg, 0) != 0) return DXA_SEND_FAILED;
  return DXA_SENT;
}
