// confd: our stand-in for the module's configuration daemon, as far as the session
// takeover needs it. It reads its queue (key 20) and, on a takeover packet, sends
// SIGUSR1 to the process that holds the session, whose lock handler then ends it.
// Everything it does and everything it does not understand is logged ("confd").
// SIGTERM ends it with status 0.
#include <arpa/inet.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/msg.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>

#include "lib/log.h"
#include "lib/msgq.h"
#include "lib/packet.h"

namespace {

sigjmp_buf stop_jump;
volatile sig_atomic_t stop_requested = 0;
volatile sig_atomic_t receiving = 0;

// The jump leaves only the wait for a message, so a SIGTERM that arrives just before
// the wait begins cannot leave the daemon blocked in it.
void on_sigterm(int) {
  stop_requested = 1;
  if (receiving != 0) siglongjmp(stop_jump, 1);
}

struct Received {
  long pri;
  unsigned char text[sizeof(MsgHeader) - sizeof(long) + sizeof(PacketHeader) + DXA_PKT_MAX];
};

// A takeover packet's 12-byte body, as read here: bytes 0 and 1 are the command,
// high byte first (14: end the session of a process); bytes 2 and 3 the number of
// arguments, high byte first (1); then each argument as a 16-bit length in host order
// (4), two reserved bytes and the argument itself: the session holder's pid, of which
// only the low 16 bits travel, in network order, in the low half of a host-order word.
bool is_takeover(const TakeoverPacket& p, ssize_t length) {
  return length == static_cast<ssize_t>(sizeof p - sizeof p.header.pri) &&
         p.header.type == DXA_PKT_TYPE && p.header.size == length &&
         p.packet.key == QKEY_CONFD && p.body.command[0] == 0 &&
         p.body.command[1] == TAKEOVER_COMMAND && p.body.arg_count[0] == 0 &&
         p.body.arg_count[1] == 1 && p.body.arg_len == 4;
}

void handle(const Received& message, ssize_t length) {
  TakeoverPacket packet{};
  const std::size_t got = sizeof message.pri + static_cast<std::size_t>(length);
  memcpy(&packet, &message, got < sizeof packet ? got : sizeof packet);
  if (!is_takeover(packet, length)) {
    log_msg(LOG_NOTICE, "ignoring a message of type %d, %d bytes",
            length >= 4 ? packet.header.type : -1, static_cast<int>(length));
    return;
  }
  const int pid = ntohs(static_cast<std::uint16_t>(packet.body.pid));
  if (pid == 0) {  // kill() would take 0 for our own process group
    log_msg(LOG_NOTICE, "ignoring a takeover packet without a pid");
    return;
  }
  if (kill(pid, SIGUSR1) != 0) {
    log_msg_errno(LOG_ERR, "takeover: cannot signal pid %d", pid);
    return;
  }
  log_msg(LOG_INFO, "takeover: sent SIGUSR1 to pid %d", pid);
}

}  // namespace

int main() {
  log_open("confd", LOG_PID | LOG_NDELAY, LOG_DAEMON);

  struct sigaction sa {};
  sa.sa_handler = on_sigterm;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);

  const int qid = dxa_getqid(QKEY_CONFD, 0);
  if (qid < 0) return 1;  // dxa_getqid has logged why
  log_msg(LOG_INFO, "reading queue key %u", QKEY_CONFD);

  static Received message;
  if (sigsetjmp(stop_jump, 1) == 0) {
    for (;;) {
      receiving = 1;
      if (stop_requested != 0) break;
      const ssize_t length = msgrcv(qid, &message, sizeof message.text, 0, MSG_NOERROR);
      receiving = 0;
      if (length >= 0) {
        handle(message, length);
      } else if (errno != EINTR) {
        log_msg_errno(LOG_ERR, "cannot read queue id %d", qid);
        return 1;
      }
    }
  }
  receiving = 0;
  log_msg(LOG_INFO, "stopping on SIGTERM");
  return 0;
}
