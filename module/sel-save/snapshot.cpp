#include "module/sel-save/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lib/posix.h"
#include "store/sel_lock.h"

namespace {

// Reads up to `size` bytes of the file at `path` into `buf`, and its modification
// time. The bytes read, or -1 with errno set.
ssize_t read_file(const char* path, void* buf, std::size_t size, std::int64_t* mtime) {
  const FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.fd < 0 || fstat(fd.fd, &st) != 0) return -1;
  *mtime = st.st_mtime;
  return read_full(fd.fd, buf, size);
}

void parse_info(SelSnapshot* snap) {
  snap->info = SelInfo{-1, -1, -1, -1, -1, 0};
  if (snap->info_size > 0) {
    if (FILE* in = fmemopen(snap->info_text, snap->info_size, "r")) {
      sel_info_parse(in, &snap->info);
      (void)fclose(in);  // a memory stream that was only read
    }
  }
  snap->info_faults = sel_info_faults(snap->info);
}

// Under both locks: nothing but reading into memory happens here.
int read_store(SelSnapshot* snap) {
  const ssize_t got =
      read_file(SEL_INFO_FILE, snap->info_text, sizeof snap->info_text, &snap->info_mtime);
  if (got < 0) return SEL_SNAPSHOT_NO_INFO;
  snap->info_cut = static_cast<std::size_t>(got) > SEL_SNAPSHOT_INFO_MAX;
  snap->info_size = snap->info_cut ? SEL_SNAPSHOT_INFO_MAX : static_cast<std::size_t>(got);
  parse_info(snap);
  const bool usable = (snap->info_faults & SEL_INFO_UNUSABLE) == 0;
  for (int file = 0; file < SEL_FILES; ++file) {
    SelSnapshotFile& f = snap->files[file];
    // Field by field: the record bytes are written only as far as they are read.
    f.promised =
        usable ? sel_ring_records_in(snap->info.rec_count, snap->info.oldest_file, file) : 0;
    f.error = 0;
    f.size = 0;
    f.mtime = 0;
    if (f.promised == 0) continue;
    char path[SEL_PATH_MAX];
    (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
    const ssize_t n =
        read_file(path, f.bytes, static_cast<std::size_t>(f.promised) * SEL_RECORD_SIZE, &f.mtime);
    if (n < 0) {
      f.error = errno;
    } else {
      f.size = static_cast<std::size_t>(n);
    }
  }
  return SEL_SNAPSHOT_OK;
}

}  // namespace

int sel_snapshot_take(SelSnapshot* snap) {
  // Every page of the copy is touched before the locks are taken, so that copying under
  // them costs no page faults: seld waits for the reads alone.
  memset(snap, 0, sizeof *snap);
  snap->lock_path = SEL_LOCK_DB;
  const int store_lock = sel_lock_take(SEL_LOCK_DB, nullptr, &snap->lock_step);
  if (store_lock < 0) return SEL_SNAPSHOT_NO_LOCK;
  snap->lock_path = SEL_LOCK_INFO;
  const int info_lock = sel_lock_take(SEL_LOCK_INFO, nullptr, &snap->lock_step);
  if (info_lock < 0) {
    const int error = errno;
    sel_release_lock(store_lock);
    errno = error;
    return SEL_SNAPSHOT_NO_LOCK;
  }
  const int result = read_store(snap);
  const int error = errno;
  sel_release_lock(info_lock);
  sel_release_lock(store_lock);
  errno = error;
  return result;
}
