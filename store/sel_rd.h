// The reading modes of the dispatcher and the range reader: which records an option asks
// for, printed one line each, oldest first.
//
// Each takes over the store lock handle and leaves it released on every way out; the
// range reader holds it only while its walk is inside the oldest file. Results: SEL_DONE
// (also for an empty store, a count below 1, a store that ends early and a record file
// that is no regular file), SEL_NO_RECORD_FILE.
#pragma once

#include <cstdio>

#include "store/sel_access.h"

int sel_print_first_recs(const SelInfo& info, int count, SelLock lock, FILE* out = stdout);
int sel_print_last_recs(const SelInfo& info, int count, SelLock lock, FILE* out = stdout);
int sel_print_recs(int start_file, int start_pos, int count, int oldest_file, SelLock lock,
                   FILE* out = stdout);
