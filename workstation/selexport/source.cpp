#include "workstation/selexport/source.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "workstation/selexport/store_dir.h"

namespace {

// The one directory inside `folder` that holds a store, into `found`. The number of
// such directories.
int inner_stores(const char* folder, char (&found)[PATH_MAX]) {
  DIR* d = opendir(folder);
  if (d == nullptr) return 0;
  int stores = 0;
  // One thread, one directory stream: readdir_r, which the C library deprecates, would
  // buy nothing.
  // cppcheck-suppress readdirCalled
  while (const dirent* entry = readdir(d)) {
    char path[PATH_MAX];
    struct stat st {};
    if (entry->d_name[0] == '.' ||
        snprintf(path, sizeof path, "%s/%s", folder, entry->d_name) >=
            static_cast<int>(sizeof path) ||
        stat(path, &st) != 0 || !S_ISDIR(st.st_mode) || !store_present(path)) {
      continue;
    }
    if (++stores == 1) memcpy(found, path, sizeof found);
  }
  (void)closedir(d);
  return stores;
}

}  // namespace

bool source_open(const char* operand, Source* source, FILE* err) {
  // "-": an archive on standard input, read as a pipe is.
  const bool from_stdin = strcmp(operand, "-") == 0;
  source->name = from_stdin ? "standard input" : operand;
  source->meta = SnapshotMeta{};
  struct stat st {};
  if (from_stdin ? fstat(STDIN_FILENO, &st) != 0 : stat(operand, &st) != 0) {
    fprintf(err, "selexport: %s: %s\n", source->name, strerror(errno));
    return false;
  }
  const char* dir = operand;
  if (from_stdin || S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
    dir = store_unpack(from_stdin ? nullptr : operand, source->name, err);
    if (dir == nullptr) return false;
  } else if (!S_ISDIR(st.st_mode)) {
    fprintf(err, "selexport: %s: neither a directory nor an archive\n", operand);
    return false;
  }
  if (snprintf(source->dir, sizeof source->dir, "%s", dir) >=
      static_cast<int>(sizeof source->dir)) {
    fprintf(err, "selexport: %s: %s\n", operand, strerror(ENAMETOOLONG));
    return false;
  }
  if (!store_present(dir)) {
    const int inner = inner_stores(dir, source->dir);
    if (inner == 0) {
      fprintf(err, "selexport: %s holds no SEL store (no sel.inf, no sel.0 to sel.3)\n",
              source->name);
    } else if (inner > 1) {
      fprintf(err, "selexport: %s holds %d folders with a SEL store: name one of them\n",
              source->name, inner);
    }
    if (inner != 1) return false;
  }
  (void)snapshot_meta_read(source->dir, &source->meta);
  return true;
}

const char* source_label(const Source& source) {
  return source.meta.host[0] != '\0' ? source.meta.host : source.name;
}
