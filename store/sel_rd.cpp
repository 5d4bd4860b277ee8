#include "store/sel_rd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <syslog.h>
#include <unistd.h>

#include "decode/sel_print.h"
#include "lib/log.h"
#include "store/sel_range.h"

namespace {

constexpr useconds_t kChunkPauseMicros = 10;

// The store lock as the walk holds it: dropped once, on the first of the ways out.
struct StoreLock {
  int handle;
  void release() {
    if (handle >= 0) sel_release_lock(handle);
    handle = -1;
  }
};

// Reads up to `count` records from `path` starting at record `pos`, with one open,
// seek, read and close, so that no record file stays open while records are printed.
// Returns the whole records read, or -1 when the file cannot be opened.
int read_chunk(const char* path, int pos, int count, SelRecord* chunk) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (lseek(fd, static_cast<off_t>(pos) * static_cast<off_t>(SEL_RECORD_SIZE), SEEK_SET) < 0) {
    log_msg(LOG_ERR, "Error fseek %s", path);
    close(fd);
    return 0;
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

}  // namespace

int sel_fprint_recs(FILE* out, int start_file, int start_pos, int count, int oldest_file,
                    int lock) {
  StoreLock store{lock};
  if (start_file != oldest_file) store.release();
  if (count < 1) {
    store.release();
    return 0;
  }

  // The pause after each chunk is short; without this the default timer slack would
  // stretch it several times over.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  // With TZ unset the C library stats /etc/localtime again at every ctime, one system
  // call per record; naming that same zone file lets it keep the zone it has read.
  setenv("TZ", ":/etc/localtime", 0);

  alignas(16) SelRecord chunk[SEL_CHUNK_RECS];
  char path[SEL_PATH_MAX];
  int file = start_file;
  int pos = start_pos;
  int to_go = count;
  while (to_go > 0) {
    (void)snprintf(path, sizeof path, "%s%d", SEL_FILE_PREFIX, file);  // fits: file < 4
    // A chunk never reaches past the 1000 records that a file can hold in the ring.
    int want = to_go < SEL_CHUNK_RECS ? to_go : SEL_CHUNK_RECS;
    if (want > SEL_RECS_PER_FILE - pos) want = SEL_RECS_PER_FILE - pos;
    const int got = read_chunk(path, pos, want, chunk);
    if (got < 0) {
      log_msg(LOG_ERR, "Error open %s for read", path);
      fprintf(out, "Error reading sel.%d\n", file);
      store.release();
      return 2;
    }
    pos += got;
    if (got < want) {
      fputs("SEL ends unexpectedly.\n", out);
      store.release();
      return 0;
    }
    for (int i = 0; i < got; ++i) sel_fprint_rec(out, chunk[i]);
    if (pos >= SEL_RECS_PER_FILE) {
      if (file == oldest_file) store.release();
      file = (file + 1) % SEL_FILES;
      pos = 0;
    }
    to_go -= got;
    usleep(kChunkPauseMicros);
  }
  store.release();
  return 0;
}

int sel_fprint_first_recs(FILE* out, const SelInfo& info, int count, int lock) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    sel_release_lock(lock);
    return 0;
  }
  const SelRange r = sel_range_first(info, count);
  if (r.capped) fprintf(out, "SEL contains only %d records\n", info.rec_count);
  return sel_fprint_recs(out, r.start_file, r.start_pos, r.count, info.oldest_file, lock);
}

int sel_fprint_last_recs(FILE* out, const SelInfo& info, int count, int lock) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    sel_release_lock(lock);
    return 0;
  }
  // A count below 1 prints nothing; the range reader says so and drops the lock.
  const SelRange r = sel_range_last(info, count);
  if (r.capped) fprintf(out, "SEL contains only %d records\n", info.rec_count);
  return sel_fprint_recs(out, r.start_file, r.start_pos, r.count, info.oldest_file, lock);
}

int sel_print_recs(int start_file, int start_pos, int count, int oldest_file, int lock) {
  return sel_fprint_recs(stdout, start_file, start_pos, count, oldest_file, lock);
}
int sel_print_first_recs(const SelInfo& info, int count, int lock) {
  return sel_fprint_first_recs(stdout, info, count, lock);
}
int sel_print_last_recs(const SelInfo& info, int count, int lock) {
  return sel_fprint_last_recs(stdout, info, count, lock);
}
