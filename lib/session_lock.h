// The session lock: one holder at a time per tool, an fcntl write lock on
// "/velmar/run/<tool>", with the holder's "user,pid" written into the file.
//
// While the lock is held SIGUSR1 ends the process with status 0 (or runs the
// callback given at acquisition instead).
#pragma once

#include "lib/session_defs.h"

using SessionCallback = void (*)(int signo);

// Opens the system log under `name` and tries the lock `attempts` times, a second
// apart, logging each failure. Prints "Resource locked by another user. Please try
// again later." and returns -1 when it never got the lock; 0 when it holds it.
// `name` must live for the whole run (the system log keeps the pointer).
int session_start(const char* name, int attempts);

// session_lock_acquire without asking.
int session_lock_try(const char* name, SessionCallback callback);

// session_lock_acquire asking, with the standard question naming the holder's user.
int session_lock_ask(const char* name, SessionCallback callback);

// session_lock_acquire asking, with `question` printed as it is instead.
int session_lock_ask_prompt(const char* name, SessionCallback callback, const char* question);

// Takes the session lock of `name`. With `ask` set and another process holding the
// lock, runs the takeover (the user is asked; `question` replaces the standard one).
int session_lock_acquire(const char* name, SessionCallback callback, int ask,
                         const char* question);

// Drops the lock: SIGUSR1 back to its default, the callback cleared, the descriptor
// closed. Returns the close's result (-1 when nothing was held).
int session_lock_release();

// A constant text for a result code; "unknown" for SESSION_HELD, SESSION_DECLINED and
// every code outside SESSION_E_ALLOC to SESSION_E_OPEN.
const char* session_lock_strerror(int code);

// Replaces the lock file's content with "user,pid" (cut to 50 characters, no newline).
// Returns SESSION_HELD, or SESSION_E_SEEK, SESSION_E_TRUNCATE or SESSION_E_WRITE; the
// lock stays held.
int session_lock_write_owner(const char* user, int pid);

// The SIGUSR1 handler while the lock is held.
void session_lock_on_sigusr1(int signo);

// The session of one run of a tool, held by its owner from session_start() to the end of
// the owner's scope, where it is released (when it was had at all).
class SessionHold {
 public:
  SessionHold(const char* name, int attempts) : held_(session_start(name, attempts) == 0) {}
  ~SessionHold() {
    if (held_) (void)session_lock_release();
  }
  SessionHold(const SessionHold&) = delete;
  SessionHold& operator=(const SessionHold&) = delete;
  SessionHold(SessionHold&&) = delete;
  SessionHold& operator=(SessionHold&&) = delete;

  bool held() const { return held_; }

 private:
  bool held_;
};
