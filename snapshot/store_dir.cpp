#include "snapshot/store_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "lib/posix.h"
#include "store/sel_ring.h"

StoreDir store_open(const char* dir, const char* name) {
  StoreDir store{dir, name, SEL_INFO_UNREAD, kDone};
  char path[PATH_MAX];
  if (!sel_info_path(path, sizeof path, dir)) {
    store.info_read = Status{Step::open, ENAMETOOLONG, SEL_FILE_NAMES[0], 0};
  } else if (const Status read = sel_read_info(path, &store.info); !read.ok()) {
    store.info_read = Status{read.step, read.error, SEL_FILE_NAMES[0], 0};
  }
  return store;
}

Status store_usable(const StoreDir& store) {
  if (!store.info_read.ok()) return store.info_read;
  const unsigned faults = sel_info_faults(store.info) & SEL_INFO_UNUSABLE;
  return faults == 0 ? kDone : fail_data(Step::bad_format, SEL_FILE_NAMES[0], faults);
}

Status store_files_readable(const StoreDir& store) {
  if (!store_usable(store).ok()) return kDone;
  for (int file = 0; file < SEL_FILES; ++file) {
    const int promised =
        sel_ring_records_in(store.info.rec_count, store.info.oldest_file, file);
    char path[PATH_MAX];
    if (promised == 0 || !sel_record_path(path, sizeof path, store.dir, file)) continue;
    const FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) {
      return Status{errno == EINVAL ? Step::not_regular : Step::open, errno,
                    SEL_FILE_NAMES[1 + file], promised};
    }
  }
  return kDone;
}

bool store_present(const char* dir) {
  char path[PATH_MAX];
  struct stat st {};
  if (sel_info_path(path, sizeof path, dir) && lstat(path, &st) == 0) return true;
  for (int file = 0; file < SEL_FILES; ++file) {
    if (sel_record_path(path, sizeof path, dir, file) && lstat(path, &st) == 0) return true;
  }
  return false;
}
