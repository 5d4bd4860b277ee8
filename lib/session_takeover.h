// The asking mode of the session lock: the holder named in the lock file is asked,
// through confd, to give up its session. Not for other modules.
#pragma once

#include <sys/types.h>

// Run when another process holds the lock whose descriptor is open: asks the user and,
// on yes, has the holder ended and takes the lock. Returns SESSION_HELD with the lock
// taken, or a result code of the session lock with the descriptor released.
int session_lock_take_over(off_t file_size, const char* name, const char* question);
