#include "module/sel-forward/poll.h"

#include <sys/stat.h>
#include <syslog.h>

#include "lib/log.h"
#include "store/sel_store.h"
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
    char why[80];
    sel_info_fault_text(faults & (~faults + 1), info, why, sizeof why);
    log_msg(LOG_ERR, "Bad SEL info in %s: %s; waiting for seld to mend it", SEL_INFO_FILE, why);
  }
  f->logged_faults = faults;
  return faults == 0;
}

// Reads the record in the slot of `id` while the store lock is held.
bool read_slot(const SelInfo& info, int id, SelRecord* rec) {
  int file = 0, pos = 0;
  fwd_slot_of(info, fwd_ordinal(info, id), &file, &pos);
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  return sel_read_chunk(path, pos, 1, rec) == 1;
}

// The walk's side of the lock, as sel's range reader holds it: only inside the oldest
// file.
struct Reader {
  SelRecord* recs;
  int n;
  int oldest_file;
  int* lock;
  void release() {
    if (*lock >= 0) sel_release_lock(*lock);
    *lock = -1;
  }
  static void records(void* ctx, const SelRecord* chunk, int count) {
    auto* r = static_cast<Reader*>(ctx);
    for (int i = 0; i < count; ++i) r->recs[r->n++] = chunk[i];
  }
  static void file_done(void* ctx, int file) {
    auto* r = static_cast<Reader*>(ctx);
    if (file == r->oldest_file) r->release();
  }
};

}  // namespace

FwdLook fwd_look(FwdFollower* f, const FwdCursor& c) {
  FwdLook look{FWD_LOOK_NO_STORE, {}, {}, -1};
  look.lock = sel_get_lock(SEL_LOCK_DB);
  if (look.lock < 0) return look;  // logged
  // Taken before the read: a change between the two makes the next look read again.
  struct stat st {};
  const bool stated = stat(SEL_INFO_FILE, &st) == 0;
  look.info = SelInfo{-1, -1, -1, -1, -1, 0};
  if (sel_get_info(&look.info) != SEL_OK || !usable(f, look.info)) {
    fwd_look_done(&look);
    look.result = FWD_LOOK_NO_STORE;
    return look;
  }
  if (stated && same_file(*f, st, look.info)) {
    fwd_look_done(&look);
    look.result = FWD_LOOK_IDLE;
    return look;
  }
  SelRecord at_cursor{};
  const bool in_ring =
      c.id != 0 && fwd_ordinal(look.info, c.id) >= 0 && read_slot(look.info, c.id, &at_cursor);
  look.plan = fwd_plan(c, look.info, in_ring ? &at_cursor : nullptr);
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
  fwd_slot_of(look->info, look->plan.start, &file, &pos);
  Reader reader{recs, 0, look->info.oldest_file, &look->lock};
  if (file != look->info.oldest_file) reader.release();
  const SelWalkEnd end = sel_walk({SEL_STORE_DIR, file, pos, count},
                                  {&reader, Reader::records, Reader::file_done, nullptr});
  reader.release();
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
  return reader.n;
}

void fwd_look_done(FwdLook* look) {
  if (look->lock >= 0) sel_release_lock(look->lock);
  look->lock = -1;
}
