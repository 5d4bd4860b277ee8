// State shared by the session lock and its takeover (asking mode). Not for other modules.
#pragma once

#include <sys/types.h>

// Descriptor of the open, locked lock file; -1 when the session lock is not held.
int session_lock_fd();

// Closes the lock file descriptor and forgets it, keeping errno as it was, so that
// a caller can still report the error of the step that failed.
void session_lock_drop_fd();

// Asks once, without waiting, for the write lock over the whole lock file. fcntl's result.
int session_lock_request(int fd);

// Asking mode, run when another process holds the lock: asks the user and, on yes,
// has the holder ended and takes the lock. Returns 1 with the lock taken, or a
// result code with the descriptor released.
int session_lock_take_over(off_t file_size, const char* name, const char* question);
