// The SEL store as `seld` keeps it: an info file of five integers and a ring of four
// record files of at most 1000 64-byte records, guarded by two fcntl record locks.
//
// Lock order: the store lock, then (only while the info file is read) the info lock.
// A lock handle is the descriptor of an open lock file that holds an exclusive write
// lock until it is closed.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr const char* SEL_INFO_FILE = "/mnt/logs/sel/sel.inf";
inline constexpr const char* SEL_FILE_PREFIX = "/mnt/logs/sel/sel.";
inline constexpr const char* SEL_LOCK_DB = "/velmar/run/seldb.lck";
inline constexpr const char* SEL_LOCK_INFO = "/velmar/run/seli.lck";

inline constexpr int SEL_FILES = 4;
inline constexpr int SEL_RECS_PER_FILE = 1000;
inline constexpr int SEL_MAX_RECS = SEL_FILES * SEL_RECS_PER_FILE;
inline constexpr int SEL_PATH_MAX = 100;

// Modes of sel_run_option, as the front end passes them.
inline constexpr int SEL_MODE_RD_ALL = 0;
inline constexpr int SEL_MODE_RD_LAST = 3;
inline constexpr int SEL_MODE_RD_FIRST = 4;
inline constexpr int SEL_MODE_INFO = 5;

// The info file, in its field order. `fields_read` is ours: how many of the five the
// file supplied (the fields it did not supply keep what they held).
struct SelInfo {
  std::int32_t version;
  std::int32_t rec_count;
  std::int32_t oldest_file;
  std::int32_t latest_file;
  std::int32_t latest_id;
  int fields_read;
};

// Takes the exclusive lock of the lock file at `path`, creating it (mode 0666) if
// missing, waiting (polling every 10 microseconds) while another process holds it.
// Returns the lock handle, or -1 after logging the failure.
int sel_get_lock(const char* path);

// Closes the handle, which drops its lock. Returns the close's result.
int sel_release_lock(int handle);

// Reads the info file under the info lock. Returns 0, 6 (no info lock) or 4 (the file
// cannot be opened; `info` is not written).
int sel_get_info(SelInfo* info);

// Reads the info file at `path` without any lock, for copies of a store taken off a
// module. Returns 0, or -1 when the file cannot be opened (`info` is not written).
int sel_read_info(const char* path, SelInfo* info);

// Whether the readers can trust `info`: five numbers, a record count of 0 to 4000 and
// file indexes of 0 to 3. Otherwise writes why into `why` and returns false.
bool sel_info_usable(const SelInfo& info, char* why, std::size_t why_size);

// The summary of the `info` option. Returns 0.
int sel_fprint_info(FILE* out, const SelInfo& info);
int sel_print_info(const SelInfo& info);

// Runs one option for the front end: takes the store lock, reads the info file and
// runs the mode, which releases the store lock. A mode that could not open a record
// file (2) makes it print "Clear SEL." and ask `seld` to clear the store.
// Returns 0, 2, or -1 when the store lock or the info file could not be had.
int sel_run_option(int mode, int count);
