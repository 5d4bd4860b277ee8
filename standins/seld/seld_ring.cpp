#include "standins/seld/seld_ring.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lib/coding.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "decode/sel_record.h"

bool seld_number_on = false;

namespace {

bool is_written(std::uint32_t id, int file, int pos) {
  return seld_number_on ? id != 0 : id == static_cast<std::uint32_t>(sel_slot_id(file, pos));
}

bool is_file(int file) { return file >= 0 && file < SEL_FILES; }

int oldest_of_full_ring(const SelInfo& info) {
  int votes[SEL_FILES] = {};
  if (info.fields_read >= 3 && is_file(info.oldest_file)) ++votes[info.oldest_file];
  if (info.fields_read >= 4 && is_file(info.latest_file)) {
    ++votes[(info.latest_file + 1) % SEL_FILES];
  }
  if (info.fields_read >= 5 && info.latest_id > 0 && info.latest_id <= SEL_MAX_RECS &&
      info.latest_id % SEL_RECS_PER_FILE == 0) {
    ++votes[info.latest_id / SEL_RECS_PER_FILE % SEL_FILES];
  }
  for (int file = 0; file < SEL_FILES; ++file) {
    if (votes[file] >= 2) return file;
  }
  return -1;
}

// The records of `file`, `whole` by its size, up to the last written one: a power cut
// can leave a file longer than what reached it, the rest zeros. -1 when the file cannot
// be read (logged).
int written_records(const char* path, int file, int whole) {
  if (whole == 0) return 0;
  const FdGuard fd(open_regular(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  for (; fd.fd >= 0 && whole > 0; --whole) {
    unsigned char id[4];
    const off_t at = static_cast<off_t>(whole - 1) * static_cast<off_t>(SEL_RECORD_SIZE);
    if (pread(fd.fd, id, sizeof id, at) != static_cast<ssize_t>(sizeof id)) break;
    if (is_written(load_be32(id), file, whole - 1)) return whole;
  }
  if (whole == 0) return 0;
  log_msg_errno(LOG_ERR, "cannot read %s", path);
  return -1;
}

}  // namespace

int seld_record_counts(int counts[SEL_FILES]) {
  for (int file = -1; file < SEL_FILES; ++file) {
    char path[SEL_PATH_MAX];
    if (file < 0) {
      (void)snprintf(path, sizeof path, "%s", SEL_INFO_FILE);  // fits: a constant
    } else {
      (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
    }
    struct stat st {};
    if (lstat(path, &st) != 0) {
      if (errno != ENOENT) {
        log_msg_errno(LOG_ERR, "cannot examine %s", path);
        return -1;
      }
      st.st_size = 0;
    } else if (!S_ISREG(st.st_mode)) {
      log_msg(LOG_ERR, "%s is not a regular file: seld leaves the store alone", path);
      return -1;
    }
    if (file >= 0) {
      const off_t whole = st.st_size / static_cast<off_t>(SEL_RECORD_SIZE);
      counts[file] = written_records(
          path, file, whole < SEL_RECS_PER_FILE ? static_cast<int>(whole) : SEL_RECS_PER_FILE);
      if (counts[file] < 0) return -1;
    }
  }
  return 0;
}

Status seld_ring_from_counts(const int counts[SEL_FILES], const SelInfo& info, int version,
                             SelInfo* ring) {
  int full = 0;
  int latest = -1;
  for (int file = 0; file < SEL_FILES; ++file) {
    if (counts[file] == SEL_RECS_PER_FILE) ++full;
    if (counts[file] > 0 && counts[file] < SEL_RECS_PER_FILE) latest = file;
  }
  if (full == SEL_FILES) {
    const int oldest = oldest_of_full_ring(info);
    if (oldest < 0) return fail_data(Step::bad_format, SEL_INFO_FILE);
    *ring = sel_ring_info(version, SEL_MAX_RECS, oldest);
    return kDone;
  }
  // Without a file partly full, the newest is the full one before an empty one.
  for (int file = 0; file < SEL_FILES && latest < 0; ++file) {
    if (counts[file] == SEL_RECS_PER_FILE && counts[(file + 1) % SEL_FILES] == 0) latest = file;
  }
  if (latest < 0) {
    *ring = sel_ring_info(version, 0, 0);  // every file empty
    return kDone;
  }
  int oldest = latest;
  int records = counts[latest];
  for (int before = (oldest + SEL_FILES - 1) % SEL_FILES;
       before != latest && counts[before] == SEL_RECS_PER_FILE;
       before = (before + SEL_FILES - 1) % SEL_FILES) {
    oldest = before;
    records += SEL_RECS_PER_FILE;
  }
  *ring = sel_ring_info(version, records, oldest);
  for (int file = 0; file < SEL_FILES; ++file) {
    if (counts[file] != sel_ring_records_in(records, oldest, file)) {
      return fail_data(Step::bad_format);
    }
  }
  return kDone;
}

int seld_newest_id(const SelInfo& ring, std::int32_t* id) {
  *id = 0;
  if (ring.rec_count == 0) return 0;
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, ring.latest_file);  // fits: file < 4
  const FdGuard fd(open_regular(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  unsigned char bytes[4];
  const off_t at = static_cast<off_t>((ring.rec_count - 1) % SEL_RECS_PER_FILE) *
                   static_cast<off_t>(SEL_RECORD_SIZE);
  if (fd.fd < 0 || pread(fd.fd, bytes, sizeof bytes, at) != static_cast<ssize_t>(sizeof bytes)) {
    log_msg_errno(LOG_ERR, "cannot read %s", path);
    return -1;
  }
  *id = static_cast<std::int32_t>(load_be32(bytes));
  return 0;
}
