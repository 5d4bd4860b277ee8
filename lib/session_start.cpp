#include "lib/session_start.h"

#include <cerrno>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

#include "lib/log.h"
#include "lib/session_lock.h"

int session_start(const char* name, int attempts) {
  const char* user = cuserid(nullptr);
  if (user == nullptr) user = "";
  log_open(name, LOG_PID | LOG_CONS | LOG_NDELAY, LOG_USER);

  int result = 0;
  for (int tries = 0; result != SESSION_HELD && tries < attempts; ++tries) {
    result = session_lock_try(name, nullptr);
    if (result != SESSION_HELD) {
      // A FIFO or a device at the lock path fails every attempt alike, with nothing but
      // "Invalid argument" to say why, and the user is told the lock is busy: the log
      // says what is wrong, once.
      const bool odd_file = result == SESSION_E_OPEN && errno == EINVAL;
      log_msg_errno(LOG_ERR, "user %s: get %s lock error %d: %s", user, name, result,
                    session_lock_strerror(result));
      if (odd_file && tries == 0) {
        log_msg(LOG_ERR, "%s%s is not a regular file: remove it", SESSION_LOCK_DIR, name);
      }
      sleep(1);
    }
  }
  if (result != SESSION_HELD) {
    puts("Resource locked by another user. Please try again later.");
    return -1;
  }
  return 0;
}

SessionHold::~SessionHold() {
  if (held_) (void)session_lock_release();
}
