#include "module/sel-forward/cursor.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "lib/posix.h"
#include "store/sel_format.h"

namespace {

// The state file's one line: a format number, then the cursor's fields.
constexpr int kFormat = 1;

}  // namespace

std::uint32_t fwd_record_sum(const SelRecord& rec) {
  std::uint32_t h = 2166136261U;
  for (unsigned char b : rec.bytes) h = (h ^ b) * 16777619U;
  return h;
}

FwdCursor fwd_cursor_at(const SelRecord& rec, std::int32_t rec_count, std::int32_t oldest_file) {
  return {sel_record_id(rec), sel_timestamp(rec), fwd_record_sum(rec), rec_count, oldest_file};
}

int fwd_cursor_parse(FILE* in, FwdCursor* c) {
  long format = 0, id = 0, time = 0, count = 0, oldest = 0;
  unsigned long sum = 0;
  char end = 0;
  // "%ld" and "%lx" convert as strtol and strtoul do, holding an overlong number at
  // the type's limit; every field is range-checked below.
  const int n =
      // NOLINTNEXTLINE(cert-err34-c)
      fscanf(in, "%ld %ld %ld %lx %ld %ld %c", &format, &id, &time, &sum, &count, &oldest, &end);
  if (n != 6 || format != kFormat || id < 0 || id > SEL_MAX_RECS || time != held_at_int(time) ||
      sum > 0xffffffffUL || count < 0 || count > SEL_MAX_RECS || oldest < -1 ||
      oldest >= SEL_FILES) {
    errno = EINVAL;
    return -1;
  }
  *c = FwdCursor{static_cast<std::int32_t>(id), static_cast<std::int32_t>(time),
                 static_cast<std::uint32_t>(sum), static_cast<std::int32_t>(count),
                 static_cast<std::int32_t>(oldest)};
  return 0;
}

int fwd_cursor_read(const char* path, FwdCursor* c) {
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
  char text[96];
  const int len = snprintf(text, sizeof text, "%d %d %d %08x %d %d\n", kFormat, c.id, c.time, c.sum,
                           c.seen_count, c.seen_oldest);
  return replace_file_durably(path, text, static_cast<std::size_t>(len));
}
