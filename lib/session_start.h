// The start of a tool's run: the system log opened under its name and its session lock
// taken (session_lock.h), retrying while another user holds it.
#pragma once

// Opens the system log under `name` and tries the lock `attempts` times, a second
// apart, logging each failure. Prints "Resource locked by another user. Please try
// again later." and returns -1 when it never got the lock; 0 when it holds it.
// `name` must live for the whole run (the system log keeps the pointer).
int session_start(const char* name, int attempts);

// The session of one run of a tool, held by its owner from session_start() to the end of
// the owner's scope, where it is released (when it was had at all).
class SessionHold {
 public:
  SessionHold(const char* name, int attempts) : held_(session_start(name, attempts) == 0) {}
  ~SessionHold();
  SessionHold(const SessionHold&) = delete;
  SessionHold& operator=(const SessionHold&) = delete;
  SessionHold(SessionHold&&) = delete;
  SessionHold& operator=(SessionHold&&) = delete;

  bool held() const { return held_; }

 private:
  bool held_;
};
