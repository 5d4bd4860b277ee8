// The range reader of the module's store: a walk through the ring (sel_walk.h) that holds
// the store lock only while it is inside the oldest record file. seld drops or empties
// the oldest file under that lock, so the records read from it are whole; once the walk
// has left it, seld may append and turn the ring while the reader goes on, and the
// reader never holds up seld for longer than the oldest file takes.
//
// `sel` prints what it reads and sel-forward sends it; both read with this.
#pragma once

#include "store/sel_walk.h"

struct SelRead {
  int start_file;   // 0 to 3
  int start_pos;    // 0 to 999
  int count;        // records to read; nothing is read below 1
  int oldest_file;  // as the info file named it when the store lock was taken
  int lock;         // the store lock handle, taken over: released on every way out
};

// Walks the module's store (SEL_STORE_DIR) as sel_walk does, handing the records and the
// chunks' ends to `hooks` (its file_done is the reader's own and is not called). The
// store lock is released at once when the walk starts outside the oldest file, as soon
// as it has read past position 999 of the oldest file, and at the end.
SelWalkEnd sel_read_recs(const SelRead& read, const SelWalkHooks& hooks);
