#include "tools/seld/seld_request.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/sel_record.h"
#include "lib/coding.h"
#include "lib/log.h"
#include "store/sel_format.h"
#include "store/sel_store.h"

// How seld shares the store with its readers.
//
// A reader takes the store lock, reads the info file once under the info lock, and
// keeps the store lock only while its walk is inside the file that was the oldest when
// it read the info file; everywhere else it reads without a lock, trusting that what
// the info file promised stays where it was. seld keeps that promise this way:
//
// 1. A record is written to its file before the info file promises it, and a promised
//    record is never rewritten. So an append needs no store lock: a reader that read
//    the info file before the append does not look at the new record, one that read it
//    after finds it whole. Each record is written by one pwrite() of 64 bytes.
// 2. The info file is replaced whole (written beside it, then renamed over it) under
//    the info lock, so a reader never sees half of one.
// 3. Taking records away happens only under the store lock, with the info file
//    rewritten first, before any file is truncated: dropping the oldest file when the
//    ring is full (the info file then starts at the next file, and the emptied file
//    becomes the newest, unpromised until its records are written) and clearing. The
//    store lock makes both wait for a reader that is still in the oldest file, and
//    keeps a reader from reading the info file halfway through.
// 4. Lock order as the readers': the store lock, then the info lock inside it.
//
// What this cannot give: a reader outside the oldest file holds no lock, so a file it
// is still reading can be dropped once seld has filled a whole further file (1000
// records) since that reader read the info file, or be emptied by a clear. Such a
// reader finds its file shorter than promised ("SEL ends unexpectedly."), or, if the
// file has been refilled, newer records under the same ids; never a torn record.
//
// Record ids follow the slot: position p of file f holds id f * 1000 + p + 1, so the
// oldest record's id is always oldest_file * 1000 + 1.

namespace {

constexpr const char* kLogsDir = "/mnt/logs";
constexpr std::size_t kCountAt = offsetof(SelRequest, count);
constexpr std::size_t kBodiesAt = offsetof(SelRequest, body);

// The ring as the info file describes it: version, count (0 to SEL_MAX_RECS) and oldest
// file (0 to SEL_FILES - 1) say it all; the newest file and id follow from them.
using Ring = SelInfo;

int write_info(const Ring& r) {
  const int lock = sel_get_lock(SEL_LOCK_INFO);
  if (lock < 0) return -1;
  const int result = sel_write_info(SEL_STORE_DIR, r);
  if (result != 0) log_msg_errno(LOG_ERR, "cannot write %s", SEL_INFO_FILE);
  sel_release_lock(lock);
  return result;
}

int open_record_file(int file, bool truncate) {
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  const int fd = open(path, flags, 0644);
  if (fd < 0) log_msg_errno(LOG_ERR, "cannot open %s", path);
  return fd;
}

int truncate_record_file(int file) {
  const int fd = open_record_file(file, true);
  if (fd < 0) return -1;
  close(fd);
  return 0;
}

int write_record(int fd, int file, int pos, const unsigned char* body) {
  unsigned char rec[SEL_RECORD_SIZE];
  store_be32(rec, static_cast<std::uint32_t>(sel_slot_id(file, pos)));
  memcpy(rec + 4, body, SEL_RECORD_BODY_SIZE);
  const off_t at = static_cast<off_t>(pos) * static_cast<off_t>(SEL_RECORD_SIZE);
  ssize_t n = 0;
  do {
    n = pwrite(fd, rec, sizeof rec, at);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof rec)) return 0;
  if (n >= 0) errno = ENOSPC;  // a short write of a regular file: the disk is full
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  log_msg_errno(LOG_ERR, "cannot write record %d of %s", pos, path);
  return -1;
}

// Under the store lock: the info file first promises nothing, then the files go.
int empty_store(std::int32_t version, Ring* r) {
  const int lock = sel_get_lock(SEL_LOCK_DB);
  if (lock < 0) return -1;
  *r = sel_ring_info(version, 0, 0);
  int result = write_info(*r);
  for (int file = 0; file < SEL_FILES && result == 0; ++file) {
    result = truncate_record_file(file);
  }
  sel_release_lock(lock);
  return result;
}

// The ring is full and its newest file too: the oldest file leaves the ring, under
// the store lock, so that no reader is inside it when it is emptied.
int drop_oldest(Ring* r) {
  const int lock = sel_get_lock(SEL_LOCK_DB);
  if (lock < 0) return -1;
  const int dropped = r->oldest_file;
  const Ring after =
      sel_ring_info(r->version, r->rec_count - SEL_RECS_PER_FILE, (r->oldest_file + 1) % SEL_FILES);
  int result = write_info(after);
  if (result == 0) {
    *r = after;
    result = truncate_record_file(dropped);
  }
  sel_release_lock(lock);
  return result;
}

// Reads the ring from the info file, making an empty store when there is none or
// when the info file does not describe a ring.
int load_ring(Ring* r) {
  *r = Ring{0, 0, 0, 0, 0, 0};
  if (sel_read_info(SEL_INFO_FILE, r) != 0) {
    if (errno != ENOENT) {
      log_msg_errno(LOG_ERR, "cannot open %s", SEL_INFO_FILE);
      return -1;
    }
    mkdir(kLogsDir, 0755);  // both may exist: only the store's creation tells
    mkdir(SEL_STORE_DIR, 0755);
    log_msg(LOG_NOTICE, "no store in %s: creating an empty one", SEL_STORE_DIR);
    return empty_store(SELD_STORE_VERSION, r);
  }
  if ((sel_info_faults(*r) & (SEL_INFO_UNUSABLE | SEL_INFO_OTHER_LATEST)) == 0) {
    *r = sel_ring_info(r->version, r->rec_count, r->oldest_file);
    return 0;
  }
  log_msg(LOG_ERR, "%s does not describe a ring: starting an empty store", SEL_INFO_FILE);
  return empty_store(SELD_STORE_VERSION, r);
}

// Appends `n` bodies in order, moving on to the next file when the newest is full and
// dropping the oldest when the ring is. The info file promises every record written,
// also when a later one fails.
int append(Ring* r, const unsigned char* bodies, int n) {
  int fd = -1;
  int result = 0;
  for (int i = 0; i < n && result == 0; ++i) {
    int file = r->oldest_file;
    int pos = 0;
    if (r->rec_count > 0) {
      file = r->latest_file;
      pos = (r->rec_count - 1) % SEL_RECS_PER_FILE + 1;
      if (pos == SEL_RECS_PER_FILE) {
        file = (file + 1) % SEL_FILES;
        pos = 0;
        if (r->rec_count == SEL_MAX_RECS && drop_oldest(r) != 0) {
          result = -1;
          break;
        }
      }
    }
    // A file is begun empty: whatever it held has left the ring or was never in it.
    if (pos == 0 || fd < 0) {
      if (fd >= 0) close(fd);
      fd = open_record_file(file, pos == 0);
      if (fd < 0) {
        result = -1;
        break;
      }
    }
    result = write_record(fd, file, pos, bodies + static_cast<std::size_t>(i) *
                                                      SEL_RECORD_BODY_SIZE);
    if (result == 0) *r = sel_ring_info(r->version, r->rec_count + 1, r->oldest_file);
  }
  if (fd >= 0) close(fd);
  if (write_info(*r) != 0) result = -1;
  return result;
}

}  // namespace

int seld_open_store() {
  Ring r{};
  return load_ring(&r) == 0 ? 0 : SELD_FAILED;
}

int seld_handle_message(const unsigned char* msg, std::size_t len) {
  if (msg == nullptr || len < kBodiesAt) {
    log_msg(LOG_WARNING, "ignoring a message of %zu bytes: shorter than a request", len);
    return SELD_REJECTED;
  }
  MsgHeader header{};
  memcpy(&header, msg, sizeof header);
  std::int32_t count = 0;
  memcpy(&count, msg + kCountAt, sizeof count);
  if (header.type != SEL_REQUEST_TYPE) {
    log_msg(LOG_WARNING, "ignoring a message of type %d (%zu bytes)", header.type, len);
    return SELD_REJECTED;
  }
  if (header.size < 0 || static_cast<std::size_t>(header.size) != len - sizeof header.pri) {
    log_msg(LOG_WARNING, "ignoring a request whose size %d does not match its %zu bytes",
            header.size, len);
    return SELD_REJECTED;
  }
  const bool clear = count == SEL_REQUEST_CLEAR && len == sizeof(SelRequest);
  const bool records = count >= 1 && count <= SELD_MAX_BODIES &&
                       len == kBodiesAt + static_cast<std::size_t>(count) * SEL_RECORD_BODY_SIZE;
  if (!clear && !records) {
    log_msg(LOG_WARNING, "ignoring a request with count %d in %zu bytes", count, len);
    return SELD_REJECTED;
  }

  Ring r{};
  if (load_ring(&r) != 0) return SELD_FAILED;
  if (clear) {
    if (empty_store(r.version, &r) != 0) return SELD_FAILED;
    log_msg(LOG_NOTICE, "store cleared on request");
    return SELD_APPLIED;
  }
  return append(&r, msg + kBodiesAt, count) == 0 ? SELD_APPLIED : SELD_FAILED;
}
