// What one look at the store means for the forwarder: which records are new since the
// cursor, and whether records were lost before they could be sent. Pure: the look
// itself (locks, info file, the records it needs) is poll.h's.
//
// Nothing here reads meaning into record ids, which the daemon numbers as it likes. The
// cursor's record is still in the ring when its slot is in the ring and holds the same
// 64 bytes: the records after it are new. Otherwise it is gone, and everything in the
// ring is new, after one report of what was lost:
// - cleared: the ring holds fewer than 3000 records (the daemon drops the oldest file only
//   when all four are full, so a ring that merely moved on holds at least 3000: so many
//   between the drop and the next record), or fewer than when last seen from the same
//   oldest file. Lost: at least the records that
//   the ring held after the cursor when last seen; those added after that look and
//   before the clear cannot be counted. No report when none had been left unsent.
// - overrun: the ring moved on past the cursor. Slots are filled again in ring order,
//   so the records lost are the slots from the one after the cursor's up to the oldest
//   record now, wrapped round the ring, and whole laps more when the
//   ring went round more than once between two looks: at least that many. The count is
//   exact only when the ids show that the daemon numbers on across the wrap (the oldest
//   record's id is not its slot's) and they agree with the slots: then the ids tell the
//   laps. No report when the slots count 0 (only records already sent were dropped).
// Without a cursor record (after a clear, or none sent yet), the cursor stands just
// before the ring that was seen: its oldest file moving on is an overrun.
#pragma once

#include "decode/sel_record.h"
#include "module/sel-forward/cursor.h"
#include "store/sel_ring.h"

enum : int { FWD_NO_LOSS = 0, FWD_OVERRUN, FWD_CLEARED };

struct FwdPlan {
  int lost;        // FWD_NO_LOSS, FWD_OVERRUN or FWD_CLEARED
  int missed;      // records lost, for the report
  bool at_least;   // `missed` is the least that were lost
  int start;       // first new record, counted from the ring's oldest (0 ...)
  int count;       // new records from there to the newest
  FwdCursor base;  // the cursor once the report (if any) is accepted and before the
                   // new records: the ring as seen now
};

// The plan for `info` (usable). `at_cursor` is the record in the cursor's slot when the
// ring holds that slot, else null; `oldest` the ring's oldest record when it was read
// (it is needed only when the cursor's record is gone), else null.
FwdPlan fwd_plan(const FwdCursor& c, const SelInfo& info, const SelRecord* at_cursor,
                 const SelRecord* oldest);
