// The session lock: one holder at a time per tool, an fcntl write lock on
// "/velmar/run/<tool>", with the holder's "user,pid" written into the file.
//
// While the lock is held SIGUSR1 ends the process with status 0 (or runs the
// callback given at acquisition instead).
#pragma once

#include "lib/session_defs.h"

using SessionCallback = void (*)(int signo);

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

