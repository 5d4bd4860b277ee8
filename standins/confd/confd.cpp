// confd: our stand-in for the module's configuration daemon, as far as the session
// takeover needs it. It reads its queue (key 20) and, on a takeover packet, sends
// SIGUSR1 to the process that holds the session, whose lock handler then ends it.
// The packet carries only the low 16 bits of the holder's pid, and whoever asks for
// the takeover read that pid from a file anybody can write: so the holder is the one
// that the kernel says holds the lock of /velmar/run/sel, and it is signalled only
// when its pid ends in the packet's 16 bits. Everything it does and everything it
// does not understand is logged ("confd"). SIGTERM ends it with status 0.
#include <array>
#include <arpa/inet.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/msg.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>

#include "lib/log.h"
#include "lib/msgq.h"
#include "lib/packet.h"
#include "lib/posix.h"
#include "common/options.h"
#include "common/say.h"

namespace {

constexpr auto kSynopsis = std::to_array<const char*>({"[--help | --version]"});
constexpr OptProgram kProgram{
    "confd", kSynopsis,
    "Our stand-in for the module's configuration daemon, as far as the session takeover\n"
    "needs it: takes takeover packets on queue key 20 and sends SIGUSR1 to the process\n"
    "that holds the sel session (/velmar/run/sel) when the packet names it. SIGTERM ends\n"
    "it.",
    {}};

constexpr const char* kSessionLock = "/velmar/run/sel";

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

// The process that holds the session lock, as the kernel knows it: 0 when none does,
// -1 when that cannot be told (logged).
int session_holder() {
  const FdGuard fd(open_regular(kSessionLock, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.fd < 0) {
    if (errno == ENOENT) return 0;
    log_msg_errno(LOG_ERR, "takeover: cannot open %s", kSessionLock);
    return -1;
  }
  const int holder = lock_holder(fd.fd);
  if (holder < 0) log_msg_errno(LOG_ERR, "takeover: cannot ask who locks %s", kSessionLock);
  return holder;
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
  const unsigned named = ntohs(static_cast<std::uint16_t>(packet.body.pid));
  const int holder = session_holder();
  if (holder < 0) return;  // logged
  if (holder == 0) {
    log_msg(LOG_NOTICE, "takeover: nobody holds the session: nothing sent");
    return;
  }
  if ((static_cast<unsigned>(holder) & 0xffffU) != named) {
    log_msg(LOG_NOTICE, "takeover: the packet names pid %u, but pid %d holds the session: "
            "nothing sent", named, holder);
    return;
  }
  // The lock was held a moment ago: for its pid to name another process now, the holder
  // would have had to end and the pid to come round again in between.
  if (kill(holder, SIGUSR1) != 0) {
    log_msg_errno(LOG_ERR, "takeover: cannot signal pid %d", holder);
    return;
  }
  log_msg(LOG_INFO, "takeover: sent SIGUSR1 to pid %d", holder);
}

}  // namespace

int main(int argc, char** argv) {
  // A daemon writes nothing on its standard descriptors but must not log into a file
  // that took the place of one (the system log's socket would otherwise be fd 1 or 2).
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return EXIT_NOTHING;
  const int early = opt_parse(kProgram, argc, argv, opt_no_operands, nullptr);
  if (early != OPT_RUN) return early;
  log_open("confd", LOG_PID | LOG_NDELAY, LOG_DAEMON);

  struct sigaction sa {};
  sa.sa_handler = on_sigterm;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);

  const int qid = dxa_getqid(QKEY_CONFD, 0);
  if (qid < 0) return EXIT_NOTHING;  // dxa_getqid has logged why
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
        return EXIT_PARTIAL;
      }
    }
  }
  receiving = 0;
  log_msg(LOG_INFO, "stopping on SIGTERM");
  return EXIT_DONE;
}
