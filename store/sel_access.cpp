#include "store/sel_access.h"

#include <cerrno>
#include <fcntl.h>
#include <syslog.h>

#include "decode/sel_record.h"
#include "lib/log.h"

namespace {

void log_lock_failure(const Status& failed) {
  errno = failed.error;  // what log_msg_errno appends
  switch (failed.step) {
    case Step::open: log_msg_errno(LOG_ERR, "error opening %s", failed.path); break;
    case Step::lock: log_msg_errno(LOG_ERR, "error locking %s", failed.path); break;
    default:
      if (failed.value == F_GETFD) {
        log_msg_errno(LOG_ERR, "fcntl F_GETFD error");
      } else {
        log_msg_errno(LOG_ERR, "fcntl F_SETFD error");
      }
      break;
  }
}

}  // namespace

SelLock sel_get_lock(const char* path) {
  SelLock lock;
  const Status taken = sel_lock_take(path, &lock);
  if (!taken.ok()) log_lock_failure(taken);
  return lock;
}

int sel_get_info(SelInfo* info) {
  const Status read = sel_info_take(info);
  if (read.ok()) return SEL_DONE;
  if (sel_at_info_file(read)) {
    log_msg(LOG_ERR, "Error open %s for read", SEL_INFO_FILE);
    return SEL_INFO_NO_FILE;
  }
  log_lock_failure(read);
  log_msg(LOG_ERR, "sel_get_info: Fail to get SEL_LOCK_INFO");
  return SEL_INFO_NO_LOCK;
}

int sel_print_info(const SelInfo& info, FILE* out) {
  fprintf(out, "SEL version: %d\n", info.version);
  fprintf(out, "Maximum number of records: %d\n\n", SEL_MAX_RECS);
  fprintf(out, "Number of records: %d\n", info.rec_count);
  fprintf(out, "Record size: %d Bytes\n", static_cast<int>(SEL_RECORD_SIZE));
  if (info.rec_count > 0) {
    fprintf(out, "Oldest record's id: %d\n", sel_slot_id(info.oldest_file, 0));
    fprintf(out, "Latest record's id: %d\n", info.latest_id);
  }
  return SEL_DONE;
}
