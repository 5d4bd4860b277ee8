#include "module/sel-forward/follow.h"

FwdPlan fwd_plan(const FwdCursor& c, const SelInfo& info, const SelRecord* at_cursor,
                 const SelRecord* oldest) {
  const FwdCursor seen_now{-1, 0, 0, 0, info.rec_count, info.oldest_file};
  FwdPlan plan{FWD_NO_LOSS, 0, false, 0, info.rec_count, seen_now};
  if (c.seen_oldest < 0) return plan;  // a fresh start: the whole store is new

  const bool shrank = info.oldest_file == c.seen_oldest && info.rec_count < c.seen_count;
  const int ordinal = sel_ring_ordinal(info, c.slot);
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
  if (shrank || info.rec_count < SEL_RING_AFTER_DROP) {
    const SelInfo seen = sel_ring_info(0, c.seen_count, c.seen_oldest);
    plan.missed = c.seen_count - sel_ring_ordinal(seen, c.slot) - 1;
    if (plan.missed > 0) plan.lost = FWD_CLEARED;
    if (plan.missed < 0) plan.missed = 0;
    return plan;
  }
  // The slot just before the ring that was seen stands in for a cursor of none.
  const int cursor_slot = c.slot >= 0 ? c.slot : sel_slot(c.seen_oldest, 0) - 1;
  plan.missed = sel_ring_wrap(sel_slot(info.oldest_file, 0) - cursor_slot - 1);
  if (c.slot >= 0 && oldest != nullptr) {
    const std::int32_t oldest_id = sel_record_id(*oldest);
    const auto by_ids =
        static_cast<std::uint32_t>(oldest_id) - static_cast<std::uint32_t>(c.id) - 1U;
    if (oldest_id != sel_slot_id(info.oldest_file, 0) &&
        by_ids >= static_cast<unsigned>(plan.missed) &&
        by_ids <= static_cast<std::uint32_t>(INT32_MAX) &&
        sel_ring_wrap(static_cast<int>(by_ids)) == plan.missed) {
      plan.missed = static_cast<int>(by_ids);
      plan.at_least = false;
    }
  }
  if (plan.missed > 0) plan.lost = FWD_OVERRUN;
  return plan;
}
