// Which records rd_all, rd_first and rd_last ask for: the start file and position in
// the ring and the number of records, worked out from the info file alone. Pure, so
// that offline readers of a copied store choose exactly the records `sel` would.
#pragma once

#include "store/sel_store.h"

struct SelRange {
  int start_file;
  int start_pos;
  int count;
  bool capped;  // the count asked for was larger than the store ("SEL contains only")
};

// The ring's shape as seld keeps it and every reader assumes it: `rec_count` records
// (0 to 4000) from position 0 of `oldest_file` (0 to 3) on, every file up to the newest
// full with 1000. Record p of file f has the id f * 1000 + p + 1.
int sel_ring_latest_file(int rec_count, int oldest_file);  // `oldest_file` when empty
int sel_ring_latest_id(int rec_count, int oldest_file);    // 0 when empty
int sel_ring_records_in(int rec_count, int oldest_file, int file);

// The oldest `count` records. Expects a non-empty store.
SelRange sel_range_first(const SelInfo& info, int count);

// The newest `count` records, oldest of them first. Expects a non-empty store.
SelRange sel_range_last(const SelInfo& info, int count);
