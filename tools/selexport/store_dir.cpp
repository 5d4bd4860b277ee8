#include "tools/selexport/store_dir.h"

#include <cerrno>
#include <cstdio>

bool store_info_path(const char* dir, char (&path)[PATH_MAX]) {
  const int n = snprintf(path, sizeof path, "%s/sel.inf", dir);
  return n > 0 && n < static_cast<int>(sizeof path);
}

bool store_file_path(const char* dir, int file, char (&path)[PATH_MAX]) {
  const int n = snprintf(path, sizeof path, "%s/sel.%d", dir, file);
  return n > 0 && n < static_cast<int>(sizeof path);
}

StoreDir store_open(const char* dir) {
  StoreDir store{dir, {-1, -1, -1, -1, -1, 0}, false};
  char path[PATH_MAX];
  store.info_found = store_info_path(dir, path) && sel_read_info(path, &store.info) == 0;
  return store;
}

int store_load_file(const char* dir, int file, std::vector<unsigned char>& bytes) {
  char path[PATH_MAX];
  if (!store_file_path(dir, file, path)) return ENAMETOOLONG;
  bytes.clear();
  FILE* in = fopen(path, "rb");
  if (in == nullptr) return errno;
  unsigned char block[4096];
  std::size_t n = 0;
  while ((n = fread(block, 1, sizeof block, in)) > 0) bytes.insert(bytes.end(), block, block + n);
  const int failed = ferror(in) ? (errno != 0 ? errno : EIO) : 0;
  (void)fclose(in);  // read only
  return failed;
}
