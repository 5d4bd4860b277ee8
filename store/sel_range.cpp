#include "store/sel_range.h"

SelRange sel_range_first(const SelInfo& info, int count) {
  SelRange r{info.oldest_file, 0, count, false};
  if (info.rec_count < count) {
    r.count = info.rec_count;
    r.capped = true;
  }
  return r;
}

SelRange sel_range_last(const SelInfo& info, int count) {
  SelRange r{info.latest_file, 0, count, false};
  if (count > info.rec_count) {
    r.count = info.rec_count;
    r.capped = true;
  }
  // A count below 1 selects nothing; where it would start does not matter.
  if (r.count < 1) return r;
  const auto remainder = static_cast<unsigned>(info.rec_count) % SEL_RECS_PER_FILE;
  const int in_latest = remainder == 0 ? SEL_RECS_PER_FILE : static_cast<int>(remainder);
  if (r.count > in_latest) {
    // The range reaches back into files before the newest, which are full.
    const int rest = r.count - in_latest;
    int files_back = rest / SEL_RECS_PER_FILE;
    if (rest % SEL_RECS_PER_FILE != 0) {
      files_back += 1;
      r.start_pos = SEL_RECS_PER_FILE - rest % SEL_RECS_PER_FILE;
    }
    r.start_file = info.latest_file - files_back;
    if (r.start_file < 0) r.start_file += SEL_FILES;
  } else {
    r.start_pos = in_latest - r.count;
  }
  return r;
}
