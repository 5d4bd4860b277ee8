// The store as `sel` takes it: its locks and info file with the reports that sel gives
// for them, and the summary of the `info` option.
#include <cerrno>
#include <syslog.h>

#include "cli/sel_commands.h"
#include "lib/log.h"
#include "lib/sel_record.h"

namespace {

void log_lock_failure(int step, const char* path) {
  switch (step) {
    case SEL_LOCK_E_OPEN: log_msg_errno(LOG_ERR, "error opening %s", path); break;
    case SEL_LOCK_E_LOCK: log_msg_errno(LOG_ERR, "error locking %s", path); break;
    case SEL_LOCK_E_GETFD: log_msg_errno(LOG_ERR, "fcntl F_GETFD error"); break;
    default: log_msg_errno(LOG_ERR, "fcntl F_SETFD error"); break;
  }
}

}  // namespace

int sel_get_lock(const char* path) {
  int step = 0;
  const int lock = sel_lock_take(path, nullptr, &step);
  if (lock < 0) log_lock_failure(step, path);
  return lock;
}

int sel_get_info(SelInfo* info) {
  int step = 0;
  switch (sel_info_take(info, &step)) {
    case SEL_INFO_READ: return SEL_OK;
    case SEL_INFO_NO_LOCK:
      log_lock_failure(step, SEL_LOCK_INFO);
      log_msg(LOG_ERR, "sel_get_info: Fail to get SEL_LOCK_INFO");
      return SEL_INFO_NO_LOCK;
    default:
      log_msg(LOG_ERR, "Error open %s for read", SEL_INFO_FILE);
      return SEL_INFO_NO_FILE;
  }
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
  return SEL_OK;
}
