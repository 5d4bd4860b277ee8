// A SEL store as copied off a module into any directory: the info file and the four
// record files, read without locks (nothing else writes a copy).
#pragma once

#include "store/sel_format.h"

struct StoreDir {
  const char* dir;
  SelInfo info;
  bool info_found;  // sel.inf could be opened
  int info_errno;   // why not
};

// Reads the info file of `dir` (fields it does not supply read as -1).
StoreDir store_open(const char* dir);

// Whether `dir` holds the info file or any record file.
bool store_present(const char* dir);
