#include "module/sel-save/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "lib/posix.h"
#include "store/sel_lock.h"

namespace {

// Reads up to `size` bytes of the file at `path` into `buf`, and its modification
// time; `*got` is the bytes read. A failure names `path`.
Status read_file(const char* path, void* buf, std::size_t size, std::size_t* got,
                 std::int64_t* mtime) {
  const FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) return fail_errno(Step::open, path);
  struct stat st {};
  if (fstat(fd.fd, &st) != 0) return fail_errno(Step::stat, path);
  *mtime = st.st_mtime;
  const ssize_t n = read_full(fd.fd, buf, size);
  if (n < 0) return fail_errno(Step::read, path);
  *got = static_cast<std::size_t>(n);
  return kDone;
}

void parse_info(SelSnapshot* snap) {
  snap->info = SEL_INFO_UNREAD;
  if (snap->info_size > 0) {
    if (FILE* in = fmemopen(snap->info_text, snap->info_size, "r")) {
      sel_info_parse(in, &snap->info);
      (void)fclose(in);  // a memory stream that was only read
    }
  }
  snap->info_faults = sel_info_faults(snap->info);
}

// The records that the info file promises in `file`, as far as they are there.
void read_records(const SelInfo& info, bool usable, int file, SelSnapshotFile* f) {
  // Field by field: the record bytes are written only as far as they are read.
  f->promised = usable ? sel_ring_records_in(info.rec_count, info.oldest_file, file) : 0;
  f->read = kDone;
  f->size = 0;
  f->mtime = 0;
  if (f->promised == 0) return;
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  f->read = read_file(path, f->bytes, static_cast<std::size_t>(f->promised) * SEL_RECORD_SIZE,
                      &f->size, &f->mtime);
  f->read.path = nullptr;  // the path was this function's own
}

// Under both locks: nothing but reading into memory happens here.
Status read_store(SelSnapshot* snap) {
  std::size_t got = 0;
  const Status info =
      read_file(SEL_INFO_FILE, snap->info_text, sizeof snap->info_text, &got, &snap->info_mtime);
  if (!info.ok()) return info;
  snap->info_cut = got > SEL_SNAPSHOT_INFO_MAX;
  snap->info_size = snap->info_cut ? SEL_SNAPSHOT_INFO_MAX : got;
  parse_info(snap);
  const bool usable = (snap->info_faults & SEL_INFO_UNUSABLE) == 0;
  for (int file = 0; file < SEL_FILES; ++file) {
    read_records(snap->info, usable, file, &snap->files[file]);
  }
  return kDone;
}

}  // namespace

Status sel_snapshot_take(SelSnapshot* snap) {
  // Every page of the copy is touched before the locks are taken, so that copying under
  // them costs no page faults: seld waits for the reads alone.
  memset(static_cast<void*>(snap), 0, sizeof *snap);
  // Released in the reverse order: the info lock, then the store lock.
  SelLock store_lock, info_lock;
  Status taken = sel_lock_take(SEL_LOCK_DB, &store_lock);
  if (taken.ok()) taken = sel_lock_take(SEL_LOCK_INFO, &info_lock);
  if (!taken.ok()) return taken;
  return read_store(snap);
}
