#include <syslog.h>

#include "lib/log.h"
#include "lib/sel_record.h"
#include "store/sel_store.h"

int sel_get_info(SelInfo* info) {
  const int lock = sel_get_lock(SEL_LOCK_INFO);
  if (lock < 0) {
    log_msg(LOG_ERR, "sel_get_info: Fail to get SEL_LOCK_INFO");
    return SEL_INFO_NO_LOCK;
  }
  if (sel_read_info(SEL_INFO_FILE, info) != 0) {
    log_msg(LOG_ERR, "Error open %s for read", SEL_INFO_FILE);
    sel_release_lock(lock);
    return SEL_INFO_NO_FILE;
  }
  sel_release_lock(lock);
  return SEL_OK;
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
