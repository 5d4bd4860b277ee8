#include "snapshot/source.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lib/posix.h"
#include "snapshot/replay.h"
#include "snapshot/store_dir.h"
#include "snapshot/unpack.h"

namespace {

// The directories inside `folder` that hold a store: how many, the first into `found`.
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

// Unpacks the archive at `path` (standard input when null) into `*dir`.
Status unpack(const char* path, const char* program, const char** dir, Source* source) {
  const FdGuard in(path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : dup(STDIN_FILENO));
  if (in.fd < 0) return fail_errno(Step::open);
  return unpack_archive(in.fd, program, dir, source->member);
}

// The store in `dir`, or in the one folder inside it that holds one, into source->dir.
Status find_store(const char* dir, Source* source) {
  if (snprintf(source->dir, sizeof source->dir, "%s", dir) >=
      static_cast<int>(sizeof source->dir)) {
    return Status{Step::too_long, ENAMETOOLONG, nullptr, PATH_MAX};
  }
  if (store_present(dir)) return kDone;
  const int inner = inner_stores(dir, source->dir);
  if (inner == 0) return fail_data(Step::empty);
  if (inner > 1) return fail_data(Step::repeated, nullptr, inner);
  return kDone;
}

// Whether the archive merely ended early: what came before is whole.
bool ended_early(const Status& s) {
  return s.step == Step::cut_short || s.step == Step::gzip_cut_short ||
         s.step == Step::gzip_damaged;
}

}  // namespace

Status source_open(const char* operand, const char* program, Source* source) {
  // "-": an archive on standard input, read as a pipe is.
  const bool from_stdin = strcmp(operand, "-") == 0;
  source->name = from_stdin ? "standard input" : operand;
  source->meta = SnapshotMeta{};
  source->meta_read = source->cut = kDone;
  source->member[0] = '\0';
  struct stat st {};
  if (from_stdin ? fstat(STDIN_FILENO, &st) != 0 : stat(operand, &st) != 0) {
    return fail_errno(Step::stat);
  }
  const char* dir = operand;
  if (from_stdin || S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
    const Status unpacked = unpack(from_stdin ? nullptr : operand, program, &dir, source);
    if (!unpacked.ok() && !(ended_early(unpacked) && store_present(dir))) return unpacked;
    source->cut = unpacked;
  } else if (!S_ISDIR(st.st_mode)) {
    return fail_data(Step::not_regular);
  }
  const Status found = find_store(dir, source);
  if (found.ok()) source->meta_read = snapshot_meta_read(source->dir, &source->meta);
  return found;
}

Status source_open_read(const char* name, int fd, std::string_view head, const char* program,
                        Source* source) {
  source->name = name;
  source->meta = SnapshotMeta{};
  source->member[0] = '\0';
  FdGuard replayed;
  if (const Status made = replay_input(fd, head, &replayed); !made.ok()) return made;
  const char* dir = nullptr;
  const Status unpacked = unpack_archive(replayed.fd, program, &dir, source->member);
  if (!unpacked.ok()) return unpacked;
  const Status found = find_store(dir, source);
  if (found.ok()) (void)snapshot_meta_read(source->dir, &source->meta);
  return found;
}

const char* source_label(const Source& source) {
  return source.meta.host[0] != '\0' ? source.meta.host : source.name;
}
