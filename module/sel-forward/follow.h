// What one look at the store means for the forwarder: which records are new since the
// cursor, and whether records were lost before they could be sent. Pure: the look
// itself (locks, info file, the record at the cursor's slot) is poll.h's.
//
// The cursor's record is still in the ring when its slot is in the ring and holds the
// same time and checksum: the records after it are new. Otherwise it is gone, and
// everything in the ring is new, after one report of what was lost:
// - cleared: the ring holds at most 3000 records (seld drops the oldest file only when
//   all four are full, so a ring that merely moved on holds at least 3001), or fewer
//   than when last seen from the same oldest file. Lost: the records that the ring
//   held after the cursor when last seen; those added after that look and before the
//   clear cannot be counted.
// - overrun: the ring moved on past the cursor. Lost: the slots from the one after the
//   cursor's up to the oldest record now, (oldest slot - cursor slot - 1) mod 4000; a
//   ring that went round more than once between two looks hides whole laps. No report
//   when that is 0 (only records already sent were dropped).
// Without a cursor record (after a clear, or none sent yet), the cursor stands just
// before the ring that was seen: its oldest file moving on is an overrun.
#pragma once

#include "lib/sel_record.h"
#include "store/sel_format.h"
#include "module/sel-forward/cursor.h"

enum : int { FWD_NO_LOSS = 0, FWD_OVERRUN, FWD_CLEARED };

struct FwdPlan {
  int lost;        // FWD_NO_LOSS, FWD_OVERRUN or FWD_CLEARED
  int missed;      // records lost, for the report
  int start;       // first new record, counted from the ring's oldest (0 ...)
  int count;       // new records from there to the newest
  FwdCursor base;  // the cursor once the report (if any) is accepted and before the
                   // new records: the ring as seen now
};

// The plan for `info` (usable). `at_cursor` is the record in the cursor's slot when
// sel_slot_ordinal() finds that slot in the ring, else null.
FwdPlan fwd_plan(const FwdCursor& c, const SelInfo& info, const SelRecord* at_cursor);
