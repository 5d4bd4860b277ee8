// The store's two fcntl record locks, which seld shares: the store lock, held while a
// reader is inside the oldest record file (seld drops or empties files only under it),
// and the info lock, held only while the info file is read or replaced.
//
// Lock order: the store lock, then the info lock. A lock handle is the descriptor of an
// open lock file that holds an exclusive write lock over the whole file until it is
// closed; handles are close-on-exec. Nothing here reports: a failure comes back as the
// step that failed and errno, and the program says it in its own words.
#pragma once

#include <csignal>

#include "store/sel_format.h"

inline constexpr const char* SEL_LOCK_DB = "/velmar/run/seldb.lck";
inline constexpr const char* SEL_LOCK_INFO = "/velmar/run/seli.lck";

// The step at which taking a lock failed (errno tells why).
enum : int {
  SEL_LOCK_E_OPEN = 1,  // the lock file cannot be opened or created (a link, a FIFO, ...)
  SEL_LOCK_E_LOCK,      // the lock request failed other than by a conflicting lock
  SEL_LOCK_E_GETFD,     // the descriptor's flags cannot be read
  SEL_LOCK_E_SETFD,     // or set (close-on-exec)
  SEL_LOCK_E_STOPPED,   // a stop was asked for while another process held the lock
};

// What failed at `step`, for a message before the path: "cannot open", "cannot lock", ...
const char* sel_lock_step_text(int step);

// Takes the exclusive lock of the lock file at `path`, creating it (mode 0666, whatever
// the file-creation mask) if missing, waiting (polling every 10 microseconds, without
// limit) while another process holds it. A symlink or a file that is not regular there
// is a lock file that cannot be opened. Gives up while another process holds the lock
// once `*stop` is set (a daemon that must end on a signal); `stop` may be null.
// Returns the lock handle, or -1 with `*failed_step` and errno set.
int sel_lock_take(const char* path, const volatile std::sig_atomic_t* stop, int* failed_step);

// Closes the handle, which drops its lock. Returns the close's result.
int sel_release_lock(int handle);

// Results of sel_info_take: the info file read, or why not.
inline constexpr int SEL_INFO_READ = 0;
inline constexpr int SEL_INFO_NO_FILE = 4;  // the info file cannot be opened (errno set)
inline constexpr int SEL_INFO_NO_LOCK = 6;  // the info lock was not had (`*failed_step`, errno)

// Reads the module's info file under the info lock, which it takes and releases.
// `info` is not written unless the file could be opened; fields the file does not
// supply keep what they held.
int sel_info_take(SelInfo* info, int* failed_step);
