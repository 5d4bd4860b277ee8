// Which records rd_all, rd_first and rd_last ask for: the start file and position in
// the ring and the number of records, worked out from the info file alone. Pure, so
// that readers of a copied store choose exactly the records `sel` would.
#pragma once

#include "store/sel_format.h"

struct SelRange {
  int start_file;
  int start_pos;
  int count;
  bool capped;  // the count asked for was larger than the store ("SEL contains only")
};

// The oldest `count` records. Expects a non-empty store.
SelRange sel_range_first(const SelInfo& info, int count);

// The newest `count` records, oldest of them first. Expects a non-empty store.
SelRange sel_range_last(const SelInfo& info, int count);
