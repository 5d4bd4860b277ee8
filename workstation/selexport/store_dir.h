// A SEL store as copied off a module into any directory, or as a snapshot archive
// unpacked into a private one: the info file and the four record files, read without
// locks (nothing else writes a copy).
#pragma once

#include <cstdio>

#include "store/sel_format.h"

struct StoreDir {
  const char* dir;   // where the files are read
  const char* name;  // what messages call the store: the directory or archive given
  SelInfo info;
  bool info_found;  // sel.inf could be opened
  int info_errno;   // why not
};

// Reads the info file of `dir` (fields it does not supply read as -1).
StoreDir store_open(const char* dir, const char* name);

// Whether `dir` holds the info file or any record file.
bool store_present(const char* dir);

// Unpacks the store's files of the tar archive at `path` (a file or a pipe; standard
// input when null; plain or gzip-compressed), named `name` in messages, into a new
// private temporary directory, which goes again when the next archive is unpacked or
// the program ends, also on a signal (an interrupt, a closed pipe). The directory, or
// nullptr after a message on `err`.
const char* store_unpack(const char* path, const char* name, FILE* err);

// Removes the directory of the archive unpacked last, if any.
void store_release();
