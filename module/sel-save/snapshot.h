// A snapshot of the module's SEL store: the info file and exactly the records that it
// promises, read into memory under the store's locks, so that seld cannot change
// the files halfway and the locks are never held while the copy goes out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/sel_record.h"
#include "lib/status.h"
#include "store/sel_format.h"

// The most of the info file that is kept; five numbers take a few dozen bytes.
inline constexpr std::size_t SEL_SNAPSHOT_INFO_MAX = 4096;

// All zero at the start, as the snapshot's static storage is.
struct SelSnapshotFile {
  int promised = 0;      // records the info file promises in this file (0: not saved)
  Status read;           // done, or why the file could not be read
  std::size_t size = 0;  // bytes copied: the promised ones, or fewer when the file ends first
  std::int64_t mtime = 0;
  unsigned char bytes[SEL_RECS_PER_FILE * SEL_RECORD_SIZE] = {};
};

struct SelSnapshot {
  SelInfo info = {};
  unsigned info_faults = 0;  // sel_info_faults(info); no record file is saved when unusable
  bool info_cut = false;     // the info file is longer than SEL_SNAPSHOT_INFO_MAX
  std::size_t info_size = 0;
  std::int64_t info_mtime = 0;
  char info_text[SEL_SNAPSHOT_INFO_MAX + 1] = {};  // one more, to tell a longer file
  SelSnapshotFile files[SEL_FILES];
};

// Takes the store lock, then the info lock, as `sel` does; reads the info file and the
// records that it promises; releases the info lock, then the store lock. A failure names
// the lock that was not had, or SEL_INFO_FILE when the info file cannot be read; a
// record file that cannot be read is no failure (its `read` says why).
Status sel_snapshot_take(SelSnapshot* snap);
