#include "store/sel_walk.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int sel_read_chunk(const char* path, int pos, int count, SelRecord* chunk) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return SEL_READ_NO_FILE;
  if (lseek(fd, static_cast<off_t>(pos) * static_cast<off_t>(SEL_RECORD_SIZE), SEEK_SET) < 0) {
    close(fd);
    return SEL_READ_NO_SEEK;
  }
  auto* bytes = reinterpret_cast<unsigned char*>(chunk);
  const std::size_t want = static_cast<std::size_t>(count) * SEL_RECORD_SIZE;
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = read(fd, bytes + got, want - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the end of the file, or a file that cannot be read: the store ends here
    }
  }
  close(fd);
  return static_cast<int>(got / SEL_RECORD_SIZE);
}

namespace {

// A record file that exists but is no regular file would block the open (a FIFO) or
// read as endless records (a device). Checked once as the walk enters a file, so that a
// regular file is read with the same calls per chunk as ever; a missing file is left to
// the open.
bool other_than_regular(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace

SelWalkEnd sel_walk(const SelWalk& walk, const SelWalkHooks& hooks) {
  alignas(16) SelRecord chunk[SEL_CHUNK_RECS];
  char path[PATH_MAX];
  int file = walk.start_file;
  int pos = walk.start_pos;
  int to_go = walk.count;
  bool entering = true;
  while (to_go > 0) {
    if (!sel_record_path(path, sizeof path, walk.dir, file)) return {SEL_WALK_NO_FILE, file};
    if (entering && other_than_regular(path)) return {SEL_WALK_NOT_REGULAR, file};
    entering = false;
    const int want = to_go < SEL_CHUNK_RECS ? to_go : SEL_CHUNK_RECS;
    const int got = sel_read_chunk(path, pos, want, chunk);
    if (got == SEL_READ_NO_FILE) return {SEL_WALK_NO_FILE, file};
    if (got == SEL_READ_NO_SEEK) return {SEL_WALK_NO_SEEK, file};
    pos += got;
    // A chunk cut short by the end of a full file is no end of the store.
    if (got < want && pos < SEL_RECS_PER_FILE) return {SEL_WALK_SHORT, file};
    if (hooks.records != nullptr) hooks.records(hooks.ctx, chunk, got);
    if (pos >= SEL_RECS_PER_FILE) {
      if (hooks.file_done != nullptr) hooks.file_done(hooks.ctx, file);
      file = (file + 1) % SEL_FILES;
      pos = 0;
      entering = true;
    }
    to_go -= got;
    if (hooks.chunk_done != nullptr) hooks.chunk_done(hooks.ctx);
  }
  return {SEL_WALK_DONE, file};
}
