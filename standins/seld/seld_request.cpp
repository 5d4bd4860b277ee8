#include "standins/seld/seld_request.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decode/sel_record.h"
#include "lib/coding.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "store/sel_format.h"
#include "store/sel_lock.h"
#include "standins/seld/seld_ring.h"

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
// 2. The info file is replaced whole (written beside it, flushed, then renamed over
//    it) under the info lock, so a reader never sees half of one, and a power cut
//    leaves the old one or the new one.
// 3. Taking records away happens only under the store lock, which makes it wait for a
//    reader that is still in the oldest file and keeps new readers from the info file
//    until the store is whole again. Dropping the oldest file when the ring is full
//    rewrites the info file first (it then starts at the next file) and then empties
//    the dropped file, which becomes the newest, unpromised until its records are
//    written. A clear empties the files first, from the oldest on, and then writes the
//    info file of an empty store: on a full disk the space comes back before the new
//    info file needs some.
// 4. Lock order as the readers': the store lock, then the info lock inside it. A reader
//    may keep the store lock for as long as it stays in the oldest file, so seld's
//    waits for a lock end when it is asked to stop; the request in hand then stops
//    short, promising only what it wrote.
// 5. The record files are the truth, the info file their summary (standins/seld/seld_ring.h
//    tells why they always show the ring). Every request reads both, and when the info
//    file does not say what the files show (after a power cut between a record and its
//    promise, or between a clear's files and its info file, or after someone edited it)
//    it is rewritten from the files under the store lock. No record file is ever
//    emptied because of what the info file says; where the files do not show the ring,
//    seld only logs it and fails every request but a clear.
// 6. No store path is opened through a link or when it is not a regular file.
//
// What this cannot give: a reader outside the oldest file holds no lock, so a file it
// is still reading can be dropped once seld has filled a whole further file (1000
// records) since that reader read the info file, or be emptied by a clear. Such a
// reader finds its file shorter than promised ("SEL ends unexpectedly."), or, if the
// file has been refilled, newer records under the same ids; never a torn record.
//
// Record ids follow the slot (position p of file f holds id f * 1000 + p + 1, so the
// oldest record's id is always oldest_file * 1000 + 1), or with seld_number_on go on
// from the newest record's id across the wrap; the info file's latest_id is the newest
// record's id either way.

volatile sig_atomic_t seld_stopping = 0;

namespace {

constexpr const char* kLogsDir = "/mnt/logs";
constexpr std::size_t kCountAt = offsetof(SelRequest, count);
constexpr std::size_t kBodiesAt = offsetof(SelRequest, body);
constexpr useconds_t kLockPollMicros = 1000;

// The ring as the info file describes it: version, count (0 to SEL_MAX_RECS) and oldest
// file (0 to SEL_FILES - 1) say it all; the newest file and id follow from them.
using Ring = SelInfo;

// Takes the lock of the lock file `path`, waiting while another process holds it, unless
// seld is asked to stop. The handle holds no lock when it could not be had (logged).
SelLock take_lock(const char* path) {
  SelLock lock;
  const Status taken = sel_lock_take(path, &lock, &seld_stopping);
  errno = taken.error;
  switch (taken.step) {
    case Step::done: break;
    case Step::stopped: log_msg(LOG_NOTICE, "stopping without %s", path); break;
    case Step::open: log_msg_errno(LOG_ERR, "cannot open %s", path); break;
    case Step::lock: log_msg_errno(LOG_ERR, "cannot lock %s", path); break;
    default: log_msg_errno(LOG_ERR, "cannot set close-on-exec on %s", path); break;
  }
  return lock;
}

int write_info(const Ring& r) {
  const SelLock lock = take_lock(SEL_LOCK_INFO);
  if (!lock.held()) return -1;
  const Status written = sel_write_info(SEL_STORE_DIR, r);
  errno = written.error;
  if (!written.ok()) log_msg_errno(LOG_ERR, "cannot write %s", SEL_INFO_FILE);
  return written.ok() ? 0 : -1;
}

// Opens record file `file` for writing, made if missing. With `empty`, what it held goes.
// The descriptor, or -1 (logged).
int open_record_file(int file, bool empty) {
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  FdGuard fd(open_regular(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.fd >= 0 && (!empty || ftruncate(fd.fd, 0) == 0)) return fd.release();
  log_msg_errno(LOG_ERR, "cannot open %s", path);
  return -1;
}

int empty_record_file(int file) {
  const FdGuard fd(open_record_file(file, true));
  return fd.fd < 0 ? -1 : 0;
}

int write_record(int fd, int file, int pos, std::uint32_t id, const unsigned char* body) {
  unsigned char rec[SEL_RECORD_SIZE];
  store_be32(rec, id);
  memcpy(rec + SEL_OFF_BODY, body, SEL_RECORD_BODY_SIZE);
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

// Under the store lock: the files from the oldest on, then the info file. A file that
// cannot be emptied stops the clear; the files then still show a ring, which the next
// request reads from them.
int clear_store(const Ring& r) {
  const SelLock lock = take_lock(SEL_LOCK_DB);
  if (!lock.held()) return -1;
  int result = 0;
  for (int i = 0; i < SEL_FILES && result == 0; ++i) {
    result = empty_record_file((r.oldest_file + i) % SEL_FILES);
  }
  if (result == 0) result = write_info(sel_ring_info(r.version, 0, 0));
  return result;
}

// The ring is full and its newest file too: the oldest file leaves the ring, under
// the store lock, so that no reader is inside it when it is emptied.
int drop_oldest(Ring* r) {
  const SelLock lock = take_lock(SEL_LOCK_DB);
  if (!lock.held()) return -1;
  const int dropped = r->oldest_file;
  Ring after =
      sel_ring_info(r->version, r->rec_count - SEL_RECS_PER_FILE, (r->oldest_file + 1) % SEL_FILES);
  after.latest_id = r->latest_id;  // the newest record stays
  int result = write_info(after);
  if (result == 0) {
    *r = after;
    result = empty_record_file(dropped);
  }
  return result;
}

bool same_info(const SelInfo& a, const SelInfo& b) {
  return a.fields_read == 5 && a.version == b.version && a.rec_count == b.rec_count &&
         a.oldest_file == b.oldest_file && a.latest_file == b.latest_file &&
         a.latest_id == b.latest_id;
}

// Makes the info file say `r`, which the record files show and `info` (read from it,
// `found` when there was one) does not.
int rebuild_info(const Ring& r, const SelInfo& info, bool found) {
  if (!found && r.rec_count == 0) {
    mkdir(kLogsDir, 0755);  // both may exist: only the store's creation tells
    mkdir(SEL_STORE_DIR, 0755);
    log_msg(LOG_NOTICE, "no store in %s: creating an empty one", SEL_STORE_DIR);
  } else if (!found) {
    log_msg(LOG_WARNING, "rebuilding %s, which is missing: the record files hold %d records "
            "from file %d", SEL_INFO_FILE, r.rec_count, r.oldest_file);
  } else {
    log_msg(LOG_WARNING, "rebuilding %s, which said \"%d %d %d %d %d\" (%d numbers): the "
            "record files hold %d records from file %d", SEL_INFO_FILE, info.version,
            info.rec_count, info.oldest_file, info.latest_file, info.latest_id,
            info.fields_read, r.rec_count, r.oldest_file);
  }
  const SelLock lock = take_lock(SEL_LOCK_DB);
  if (!lock.held()) return -1;
  return write_info(r);
}

// Logs why the record files show no ring that seld could serve (seld_ring_from_counts).
void log_no_ring(const Status& why, const int counts[SEL_FILES]) {
  if (why.path != nullptr) {
    log_msg(LOG_ERR, "all four record files are full and %s does not say which is the oldest: "
            "seld does not guess, lest it lose records", SEL_INFO_FILE);
  } else {
    log_msg(LOG_ERR, "the record files hold %d, %d, %d and %d records, which is no ring: seld "
            "does not guess, lest it lose records", counts[0], counts[1], counts[2], counts[3]);
  }
}

// The ring as the record files show it, the info file as a hint (seld_ring.h). With
// `sync`, the info file is made to say it. 0, or -1 (logged).
int load_ring(Ring* r, bool sync) {
  int counts[SEL_FILES];
  if (seld_record_counts(counts) != 0) return -1;
  SelInfo info{0, 0, 0, 0, 0, 0};
  const Status read = sel_read_info(SEL_INFO_FILE, &info);
  const bool found = read.ok();
  errno = read.error;
  if (!found && errno != ENOENT) {
    log_msg_errno(LOG_ERR, "cannot read %s", SEL_INFO_FILE);
    return -1;
  }
  const int version = info.fields_read >= 1 ? info.version : SEL_STORE_VERSION;
  if (const Status ring = seld_ring_from_counts(counts, info, version, r); !ring.ok()) {
    log_no_ring(ring, counts);
    if (sync) return -1;
    // A clear needs no ring: it empties the files from the info file's oldest on.
    const bool oldest_known = info.fields_read >= 3 && info.oldest_file >= 0 &&
                              info.oldest_file < SEL_FILES;
    *r = sel_ring_info(version, 0, oldest_known ? info.oldest_file : 0);
    return 0;
  }
  if (seld_number_on && seld_newest_id(*r, &r->latest_id) != 0) return -1;
  if (!sync || same_info(info, *r)) return 0;
  return rebuild_info(*r, info, found);
}

// The slot that the next record of `r` goes to: after the newest, in the next file when
// the newest is full, dropping the oldest file when the ring is full too. False when the
// oldest could not be dropped.
bool next_slot(Ring* r, int* file, int* pos) {
  *file = r->oldest_file;
  *pos = 0;
  if (r->rec_count == 0) return true;
  *file = r->latest_file;
  *pos = (r->rec_count - 1) % SEL_RECS_PER_FILE + 1;
  if (*pos < SEL_RECS_PER_FILE) return true;
  *file = (*file + 1) % SEL_FILES;
  *pos = 0;
  return r->rec_count < SEL_MAX_RECS || drop_oldest(r) == 0;
}

// Writes `body` at `pos` of `file` (open on `fd`), the next record of `r`, which then
// holds it.
int append_record(Ring* r, int fd, int file, int pos, const unsigned char* body) {
  std::uint32_t id = static_cast<std::uint32_t>(sel_slot_id(file, pos));
  // After the largest id comes 1: 0 would read as a record never written.
  if (seld_number_on) id = static_cast<std::uint32_t>(r->latest_id) % 0xffffffffU + 1U;
  if (write_record(fd, file, pos, id, body) != 0) return -1;
  *r = sel_ring_info(r->version, r->rec_count + 1, r->oldest_file);
  r->latest_id = static_cast<std::int32_t>(id);
  return 0;
}

// Appends `n` bodies in order, a file at a time. The info file promises every record
// written, also when a later one fails.
int append(Ring* r, const unsigned char* bodies, int n) {
  int result = 0;
  for (int i = 0; i < n && result == 0;) {
    int file = 0, pos = 0;
    if (!next_slot(r, &file, &pos)) {
      result = -1;
      break;
    }
    // A file is begun empty: whatever it held has left the ring or was never in it.
    const FdGuard fd(open_record_file(file, pos == 0));
    if (fd.fd < 0) {
      result = -1;
      break;
    }
    for (; i < n && pos < SEL_RECS_PER_FILE && result == 0; ++i, ++pos) {
      result = append_record(r, fd.fd, file, pos,
                             bodies + static_cast<std::size_t>(i) * SEL_RECORD_BODY_SIZE);
    }
  }
  if (write_info(*r) != 0) result = -1;
  return result;
}

}  // namespace

int seld_open_store() {
  Ring r{};
  return load_ring(&r, true) == 0 ? 0 : SELD_FAILED;
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
  const bool records = count >= 1 && count <= SEL_REQUEST_MAX_BODIES &&
                       len == kBodiesAt + static_cast<std::size_t>(count) * SEL_RECORD_BODY_SIZE;
  if (!clear && !records) {
    log_msg(LOG_WARNING, "ignoring a request with count %d in %zu bytes", count, len);
    return SELD_REJECTED;
  }

  Ring r{};
  if (load_ring(&r, !clear) != 0) return SELD_FAILED;
  if (clear) {
    if (clear_store(r) != 0) return SELD_FAILED;
    log_msg(LOG_NOTICE, "store cleared on request");
    return SELD_APPLIED;
  }
  return append(&r, msg + kBodiesAt, count) == 0 ? SELD_APPLIED : SELD_FAILED;
}
