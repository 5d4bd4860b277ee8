// seld: our stand-in for the module's SEL daemon. It owns the store under
// /mnt/logs/sel, creating an empty one when there is none, and takes requests on its
// queue (key 7): records to append, and the clear request. What it does with one
// message is standins/seld/seld_request.cpp; this is the queue loop.
//
// One seld serves a store: a second one, which would write records into the same
// slots, refuses to start. So does a seld that finds a store it cannot read as a ring
// (seld_ring.h); until it serves, what it logs goes to standard error too.
// With --number-on it numbers records on across the ring's wrap instead of by slot.
// SIGTERM (or SIGINT) ends it with status 0 once the request in hand is done, or at
// once while it waits for a lock.
#include <array>
#include <fcntl.h>
#include <signal.h>
#include <sys/msg.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>

#include "lib/log.h"
#include "lib/msgq.h"
#include "lib/posix.h"
#include "common/options.h"
#include "common/say.h"
#include "standins/seld/seld_request.h"
#include "standins/seld/seld_ring.h"

namespace {

enum Opt : int { kOperand = OPT_OPERAND, kNumberOn };

constexpr auto kSynopsis = std::to_array<const char*>({"[--number-on]"});
constexpr auto kOptions = std::to_array<OptRow>({
    {kNumberOn, "--number-on", 0, nullptr, 0,
     "number records on across the ring's wrap, not by slot"},
});
constexpr OptProgram kProgram{
    "seld", kSynopsis,
    "Our stand-in for the module's SEL daemon: keeps the SEL store in /mnt/logs/sel and\n"
    "takes requests on queue key 7 (records to append, the clear request). It refuses to\n"
    "start beside another seld and on a store whose record files show no ring. SIGTERM or\n"
    "SIGINT ends it.",
    kOptions};

bool take(void* ctx, int id, const char* value) {
  switch (static_cast<Opt>(id)) {
    case kOperand: return opt_no_operands(ctx, id, value);
    case kNumberOn: seld_number_on = true; return true;
  }
  return opt_untaken(id);
}

// Held for the whole life of the process: the mark of the one seld that serves.
constexpr const char* kOwnLock = "/velmar/run/seld.lck";

// The message that the signal handler puts on our own queue to end a wait in
// msgrcv(): a flag alone could be set just after the loop looked at it and just before
// the wait began. No request uses this message type.
constexpr long kWakeType = 0x7ffffff0L;

volatile sig_atomic_t wake_qid = -1;

void on_stop(int) {
  const int saved = errno;
  seld_stopping = 1;
  if (wake_qid >= 0) {
    const long wake[2] = {kWakeType, 0};  // the type and one long of nothing
    msgsnd(wake_qid, wake, sizeof wake[1], IPC_NOWAIT);
  }
  errno = saved;
}

// Takes seld's own lock, or says who has it. The descriptor (kept open for good), or -1.
int become_the_one() {
  FdGuard fd(open_lock_file(kOwnLock, O_WRONLY | O_CLOEXEC));
  if (fd.fd < 0) {
    log_msg_errno(LOG_ERR, "cannot open %s", kOwnLock);
    return -1;
  }
  if (lock_whole_file(fd.fd) == 0) return fd.release();
  if (errno == EACCES || errno == EAGAIN) {
    log_msg(LOG_ERR, "another seld (pid %d) serves the store: this one does not start",
            lock_holder(fd.fd));
  } else {
    log_msg_errno(LOG_ERR, "cannot lock %s", kOwnLock);
  }
  return -1;
}

// The requests on the queue, one at a time, until a signal stops seld: EXIT_DONE, or
// EXIT_PARTIAL when the queue cannot be read any more (logged).
int serve(int qid) {
  alignas(long) static unsigned char message[SEL_REQUEST_MSG_MAX];
  const std::size_t text_max = sizeof message - sizeof(long);
  while (seld_stopping == 0) {
    // MSG_NOERROR: an oversized message arrives cut short, and its size field then
    // tells it apart; without it the message would block the queue for good.
    const ssize_t n = msgrcv(qid, message, text_max, 0, MSG_NOERROR);
    if (n < 0) {
      if (errno == EINTR) continue;
      log_msg_errno(LOG_ERR, "cannot read queue id %d", qid);
      return EXIT_PARTIAL;
    }
    long type = 0;
    memcpy(&type, message, sizeof type);
    if (type == kWakeType) continue;  // ours, or left by an earlier run
    seld_handle_message(message, static_cast<std::size_t>(n) + sizeof(long));
  }
  // Wake messages that the signal left behind go; requests stay for the next run.
  while (msgrcv(qid, message, text_max, kWakeType, IPC_NOWAIT | MSG_NOERROR) >= 0) {
  }
  log_msg(LOG_INFO, "stopping on a signal");
  return EXIT_DONE;
}

}  // namespace

int main(int argc, char** argv) {
  // A daemon writes nothing on its standard descriptors but must not log into a file
  // that took the place of one (the system log's socket would otherwise be fd 1 or 2).
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return EXIT_NOTHING;
  const int early = opt_parse(kProgram, argc, argv, take, nullptr);
  if (early != OPT_RUN) return early;
  log_open("seld", LOG_PID | LOG_NDELAY | LOG_PERROR, LOG_DAEMON);

  struct sigaction sa {};
  sa.sa_handler = on_stop;  // no SA_RESTART: a signal ends the wait with EINTR
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  // Refused before it serves (logged): nothing done.
  if (become_the_one() < 0) return EXIT_NOTHING;
  if (seld_open_store() != 0) return seld_stopping != 0 ? EXIT_DONE : EXIT_NOTHING;
  const int qid = dxa_getqid(QKEY_SELD, 0);
  if (qid < 0) return EXIT_NOTHING;  // dxa_getqid has logged why
  wake_qid = qid;
  log_open("seld", LOG_PID | LOG_NDELAY, LOG_DAEMON);  // serving: the system log alone
  log_msg(LOG_INFO, "reading queue key %u", QKEY_SELD);
  return serve(qid);
}
