#include "module/sel-forward/follow.h"

namespace {

// A ring that has dropped its oldest file holds at least this many more records.
constexpr int kAfterDrop = SEL_MAX_RECS - SEL_RECS_PER_FILE;

int ring_mod(int n) { return ((n % SEL_MAX_RECS) + SEL_MAX_RECS) % SEL_MAX_RECS; }

}  // namespace

FwdPlan fwd_plan(const FwdCursor& c, const SelInfo& info, const SelRecord* at_cursor) {
  const FwdCursor seen_now{0, 0, 0, info.rec_count, info.oldest_file};
  FwdPlan plan{FWD_NO_LOSS, 0, 0, info.rec_count, seen_now};
  if (c.seen_oldest < 0) return plan;  // a fresh start: the whole store is new

  const bool shrank = info.oldest_file == c.seen_oldest && info.rec_count < c.seen_count;
  if (c.id != 0 && !shrank && at_cursor != nullptr && sel_timestamp(*at_cursor) == c.time &&
      fwd_record_sum(*at_cursor) == c.sum) {
    const int ordinal = sel_slot_ordinal(info, c.id);
    plan.start = ordinal + 1;
    plan.count = info.rec_count - plan.start;
    plan.base = c;
    plan.base.seen_count = info.rec_count;
    plan.base.seen_oldest = info.oldest_file;
    return plan;
  }
  if (c.id == 0 && !shrank && info.oldest_file == c.seen_oldest) return plan;  // still there

  if (shrank || info.rec_count <= kAfterDrop) {
    plan.lost = FWD_CLEARED;
    const SelInfo seen{0, c.seen_count, c.seen_oldest, 0, 0, 5};
    const int ordinal = c.id != 0 ? sel_slot_ordinal(seen, c.id) : -1;
    plan.missed = c.seen_count - ordinal - 1;
    if (plan.missed < 0) plan.missed = 0;
    return plan;
  }
  // The slot just before the ring that was seen stands in for a cursor of none.
  const int cursor_slot = c.id != 0 ? c.id - 1 : c.seen_oldest * SEL_RECS_PER_FILE - 1;
  plan.missed = ring_mod(info.oldest_file * SEL_RECS_PER_FILE - cursor_slot - 1);
  if (plan.missed > 0) plan.lost = FWD_OVERRUN;
  return plan;
}
