#include "module/sel-forward/poll.h"

#include <sys/stat.h>
#include <syslog.h>

#include "lib/log.h"
#include "store/sel_lock.h"
#include "store/sel_rd.h"

namespace {

bool same_file(const FwdFollower& f, const struct stat& st, const SelInfo& info) {
  return f.idle_known && f.idle_dev == st.st_dev && f.idle_ino == st.st_ino &&
         f.idle_mtime.tv_sec == st.st_mtim.tv_sec && f.idle_mtime.tv_nsec == st.st_mtim.tv_nsec &&
         f.idle_info.version == info.version && f.idle_info.rec_count == info.rec_count &&
         f.idle_info.oldest_file == info.oldest_file &&
         f.idle_info.latest_file == info.latest_file && f.idle_info.latest_id == info.latest_id;
}

// Logs each fault of the info file once while it lasts.
bool usable(FwdFollower* f, const SelInfo& info) {
  const unsigned faults = sel_info_faults(info) & SEL_INFO_UNUSABLE;
  if (faults != 0 && (faults & ~f->logged_faults) != 0) {
    char why[80];
    sel_info_fault_text(faults, info, why, sizeof why);
    log_msg(LOG_ERR, "Bad SEL info in %s: %s; waiting for seld to mend it", SEL_INFO_FILE, why);
  }
  f->logged_faults = faults;
  return faults == 0;
}

// Reads the record in `slot` (file * 1000 + position) while the store lock is held.
bool read_slot(int slot, SelRecord* rec) {
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, slot / SEL_RECS_PER_FILE);  // fits
  return sel_read_chunk(path, slot % SEL_RECS_PER_FILE, 1, rec) == 1;
}

// How many of the `n` records read from ordinal `start` on are surely those of the ring
// that the look saw. Those of its oldest file were read under the store lock; the
// others, unless the info file now shows the same ring grown (or moved on only by files
// that the reading had left behind: they are filled again first). `*moved`: it did not.
int unmoved(const SelInfo& seen, int start, int n, bool* moved) {
  SelInfo now = seen;
  int step = 0;
  const bool read = sel_info_take(&now, &step) == SEL_INFO_READ &&
                    (sel_info_faults(now) & SEL_INFO_UNUSABLE) == 0;
  if (read && now.oldest_file == seen.oldest_file && now.rec_count >= seen.rec_count) return n;
  *moved = true;
  const int dropped = (now.oldest_file - seen.oldest_file + SEL_FILES) % SEL_FILES;
  const bool moved_on = read && dropped > 0 && now.rec_count >= FWD_RING_AFTER_DROP;
  if (moved_on && start >= dropped * SEL_RECS_PER_FILE) return n;
  const int under_lock = SEL_RECS_PER_FILE - start;
  return under_lock <= 0 ? 0 : under_lock < n ? under_lock : n;
}

struct Collected {
  SelRecord* recs;
  int n;
  static void records(void* ctx, const SelRecord* chunk, int count) {
    auto* c = static_cast<Collected*>(ctx);
    for (int i = 0; i < count; ++i) c->recs[c->n++] = chunk[i];
  }
};

// Takes a lock of the store as sel does, logging why it could not.
int take_lock(const char* path) {
  int step = 0;
  const int lock = sel_lock_take(path, nullptr, &step);
  if (lock < 0) log_msg_errno(LOG_ERR, "%s %s", sel_lock_step_text(step), path);
  return lock;
}

// Reads the info file under the info lock, logging why it could not.
bool read_info(SelInfo* info) {
  int step = 0;
  switch (sel_info_take(info, &step)) {
    case SEL_INFO_READ: return true;
    case SEL_INFO_NO_LOCK:
      log_msg_errno(LOG_ERR, "%s %s", sel_lock_step_text(step), SEL_LOCK_INFO);
      return false;
    default: log_msg_errno(LOG_ERR, "cannot read %s", SEL_INFO_FILE); return false;
  }
}

}  // namespace

FwdLook fwd_look(FwdFollower* f, const FwdCursor& c) {
  FwdLook look{FWD_LOOK_NO_STORE, {}, {}, -1, false};
  look.lock = take_lock(SEL_LOCK_DB);
  if (look.lock < 0) return look;  // logged
  // Taken before the read: a change between the two makes the next look read again.
  struct stat st {};
  const bool stated = stat(SEL_INFO_FILE, &st) == 0;
  look.info = SelInfo{-1, -1, -1, -1, -1, 0};
  if (!read_info(&look.info) || !usable(f, look.info)) {
    fwd_look_done(&look);
    look.result = FWD_LOOK_NO_STORE;
    return look;
  }
  if (stated && same_file(*f, st, look.info)) {
    fwd_look_done(&look);
    look.result = FWD_LOOK_IDLE;
    return look;
  }
  // The cursor's slot, and the oldest record when the cursor's record is gone (its id
  // may tell how many were lost).
  SelRecord at_cursor{}, oldest{};
  const bool in_ring =
      c.slot >= 0 && sel_slot_ordinal(look.info, c.slot + 1) >= 0 && read_slot(c.slot, &at_cursor);
  const bool gone = !in_ring || fwd_record_sum(at_cursor) != c.sum;
  const bool oldest_read = gone && look.info.rec_count > 0 &&
                           read_slot(look.info.oldest_file * SEL_RECS_PER_FILE, &oldest);
  look.plan =
      fwd_plan(c, look.info, in_ring ? &at_cursor : nullptr, oldest_read ? &oldest : nullptr);
  look.result = FWD_LOOK_PLAN;
  const bool nothing = look.plan.lost == FWD_NO_LOSS && look.plan.count == 0;
  if (nothing) fwd_look_done(&look);
  f->idle_known = stated && nothing;
  if (f->idle_known) {
    f->idle_dev = st.st_dev;
    f->idle_ino = st.st_ino;
    f->idle_mtime = st.st_mtim;
    f->idle_info = look.info;
  }
  return look;
}

int fwd_read(FwdFollower* f, FwdLook* look, SelRecord* recs, int max) {
  const int count = look->plan.count < max ? look->plan.count : max;
  int file = 0, pos = 0;
  sel_ring_position(look->info, look->plan.start, &file, &pos);
  Collected got{recs, 0};
  const SelWalkEnd end = sel_read_recs({file, pos, count, look->info.oldest_file, look->lock},
                                       {&got, Collected::records, nullptr, nullptr});
  look->lock = -1;  // released by the reader
  // A walk cut short by a ring that moved on is no fault of the store.
  const bool looked = got.n > 0 || end.result != SEL_WALK_DONE;
  const int kept = looked ? unmoved(look->info, look->plan.start, got.n, &look->moved) : 0;
  if (look->moved && end.result != SEL_WALK_DONE) return kept;
  look->moved = kept < got.n;
  // Logged once while it lasts: the next looks meet the same file.
  if (end.result != SEL_WALK_DONE && end.result != f->logged_walk) {
    char path[SEL_PATH_MAX];
    (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, end.file);  // fits: file < 4
    switch (end.result) {
      case SEL_WALK_SHORT:
        log_msg(LOG_ERR, "%s ends before the records that %s promises", path, SEL_INFO_FILE);
        break;
      case SEL_WALK_NOT_REGULAR: log_msg(LOG_ERR, "%s is not a regular file", path); break;
      default: log_msg(LOG_ERR, "Error open %s for read", path); break;
    }
  }
  f->logged_walk = end.result;
  return kept;
}

void fwd_look_done(FwdLook* look) {
  if (look->lock >= 0) sel_release_lock(look->lock);
  look->lock = -1;
}
