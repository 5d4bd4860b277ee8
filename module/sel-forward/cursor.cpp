#include "module/sel-forward/cursor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

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

Status fwd_state_resolve(const char* path, char (&resolved)[PATH_MAX]) {
  struct stat st {};
  if (lstat(path, &st) == 0) {
    if (realpath(path, resolved) == nullptr) {
      return Status{S_ISLNK(st.st_mode) ? Step::resolve : Step::open, errno, path, 0};
    }
    if (stat(resolved, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1) {
      return fail_data(Step::repeated, path, static_cast<std::int64_t>(st.st_nlink));
    }
    return kDone;
  }
  if (errno != ENOENT) return fail_errno(Step::open, path);
  // A new state file: its directory, found, and the name after it.
  const char* slash = strrchr(path, '/');
  const char* name = slash == nullptr ? path : slash + 1;
  char dir[PATH_MAX];
  const std::size_t dir_len = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path);
  if (dir_len >= sizeof dir) return Status{Step::too_long, ENAMETOOLONG, path, PATH_MAX};
  memcpy(dir, slash == path ? "/" : path, slash == path ? 1 : dir_len);
  dir[slash == path ? 1 : dir_len] = '\0';
  if (realpath(dir_len == 0 ? "." : dir, resolved) == nullptr) return fail_errno(Step::open, path);
  const std::size_t used = strlen(resolved);
  if (snprintf(resolved + used, sizeof resolved - used, "%s%s", used > 1 ? "/" : "", name) >=
      static_cast<int>(sizeof resolved - used)) {
    return Status{Step::too_long, ENAMETOOLONG, path, PATH_MAX};
  }
  return kDone;
}

Status fwd_state_take(const char* path, FdGuard* lock) {
  char lock_path[PATH_MAX];
  if (snprintf(lock_path, sizeof lock_path, "%s.lock", path) >=
      static_cast<int>(sizeof lock_path)) {
    return Status{Step::too_long, ENAMETOOLONG, path, PATH_MAX};
  }
  FdGuard fd(open_regular(lock_path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.fd < 0) return fail_errno(Step::open, path);
  if (lock_whole_file(fd.fd) == 0) {
    *lock = std::move(fd);
    return kDone;
  }
  if (errno != EACCES && errno != EAGAIN) return fail_errno(Step::lock, path);
  return Status{Step::lock, EAGAIN, path, lock_holder(fd.fd)};
}

Status fwd_cursor_parse(FILE* in, FwdCursor* c) {
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
    return fail_data(Step::bad_format);
  }
  *c = FwdCursor{static_cast<std::int32_t>(slot),  static_cast<std::int32_t>(id),
                 static_cast<std::int32_t>(time),  static_cast<std::uint32_t>(sum),
                 static_cast<std::int32_t>(count), static_cast<std::int32_t>(oldest)};
  return kDone;
}

Status fwd_cursor_read(const char* path, FwdCursor* c) {
  struct stat st {};
  if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    return Status{Step::not_regular, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path, 0};
  }
  FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0 && errno == ENOENT) {
    *c = FWD_CURSOR_FRESH;
    return kDone;
  }
  if (fd.fd < 0) return fail_errno(Step::open, path);
  FILE* in = fdopen(fd.fd, "r");
  if (in == nullptr) return fail_errno(Step::memory, path);
  (void)fd.release();  // the stream owns it now
  Status parsed = fwd_cursor_parse(in, c);
  (void)fclose(in);  // read only
  if (!parsed.ok()) parsed.path = path;
  return parsed;
}

Status fwd_cursor_write(const char* path, const FwdCursor& c) {
  char text[112];
  const int len = snprintf(text, sizeof text, "%ld %d %d %d %08x %d %d\n", kFormat, c.slot, c.id,
                           c.time, c.sum, c.seen_count, c.seen_oldest);
  if (replace_file_durably(path, text, static_cast<std::size_t>(len)) != 0) {
    return fail_errno(Step::write, path);
  }
  return kDone;
}
