// The option dispatcher: the front end's way into the store for every option that reads
// it.
#pragma once

#include <cstdio>

// Modes of sel_run_option, as the front end passes them.
enum : int {
  SEL_MODE_RD_ALL = 0,
  SEL_MODE_RD_LAST = 3,
  SEL_MODE_RD_FIRST = 4,
  SEL_MODE_INFO = 5,
};

// Runs one option for the front end: takes the store lock, reads the info file and runs
// the mode, which releases the store lock. A mode that could not open a record file
// makes it print "Clear SEL." and ask seld to clear the store. SEL_DONE,
// SEL_NO_RECORD_FILE or SEL_NO_STORE (store/sel_access.h).
int sel_run_option(int mode, int count, FILE* out = stdout);
