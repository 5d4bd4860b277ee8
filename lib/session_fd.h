// The session lock's descriptor, shared by the acquire operation and the takeover.
// Not for other modules. It is this module's state and this module's to close: the
// others read and lock through it, and drop it only with the calls below.
#pragma once

// Descriptor of the open lock file; -1 when none is open.
int session_lock_fd();

// Opens (creating it for every user) the lock file at `path` and keeps its descriptor.
// Returns the descriptor, or -1.
int session_lock_open(const char* path);

// Closes the lock file descriptor and forgets it, keeping errno as it was, so that
// a caller can still report the error of the step that failed.
void session_lock_drop_fd();

// Closes the descriptor, which drops the lock, and forgets it if the close succeeded.
// close()'s result: -1 when nothing was open.
int session_lock_close();
