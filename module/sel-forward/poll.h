// One look at the module's store, with the locks as `sel` takes them: the store lock,
// the info file read under the info lock, and the store lock dropped once the reading
// is outside the oldest file. When the info file has not changed since a look that
// found nothing to send, that one read is all.
//
// Records outside the oldest file are read without the store lock, as `sel` reads them,
// so a flood may drop and fill their file again while they are read: the info file is
// read once more after the records, and those that the ring may have dropped since the
// look are not handed on (the next look counts them as lost).
#pragma once

#include <sys/types.h>

#include <ctime>

#include "decode/sel_record.h"
#include "lib/status.h"
#include "module/sel-forward/follow.h"
#include "store/sel_format.h"
#include "store/sel_lock.h"

inline constexpr int FWD_BATCH_RECS = 100;  // records read and sent at a time

// What the looks remember between them.
struct FwdFollower {
  bool idle_known;  // the last look found nothing to send in:
  dev_t idle_dev;   //   this info file
  ino_t idle_ino;
  timespec idle_mtime;
  SelInfo idle_info;
  unsigned logged_faults;  // the info file's faults that were logged, once each
  Step logged_walk;        // how the last walk ended, logged once
};

// One look, once made. `lock` holds the store lock while the plan has records to read.
struct FwdLook {
  bool idle;  // nothing changed since a look that found nothing to send: no plan
  SelInfo info;
  FwdPlan plan;  // what to send
  SelLock lock;  // taken over by fwd_read, released at the latest when the look goes
  bool moved;    // fwd_read: the ring moved on under the reading; look again at once
};

// Looks at the store from cursor `c` into `*look`. A plan with nothing to send (no loss,
// no new record) releases the lock and remembers the info file, so that the next look
// stops after reading it. A failure is a store that cannot be read now (logged).
Status fwd_look(FwdFollower* f, const FwdCursor& c, FwdLook* look);

// Reads up to `max` new records of the plan into `recs`, taking over the look's lock and
// releasing it. Returns the records read: fewer when a record file ends early or cannot
// be read (logged once while it lasts), or when the ring moved on under the reading.
int fwd_read(FwdFollower* f, FwdLook* look, SelRecord* recs, int max);

// Whether the plan's report of lost records goes out with the `read` records of the
// look. It waits while the ring moved under a reading that kept none: the next look
// counts the records that the move took with those, once.
bool fwd_report_due(const FwdLook& look, int read);
