#include "store/sel_rd.h"

#include "store/sel_lock.h"

namespace {

// The walk's side of the lock: dropped once, on the first of the ways out.
struct LockedWalk {
  SelWalkHooks hooks;
  int oldest_file;
  int lock;

  void release() {
    if (lock >= 0) sel_release_lock(lock);
    lock = -1;
  }
  static void records(void* ctx, const SelRecord* recs, int n) {
    const SelWalkHooks& h = static_cast<LockedWalk*>(ctx)->hooks;
    if (h.records != nullptr) h.records(h.ctx, recs, n);
  }
  static void file_done(void* ctx, int file) {
    auto* walk = static_cast<LockedWalk*>(ctx);
    if (file == walk->oldest_file) walk->release();
  }
  static void chunk_done(void* ctx) {
    const SelWalkHooks& h = static_cast<LockedWalk*>(ctx)->hooks;
    if (h.chunk_done != nullptr) h.chunk_done(h.ctx);
  }
};

}  // namespace

SelWalkEnd sel_read_recs(const SelRead& read, const SelWalkHooks& hooks) {
  LockedWalk walk{hooks, read.oldest_file, read.lock};
  if (read.start_file != read.oldest_file) walk.release();
  const SelWalkEnd end =
      sel_walk({SEL_STORE_DIR, read.start_file, read.start_pos, read.count},
               {&walk, LockedWalk::records, LockedWalk::file_done, LockedWalk::chunk_done});
  walk.release();
  return end;
}
