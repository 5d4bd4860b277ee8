// The store's two fcntl record locks, which seld shares: the store lock, held while a
// reader is inside the oldest record file (seld drops or empties files only under it),
// and the info lock, held only while the info file is read or replaced.
//
// Lock order: the store lock, then the info lock. Nothing here reports: a failure comes
// back as a Status, and the program says it in its own words.
#pragma once

#include <csignal>

#include "lib/posix.h"
#include "lib/status.h"
#include "store/sel_format.h"

inline constexpr const char* SEL_LOCK_DB = "/velmar/run/seldb.lck";
inline constexpr const char* SEL_LOCK_INFO = "/velmar/run/seli.lck";

// A lock handle: the open descriptor of a lock file that holds an exclusive write lock
// over the whole file until it is closed (close-on-exec). It has one owner at a time and
// is closed when its owner drops it; sel_release_lock closes it earlier, where the
// protocol lets the lock go before the work is over.
class SelLock {
 public:
  bool held() const { return handle_.fd >= 0; }

 private:
  friend Status sel_lock_take(const char* path, SelLock* lock,
                              const volatile std::sig_atomic_t* stop);
  friend int sel_release_lock(SelLock& lock);
  FdGuard handle_;
};

// Takes the exclusive lock of the lock file at `path` into `*lock`, creating the file
// (mode 0666, whatever the file-creation mask) if missing, waiting (polling every 10
// microseconds, without limit) while another process holds it. A symlink or a file that
// is not regular there is a lock file that cannot be opened. Gives up with Step::stopped
// while another process holds the lock once `*stop` is set (a daemon that must end on a
// signal); `stop` may be null. A failed step names `path`; Step::fdflags has the fcntl()
// command that failed as its value.
Status sel_lock_take(const char* path, SelLock* lock,
                     const volatile std::sig_atomic_t* stop = nullptr);

// Closes the handle now, which drops its lock. The close's result; -1 when none is held.
int sel_release_lock(SelLock& lock);

// Reads the module's info file under the info lock, which it takes and releases. A
// failure names SEL_LOCK_INFO (the info lock was not had) or SEL_INFO_FILE (the file
// cannot be opened; `info` is not written then). Fields the file does not supply keep
// what they held.
Status sel_info_take(SelInfo* info);
