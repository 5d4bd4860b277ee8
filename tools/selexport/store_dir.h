// A SEL store as copied off a module into any directory: the info file and the four
// record files, read without locks (nothing else writes a copy).
#pragma once

#include <climits>
#include <cstddef>
#include <vector>

#include "store/sel_store.h"

struct StoreDir {
  const char* dir;
  SelInfo info;
  bool info_found;  // sel.inf could be opened
};

// "<dir>/sel.inf" or "<dir>/sel.<file>" into `path`. False when it does not fit.
bool store_info_path(const char* dir, char (&path)[PATH_MAX]);
bool store_file_path(const char* dir, int file, char (&path)[PATH_MAX]);

// Reads the info file of `dir` (fields it does not supply read as -1).
StoreDir store_open(const char* dir);

// The whole content of record file `file` into `bytes`. Returns 0 or an errno value.
int store_load_file(const char* dir, int file, std::vector<unsigned char>& bytes);
