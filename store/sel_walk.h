// The walk through the ring of record files, for `sel` and for the tools that read a
// copied store: records in store order from a start file and position, in chunks.
//
// Every chunk opens its record file, seeks, reads at most SEL_CHUNK_RECS records and
// closes the file again, so that no record file stays open while records are handled
// (seld may be waiting to drop or empty it).
#pragma once

#include "lib/sel_record.h"
#include "store/sel_format.h"

inline constexpr int SEL_CHUNK_RECS = 20;

// Results of sel_read_chunk besides a count of records.
inline constexpr int SEL_READ_NO_FILE = -1;  // the file cannot be opened
inline constexpr int SEL_READ_NO_SEEK = -2;  // the seek to the first record failed

// Reads up to `count` records from the file at `path`, starting at record `pos`, with
// one open, seek, read and close. Returns the whole records read (fewer at the file's
// end), or one of the results above.
int sel_read_chunk(const char* path, int pos, int count, SelRecord* chunk);

struct SelWalk {
  const char* dir;  // the store's directory
  int start_file;   // 0 to 3
  int start_pos;    // 0 to 999
  int count;        // records to read; nothing is read below 1
};

// What the walk does with what it reads; every hook may be null.
struct SelWalkHooks {
  void* ctx;
  void (*records)(void* ctx, const SelRecord* recs, int n);  // a chunk, in store order
  void (*file_done)(void* ctx, int file);  // the walk has read past position 999 of `file`
  void (*chunk_done)(void* ctx);           // after each chunk's records
};

// How a walk ended, and in which file.
enum : int {
  SEL_WALK_DONE = 0,
  SEL_WALK_NO_FILE,      // a record file cannot be opened
  SEL_WALK_NOT_REGULAR,  // a record file is a FIFO, a device or a directory: never read
  SEL_WALK_NO_SEEK,      // the seek in a record file failed
  SEL_WALK_SHORT,        // a file ends before the records asked for; the short chunk's
                         // records are not handed on
};
struct SelWalkEnd {
  int result;
  int file;
};

// Walks `count` records from `start_file` at `start_pos`: position by position to the
// file's end, then from position 0 of the next file (file 3 is followed by file 0). A
// chunk holds the records still to go, at most SEL_CHUNK_RECS; a file that holds more
// than its 1000 records hands on the ones past its end in the chunk that reaches them.
SelWalkEnd sel_walk(const SelWalk& walk, const SelWalkHooks& hooks);
