#include "store/sel_walk.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "lib/posix.h"

Status sel_read_chunk(const char* path, int pos, int count, SelRecord* chunk, int* got) {
  *got = 0;
  const FdGuard fd(open(path, O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) return fail_errno(Step::open, path);
  if (lseek(fd.fd, static_cast<off_t>(pos) * static_cast<off_t>(SEL_RECORD_SIZE), SEEK_SET) < 0) {
    return fail_errno(Step::seek, path);
  }
  auto* bytes = reinterpret_cast<unsigned char*>(chunk);
  const std::size_t want = static_cast<std::size_t>(count) * SEL_RECORD_SIZE;
  std::size_t done = 0;
  while (done < want) {
    const ssize_t n = read(fd.fd, bytes + done, want - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the end of the file, or a file that cannot be read: the store ends here
    }
  }
  *got = static_cast<int>(done / SEL_RECORD_SIZE);
  return kDone;
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

// How the walk ended in `file`.
Status ended(Step step, int file) { return fail_data(step, nullptr, file); }

}  // namespace

Status sel_walk(const SelWalk& walk, const SelWalkHooks& hooks) {
  alignas(16) SelRecord chunk[SEL_CHUNK_RECS];
  char path[PATH_MAX];
  int file = walk.start_file;
  int pos = walk.start_pos;
  int to_go = walk.count;
  bool entering = true;
  while (to_go > 0) {
    if (!sel_record_path(path, sizeof path, walk.dir, file)) return ended(Step::open, file);
    if (entering && other_than_regular(path)) return ended(Step::not_regular, file);
    entering = false;
    const int want = to_go < SEL_CHUNK_RECS ? to_go : SEL_CHUNK_RECS;
    int got = 0;
    const Status read = sel_read_chunk(path, pos, want, chunk, &got);
    if (!read.ok()) return Status{read.step, read.error, nullptr, file};
    pos += got;
    // A chunk cut short by the end of a full file is no end of the store.
    if (got < want && pos < SEL_RECS_PER_FILE) return ended(Step::cut_short, file);
    if (hooks.records != nullptr) hooks.records(hooks.ctx, chunk, got);
    if (pos >= SEL_RECS_PER_FILE) {
      if (hooks.file_done != nullptr) hooks.file_done(hooks.ctx, file);
      file = sel_file_after(file, 1);
      pos = 0;
      entering = true;
    }
    to_go -= got;
    if (hooks.chunk_done != nullptr) hooks.chunk_done(hooks.ctx);
  }
  return kDone;
}

namespace {

// The walk's side of the store lock: dropped once the walk has left the oldest file.
struct LockedWalk {
  SelWalkHooks hooks;
  int oldest_file;
  SelLock lock;

  static void records(void* ctx, const SelRecord* recs, int n) {
    const SelWalkHooks& h = static_cast<LockedWalk*>(ctx)->hooks;
    if (h.records != nullptr) h.records(h.ctx, recs, n);
  }
  static void file_done(void* ctx, int file) {
    auto* walk = static_cast<LockedWalk*>(ctx);
    if (file == walk->oldest_file) (void)sel_release_lock(walk->lock);
  }
  static void chunk_done(void* ctx) {
    const SelWalkHooks& h = static_cast<LockedWalk*>(ctx)->hooks;
    if (h.chunk_done != nullptr) h.chunk_done(h.ctx);
  }
};

}  // namespace

Status sel_read_recs(const SelRead& read, SelLock lock, const SelWalkHooks& hooks) {
  LockedWalk walk{hooks, read.oldest_file, std::move(lock)};
  if (read.start_file != read.oldest_file) (void)sel_release_lock(walk.lock);
  return sel_walk({SEL_STORE_DIR, read.start_file, read.start_pos, read.count},
                  {&walk, LockedWalk::records, LockedWalk::file_done, LockedWalk::chunk_done});
}
