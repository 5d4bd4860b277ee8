// What `sel`'s options do with the module's store: the option dispatcher, the summary,
// and the store access with the system-log reports that `sel` gives for it.
#pragma once

#include <cstdio>

#include "store/sel_lock.h"

// Modes of sel_run_option, as the front end passes them.
inline constexpr int SEL_MODE_RD_ALL = 0;
inline constexpr int SEL_MODE_RD_LAST = 3;
inline constexpr int SEL_MODE_RD_FIRST = 4;
inline constexpr int SEL_MODE_INFO = 5;

// Results of the store access.
inline constexpr int SEL_OK = 0;
inline constexpr int SEL_NO_RECORD_FILE = 2;  // a record file could not be opened
inline constexpr int SEL_NO_STORE = -1;       // the store lock or the info file was not had

// sel_lock_take without a stop, logging why it failed. The lock handle, or -1.
int sel_get_lock(const char* path);

// Reads the module's info file under the info lock, logging why it could not.
// Returns SEL_OK, SEL_INFO_NO_LOCK or SEL_INFO_NO_FILE (`info` is not written then).
int sel_get_info(SelInfo* info);

// The summary of the `info` option. Returns SEL_OK.
int sel_print_info(const SelInfo& info, FILE* out = stdout);

// Runs one option for the front end: takes the store lock, reads the info file and
// runs the mode, which releases the store lock. A mode that could not open a record
// file makes it print "Clear SEL." and ask `seld` to clear the store.
// Returns SEL_OK, SEL_NO_RECORD_FILE or SEL_NO_STORE.
int sel_run_option(int mode, int count, FILE* out = stdout);
