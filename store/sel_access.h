// The store as `sel` takes it: the lock handles and the info file, with the reports
// that `sel` logs for them, the summary of the `info` option, and the results that the
// store access gives its callers.
#pragma once

#include <cstdio>

#include "store/sel_lock.h"

// Results of the store access, one name for each code. The reading modes and the
// dispatcher give SEL_DONE, SEL_NO_RECORD_FILE or SEL_NO_STORE; sel_get_info gives
// SEL_DONE, SEL_INFO_NO_FILE or SEL_INFO_NO_LOCK.
enum : int {
  SEL_DONE = 0,
  SEL_NO_RECORD_FILE = 2,  // a record file could not be opened: the store is cleared
  SEL_INFO_NO_FILE = 4,    // the info file could not be opened
  SEL_INFO_NO_LOCK = 6,    // the info lock was not had
  SEL_NO_STORE = -1,       // the store lock or the info file was not had
};

// Takes the lock of the lock file at `path` (sel_lock_take without a stop), logging why
// it could not: the handle holds no lock then.
SelLock sel_get_lock(const char* path);

// Reads the module's info file under the info lock, logging why it could not. One of
// SEL_DONE, SEL_INFO_NO_LOCK and SEL_INFO_NO_FILE (`info` is not written then).
int sel_get_info(SelInfo* info);

// The summary of the `info` option. SEL_DONE.
int sel_print_info(const SelInfo& info, FILE* out = stdout);
