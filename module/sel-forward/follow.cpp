#include "module/sel-forward/follow.h"

namespace {

int ring_mod(int n) { return ((n % SEL_MAX_RECS) + SEL_MAX_RECS) % SEL_MAX_RECS; }

// The ordinal of `slot` in the ring of `info`, or -1 when the ring does not hold it
// (slot ids are the slots counted from 1, whatever ids the records carry).
int ordinal_of(const SelInfo& info, int slot) {
  return slot >= 0 ? sel_slot_ordinal(info, slot + 1) : -1;
}

}  // namespace

int fwd_slot_of(const SelInfo& info, int ordinal) {
  int file = 0, pos = 0;
  sel_ring_position(info, ordinal, &file, &pos);
  return file * SEL_RECS_PER_FILE + pos;
}

FwdPlan fwd_plan(const FwdCursor& c, const SelInfo& info, const SelRecord* at_cursor,
                 const SelRecord* oldest) {
  const FwdCursor seen_now{-1, 0, 0, 0, info.rec_count, info.oldest_file};
  FwdPlan plan{FWD_NO_LOSS, 0, false, 0, info.rec_count, seen_now};
  if (c.seen_oldest < 0) return plan;  // a fresh start: the whole store is new

  const bool shrank = info.oldest_file == c.seen_oldest && info.rec_count < c.seen_count;
  const int ordinal = ordinal_of(info, c.slot);
  if (ordinal >= 0 && !shrank && at_cursor != nullptr && fwd_record_sum(*at_cursor) == c.sum) {
    plan.start = ordinal + 1;
    plan.count = info.rec_count - plan.start;
    plan.base = c;
    plan.base.seen_count = info.rec_count;
    plan.base.seen_oldest = info.oldest_file;
    return plan;
  }
  if (c.slot < 0 && !shrank && info.oldest_file == c.seen_oldest) return plan;  // still there

  plan.at_least = true;
  if (shrank || info.rec_count < FWD_RING_AFTER_DROP) {
    plan.lost = FWD_CLEARED;
    const SelInfo seen{0, c.seen_count, c.seen_oldest, 0, 0, 5};
    plan.missed = c.seen_count - ordinal_of(seen, c.slot) - 1;
    if (plan.missed < 0) plan.missed = 0;
    return plan;
  }
  // The slot just before the ring that was seen stands in for a cursor of none.
  const int cursor_slot = c.slot >= 0 ? c.slot : c.seen_oldest * SEL_RECS_PER_FILE - 1;
  plan.missed = ring_mod(info.oldest_file * SEL_RECS_PER_FILE - cursor_slot - 1);
  if (c.slot >= 0 && oldest != nullptr) {
    const std::int32_t oldest_id = sel_record_id(*oldest);
    const auto by_ids =
        static_cast<std::uint32_t>(oldest_id) - static_cast<std::uint32_t>(c.id) - 1U;
    if (oldest_id != sel_slot_id(info.oldest_file, 0) &&
        by_ids >= static_cast<unsigned>(plan.missed) &&
        by_ids <= static_cast<std::uint32_t>(INT32_MAX) &&
        by_ids % SEL_MAX_RECS == static_cast<unsigned>(plan.missed)) {
      plan.missed = static_cast<int>(by_ids);
      plan.at_least = false;
    }
  }
  if (plan.missed > 0) plan.lost = FWD_OVERRUN;
  return plan;
}
