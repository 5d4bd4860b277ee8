#include "module/sel-forward/cursor.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/posix.h"
#include "store/sel_format.h"

namespace {

// The state file's one line: a format number, then the cursor's fields. Format 1, of
// the forwarders that took ids for slots, has no slot: its id (1 to 4000) names one.
constexpr long kFormat = 2;

}  // namespace

std::uint32_t fwd_record_sum(const SelRecord& rec) {
  std::uint32_t h = 2166136261U;
  for (unsigned char b : rec.bytes) h = (h ^ b) * 16777619U;
  return h;
}

FwdCursor fwd_cursor_at(const SelRecord& rec, int slot, std::int32_t rec_count,
                        std::int32_t oldest_file) {
  return {slot,      sel_record_id(rec), sel_timestamp(rec), fwd_record_sum(rec),
          rec_count, oldest_file};
}

int fwd_state_take(const char* path, int* holder) {
  char lock_path[PATH_MAX];
  if (snprintf(lock_path, sizeof lock_path, "%s.lock", path) >=
      static_cast<int>(sizeof lock_path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  FdGuard fd(open_regular(lock_path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.fd < 0) return -1;
  if (lock_whole_file(fd.fd) == 0) return fd.release();
  if (errno != EACCES && errno != EAGAIN) return -1;
  *holder = lock_holder(fd.fd);
  errno = EAGAIN;
  return -1;
}

int fwd_cursor_parse(FILE* in, FwdCursor* c) {
  long format = 0, slot = 0, id = 0, time = 0, count = 0, oldest = 0;
  unsigned long sum = 0;
  char end = 0;
  // "%ld" and "%lx" convert as strtol and strtoul do, holding an overlong number at
  // the type's limit; every field is range-checked below.
  // NOLINTNEXTLINE(cert-err34-c)
  int n = fscanf(in, "%ld", &format);
  if (n == 1 && format == kFormat) {
    // NOLINTNEXTLINE(cert-err34-c)
    n = fscanf(in, "%ld %ld %ld %lx %ld %ld %c", &slot, &id, &time, &sum, &count, &oldest, &end);
  } else if (n == 1 && format == 1) {
    // NOLINTNEXTLINE(cert-err34-c)
    n = fscanf(in, "%ld %ld %lx %ld %ld %c", &id, &time, &sum, &count, &oldest, &end) + 1;
    slot = id - 1;
    if (id < 0 || id > SEL_MAX_RECS) n = 0;
  }
  if (n != 6 || slot < -1 || slot >= SEL_MAX_RECS || id != held_at_int(id) ||
      time != held_at_int(time) || sum > 0xffffffffUL || count < 0 || count > SEL_MAX_RECS ||
      oldest < -1 || oldest >= SEL_FILES) {
    errno = EBADMSG;
    return -1;
  }
  *c = FwdCursor{static_cast<std::int32_t>(slot),  static_cast<std::int32_t>(id),
                 static_cast<std::int32_t>(time),  static_cast<std::uint32_t>(sum),
                 static_cast<std::int32_t>(count), static_cast<std::int32_t>(oldest)};
  return 0;
}

int fwd_cursor_read(const char* path, FwdCursor* c) {
  struct stat st {};
  if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  const int fd = open_regular(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) return -1;
    *c = FWD_CURSOR_FRESH;
    return 1;
  }
  FILE* in = fdopen(fd, "r");
  if (in == nullptr) {
    close(fd);
    return -1;
  }
  const int result = fwd_cursor_parse(in, c);
  (void)fclose(in);  // read only
  return result;
}

int fwd_cursor_write(const char* path, const FwdCursor& c) {
  char text[112];
  const int len = snprintf(text, sizeof text, "%ld %d %d %d %08x %d %d\n", kFormat, c.slot, c.id,
                           c.time, c.sum, c.seen_count, c.seen_oldest);
  return replace_file_durably(path, text, static_cast<std::size_t>(len));
}
