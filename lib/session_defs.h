// The session lock's limits and the result codes of its acquire operation, shared by
// the lock and its takeover. The values are the interface: callers log them as numbers.
#pragma once

inline constexpr int SESSION_LOCK_PATH_MAX = 50;  // characters of the lock file path
inline constexpr int SESSION_OWNER_MAX = 50;      // characters of the owner text
inline constexpr const char* SESSION_LOCK_DIR = "/velmar/run/";

// Results of the acquire operation. The codes from SESSION_E_READ to SESSION_E_SETFD and
// SESSION_E_ALLOC arise only in asking mode; SESSION_E_SEEK to SESSION_E_WRITE leave the
// lock held with the owner text missing, old or partial.
enum : int {
  SESSION_HELD = 1,      // the lock is held and the owner written
  SESSION_DECLINED = 0,  // asking mode: the user did not answer y
  SESSION_E_OPEN = -1,   // the lock file cannot be opened or created
  SESSION_E_STAT = -2,
  SESSION_E_LOCK = -3,       // another process holds the lock (or locking failed)
  SESSION_E_READ = -4,       // the holder's text cannot be read
  SESSION_E_DELIMITER = -5,  // the holder's text has no comma
  SESSION_E_PID = -6,        // the holder's pid is 0 or this process's own
  SESSION_E_MESSAGE = -7,    // the takeover packet could not be sent
  SESSION_E_RETAKE = -8,     // the holder kept the lock after the takeover packet
  SESSION_E_GETFD = -9,
  SESSION_E_SETFD = -10,
  SESSION_E_SEEK = -11,
  SESSION_E_TRUNCATE = -12,
  SESSION_E_WRITE = -13,
  SESSION_E_REOPEN = -14,  // this process holds the lock already
  SESSION_E_ALLOC = -15,   // the takeover packet could not be allocated
};
