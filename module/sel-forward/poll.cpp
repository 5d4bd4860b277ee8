#include "module/sel-forward/poll.h"

#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <utility>

#include "lib/log.h"
#include "store/sel_walk.h"

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
    char fault[80];
    sel_info_fault_text(faults, info, fault, sizeof fault);
    log_msg(LOG_ERR, "Bad SEL info in %s: %s; waiting for seld to mend it", SEL_INFO_FILE, fault);
  }
  f->logged_faults = faults;
  return faults == 0;
}

// Reads the record in `slot` while the store lock is held.
bool read_slot(int slot, SelRecord* rec) {
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, sel_slot_file(slot));  // fits
  int got = 0;
  return sel_read_chunk(path, sel_slot_pos(slot), 1, rec, &got).ok() && got == 1;
}

// How many of the `n` records read from ordinal `start` on are surely those of the ring
// that the look saw. Those of its oldest file were read under the store lock; the
// others, unless the info file now shows the same ring grown (or moved on only by files
// that the reading had left behind: they are filled again first). `*moved`: it did not.
int unmoved(const SelInfo& seen, int start, int n, bool* moved) {
  SelInfo now = seen;
  const bool read = sel_info_take(&now).ok() && (sel_info_faults(now) & SEL_INFO_UNUSABLE) == 0;
  if (read && now.oldest_file == seen.oldest_file && now.rec_count >= seen.rec_count) return n;
  *moved = true;
  const int dropped = sel_files_between(seen.oldest_file, now.oldest_file);
  const bool moved_on = read && dropped > 0 && now.rec_count >= SEL_RING_AFTER_DROP;
  if (moved_on && start >= sel_file_first_ordinal(dropped)) return n;
  const int under_lock = sel_file_first_ordinal(1) - start;
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

// Logs why the store could not be had: its lock, or the info file under the info lock.
void log_no_store(const Status& failed) {
  errno = failed.error;
  if (sel_at_info_file(failed)) {
    log_msg_errno(LOG_ERR, "cannot read %s", SEL_INFO_FILE);
  } else {
    log_msg_errno(LOG_ERR, "cannot lock %s", failed.path);
  }
}

// The records that tell what the look means: the cursor's slot, and the oldest record
// when the cursor's record is gone (its id may tell how many were lost).
FwdPlan plan_from(const FwdCursor& c, const SelInfo& info) {
  SelRecord at_cursor{}, oldest{};
  const bool in_ring = sel_ring_ordinal(info, c.slot) >= 0 && read_slot(c.slot, &at_cursor);
  const bool gone = !in_ring || fwd_record_sum(at_cursor) != c.sum;
  const bool oldest_read =
      gone && info.rec_count > 0 && read_slot(sel_slot(info.oldest_file, 0), &oldest);
  return fwd_plan(c, info, in_ring ? &at_cursor : nullptr, oldest_read ? &oldest : nullptr);
}

// Remembers the info file of a look that found nothing to send, or forgets the last one.
void remember_idle(FwdFollower* f, bool idle, const struct stat& st, const SelInfo& info) {
  f->idle_known = idle;
  if (!idle) return;
  f->idle_dev = st.st_dev;
  f->idle_ino = st.st_ino;
  f->idle_mtime = st.st_mtim;
  f->idle_info = info;
}

void log_walk_end(const Status& end) {
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, static_cast<int>(end.value));  // fits
  switch (end.step) {
    case Step::cut_short:
      log_msg(LOG_ERR, "%s ends before the records that %s promises", path, SEL_INFO_FILE);
      break;
    case Step::not_regular: log_msg(LOG_ERR, "%s is not a regular file", path); break;
    default: log_msg(LOG_ERR, "Error open %s for read", path); break;
  }
}

}  // namespace

Status fwd_look(FwdFollower* f, const FwdCursor& c, FwdLook* look) {
  *look = FwdLook{false, SEL_INFO_UNREAD, {}, SelLock(), false};
  Status seen = sel_lock_take(SEL_LOCK_DB, &look->lock);
  // Taken before the read: a change between the two makes the next look read again.
  struct stat st {};
  const bool stated = seen.ok() && stat(SEL_INFO_FILE, &st) == 0;
  if (seen.ok()) seen = sel_info_take(&look->info);
  if (!seen.ok()) log_no_store(seen);
  if (seen.ok() && !usable(f, look->info)) seen = fail_data(Step::bad_format, SEL_INFO_FILE);
  if (!seen.ok()) {
    (void)sel_release_lock(look->lock);
    return seen;
  }
  if (stated && same_file(*f, st, look->info)) {
    (void)sel_release_lock(look->lock);
    look->idle = true;
    return kDone;
  }
  look->plan = plan_from(c, look->info);
  const bool nothing = look->plan.lost == FWD_NO_LOSS && look->plan.count == 0;
  if (nothing) (void)sel_release_lock(look->lock);
  remember_idle(f, stated && nothing, st, look->info);
  return kDone;
}

int fwd_read(FwdFollower* f, FwdLook* look, SelRecord* recs, int max) {
  const int count = look->plan.count < max ? look->plan.count : max;
  int file = 0, pos = 0;
  sel_ring_position(look->info, look->plan.start, &file, &pos);
  Collected got{recs, 0};
  const Status end =
      sel_read_recs({file, pos, count, look->info.oldest_file}, std::move(look->lock),
                    {&got, Collected::records, nullptr, nullptr});
  // A walk cut short by a ring that moved on is no fault of the store.
  const bool looked = got.n > 0 || !end.ok();
  const int kept = looked ? unmoved(look->info, look->plan.start, got.n, &look->moved) : 0;
  if (look->moved && !end.ok()) return kept;
  look->moved = kept < got.n;
  // Logged once while it lasts: the next looks meet the same file.
  if (!end.ok() && end.step != f->logged_walk) log_walk_end(end);
  f->logged_walk = end.step;
  return kept;
}

bool fwd_report_due(const FwdLook& look, int read) {
  return look.plan.lost != FWD_NO_LOSS && !(look.moved && read == 0);
}
