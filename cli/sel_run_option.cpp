#include <syslog.h>

#include "cli/sel_commands.h"
#include "cli/sel_options.h"
#include "lib/log.h"
#include "lib/sel_request.h"

namespace {

// Whether `option` can go on from `info`. A reading mode opens no record file from
// numbers outside their ranges (and so never asks for a clear because of them); the
// summary shows whatever five numbers the file holds, as it is what a user runs to see
// what is wrong with a store. Why is logged, once.
bool usable_for(const SelOption& option, const SelInfo& info) {
  const unsigned faults = sel_info_faults(info) & SEL_INFO_UNUSABLE;
  if (faults == 0) return true;
  char why[80];
  sel_info_fault_text(faults, info, why, sizeof why);
  log_msg(LOG_ERR, "Bad SEL info in %s: %s", SEL_INFO_FILE, why);
  return !option.reads_records && (faults & SEL_INFO_SHORT) == 0;
}

int refuse(int lock, FILE* out) {
  fputs("Error reading SEL info\n", out);
  sel_release_lock(lock);
  return SEL_NO_STORE;
}

}  // namespace

int sel_run_option(int mode, int count, FILE* out) {
  const int lock = sel_get_lock(SEL_LOCK_DB);
  if (lock < 0) {
    fputs("Error reading SEL database\n", out);
    return SEL_NO_STORE;
  }

  // The fields that the file does not supply read as outside their ranges.
  SelInfo info{-1, -1, -1, -1, -1, 0};
  if (sel_get_info(&info) != SEL_OK) return refuse(lock, out);
  const SelOption* option = sel_option_of_mode(mode);
  if (option == nullptr) {
    sel_release_lock(lock);
    fputs("Invalid option\n", out);
    return SEL_OK;
  }
  if (!usable_for(*option, info)) return refuse(lock, out);
  const int result = option->run(info, count, lock, out);
  if (result != SEL_OK) {
    fputs("Clear SEL.\n", out);
    sel_clear();
  }
  return result;
}
