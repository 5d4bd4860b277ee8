// The module's SEL store as `sel` reads it: the store in /mnt/logs/sel, guarded by two
// fcntl record locks that seld shares, and the option dispatcher.
//
// Lock order: the store lock, then (only while the info file is read) the info lock.
// A lock handle is the descriptor of an open lock file that holds an exclusive write
// lock until it is closed.
#pragma once

#include <csignal>
#include <cstdio>

#include "store/sel_format.h"

inline constexpr const char* SEL_LOCK_DB = "/velmar/run/seldb.lck";
inline constexpr const char* SEL_LOCK_INFO = "/velmar/run/seli.lck";

// Modes of sel_run_option, as the front end passes them.
inline constexpr int SEL_MODE_RD_ALL = 0;
inline constexpr int SEL_MODE_RD_LAST = 3;
inline constexpr int SEL_MODE_RD_FIRST = 4;
inline constexpr int SEL_MODE_INFO = 5;

// Results of the store access.
inline constexpr int SEL_OK = 0;
inline constexpr int SEL_NO_RECORD_FILE = 2;  // a record file could not be opened
inline constexpr int SEL_INFO_NO_FILE = 4;    // sel_get_info: the info file cannot be opened
inline constexpr int SEL_INFO_NO_LOCK = 6;    // sel_get_info: the info lock was not had
inline constexpr int SEL_NO_STORE = -1;       // the store lock or the info file was not had

// Takes the exclusive lock of the lock file at `path`, creating it (mode 0666) if
// missing, waiting (polling every 10 microseconds) while another process holds it.
// A symlink or a file that is not regular there counts as a file that cannot be opened.
// Returns the lock handle, or -1 after logging the failure.
int sel_get_lock(const char* path);

// As sel_get_lock, but gives up (-1, nothing logged) while another process holds the
// lock once `*stop` is set, for a daemon that must end on a signal; `stop` may be null.
int sel_get_lock_unless(const char* path, const volatile std::sig_atomic_t* stop);

// Closes the handle, which drops its lock. Returns the close's result.
int sel_release_lock(int handle);

// Reads the module's info file under the info lock. Returns SEL_OK, SEL_INFO_NO_LOCK or
// SEL_INFO_NO_FILE (`info` is not written then).
int sel_get_info(SelInfo* info);

// The summary of the `info` option. Returns SEL_OK.
int sel_print_info(const SelInfo& info, FILE* out = stdout);

// Runs one option for the front end: takes the store lock, reads the info file and
// runs the mode, which releases the store lock. A mode that could not open a record
// file makes it print "Clear SEL." and ask `seld` to clear the store.
// Returns SEL_OK, SEL_NO_RECORD_FILE or SEL_NO_STORE.
int sel_run_option(int mode, int count, FILE* out = stdout);
