#include "store/sel_ring.h"

int sel_ring_latest_file(int rec_count, int oldest_file) {
  if (rec_count <= 0) return oldest_file;
  return sel_file_after(oldest_file, (rec_count - 1) / SEL_RECS_PER_FILE);
}

int sel_ring_latest_id(int rec_count, int oldest_file) {
  if (rec_count <= 0) return 0;
  return sel_slot_id(sel_ring_latest_file(rec_count, oldest_file),
                     (rec_count - 1) % SEL_RECS_PER_FILE);
}

int sel_ring_records_in(int rec_count, int oldest_file, int file) {
  const int left = rec_count - sel_file_first_ordinal(sel_files_between(oldest_file, file));
  if (left <= 0) return 0;
  return left < SEL_RECS_PER_FILE ? left : SEL_RECS_PER_FILE;
}

void sel_ring_position(const SelInfo& info, int ordinal, int* file, int* pos) {
  *file = sel_file_after(info.oldest_file, ordinal / SEL_RECS_PER_FILE);
  *pos = ordinal % SEL_RECS_PER_FILE;
}

int sel_ring_slot(const SelInfo& info, int ordinal) {
  int file = 0, pos = 0;
  sel_ring_position(info, ordinal, &file, &pos);
  return sel_slot(file, pos);
}

int sel_ring_ordinal(const SelInfo& info, int slot) {
  if (slot < 0 || slot >= SEL_MAX_RECS) return -1;
  const int ordinal = sel_ring_wrap(slot - sel_slot(info.oldest_file, 0));
  return ordinal < info.rec_count ? ordinal : -1;
}

SelInfo sel_ring_info(std::int32_t version, std::int32_t rec_count, std::int32_t oldest_file) {
  return SelInfo{version,
                 rec_count,
                 oldest_file,
                 sel_ring_latest_file(rec_count, oldest_file),
                 sel_ring_latest_id(rec_count, oldest_file),
                 SEL_INFO_FIELDS};
}
