#include "tools/selexport/store_dir.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>

StoreDir store_open(const char* dir) {
  StoreDir store{dir, {-1, -1, -1, -1, -1, 0}, false, ENAMETOOLONG};
  char path[PATH_MAX];
  if (sel_info_path(path, sizeof path, dir)) {
    store.info_found = sel_read_info(path, &store.info) == 0;
    store.info_errno = store.info_found ? 0 : errno;
  }
  return store;
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
