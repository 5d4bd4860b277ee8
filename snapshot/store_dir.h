// A SEL store as copied off a module into any directory, or as a snapshot archive
// unpacked into a private one: the info file and the four record files, read without
// locks (nothing else writes a copy).
#pragma once

#include "lib/status.h"
#include "store/sel_format.h"

struct StoreDir {
  const char* dir;   // where the files are read
  const char* name;  // what messages call the store: the directory or archive given
  SelInfo info;
  Status info_read;  // done, or why sel.inf could not be opened (errno; path "sel.inf")
};

// Reads the info file of `dir` (fields it does not supply read as -1).
StoreDir store_open(const char* dir, const char* name);

// Whether the records can be read from what the info file says: done; the open of
// sel.inf (info_read); or bad_format, path "sel.inf", `value` the faults that make it
// unusable (sel_info_faults).
Status store_usable(const StoreDir& store);

// Whether every record file that the info file promises records in can be read: each a
// regular file that opens for reading. Done, or the first that cannot: Step::open
// (errno) or Step::not_regular, its file name as the path, `value` the records promised
// in it. Done without a look when the info file is unusable.
Status store_files_readable(const StoreDir& store);

// Whether `dir` holds the info file or any record file.
bool store_present(const char* dir);
