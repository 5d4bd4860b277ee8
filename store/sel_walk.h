// The walk through the ring of record files, for `sel` and for the tools that read a
// copied store: records in store order from a start file and position, in chunks.
//
// Every chunk opens its record file, seeks, reads at most SEL_CHUNK_RECS records and
// closes the file again, so that no record file stays open while records are handled
// (seld may be waiting to drop or empty it).
#pragma once

#include "decode/sel_record.h"
#include "lib/status.h"
#include "store/sel_format.h"
#include "store/sel_lock.h"

inline constexpr int SEL_CHUNK_RECS = 20;

// Reads up to `count` records from the file at `path`, starting at record `pos`, with
// one open, seek, read and close, into `chunk`; `*got` is the whole records read (fewer
// at the file's end). A failed Step::open or Step::seek names `path`.
Status sel_read_chunk(const char* path, int pos, int count, SelRecord* chunk, int* got);

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

// Walks `count` records from `start_file` at `start_pos`: position by position to the
// file's end, then from position 0 of the next file (file 3 is followed by file 0). A
// chunk holds the records still to go, at most SEL_CHUNK_RECS; a file that holds more
// than its 1000 records hands on the ones past its end in the chunk that reaches them.
// Done, or the step at which the walk ended, with the index of the record file as its
// value: Step::open (the file cannot be opened), Step::not_regular (a FIFO, a device or a
// directory: never read), Step::seek, or Step::cut_short (the file ends before the
// records asked for; the short chunk's records are not handed on).
Status sel_walk(const SelWalk& walk, const SelWalkHooks& hooks);

// Where a walk of the module's store (SEL_STORE_DIR) begins, and its oldest file as the
// info file named it when the store lock was taken.
struct SelRead {
  int start_file;  // 0 to 3
  int start_pos;   // 0 to 999
  int count;       // records to read; nothing is read below 1
  int oldest_file;
};

// Walks the module's store as sel_walk does, holding the store lock `lock` only while it
// is inside the oldest record file. seld drops or empties the oldest file under that
// lock, so the records read from it are whole; once the walk has left it, seld may
// append and turn the ring while the reader goes on, and the reader never holds up seld
// for longer than the oldest file takes. The lock is released at once when the walk
// starts outside the oldest file, as soon as it has read past position 999 of the oldest
// file, and on every way out. `hooks.file_done` is the reader's own and is not called.
// `sel` prints what it reads and sel-forward sends it; both read with this.
Status sel_read_recs(const SelRead& read, SelLock lock, const SelWalkHooks& hooks);
