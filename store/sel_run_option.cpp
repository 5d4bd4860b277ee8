#include "store/sel_run_option.h"

#include <syslog.h>

#include <array>
#include <utility>

#include "lib/log.h"
#include "lib/sel_request.h"
#include "store/sel_rd.h"

namespace {

struct Mode {
  int mode;
  bool reads_records;  // never run on numbers outside their ranges
  // The mode's work once the info file is read; it takes over the store lock.
  int (*run)(const SelInfo& info, int count, SelLock lock, FILE* out);
};

int run_rd_all(const SelInfo& info, int /*count*/, SelLock lock, FILE* out) {
  return sel_print_first_recs(info, info.rec_count, std::move(lock), out);
}

int run_info(const SelInfo& info, int /*count*/, SelLock lock, FILE* out) {
  // The summary comes from the values read under the lock, printed once it is dropped.
  (void)sel_release_lock(lock);
  return sel_print_info(info, out);
}

constexpr auto kModes = std::to_array<Mode>({
    {SEL_MODE_RD_ALL, true, run_rd_all},
    {SEL_MODE_RD_LAST, true, sel_print_last_recs},
    {SEL_MODE_RD_FIRST, true, sel_print_first_recs},
    {SEL_MODE_INFO, false, run_info},
});
static_assert(kModes.size() == 4);

const Mode* mode_of(int mode) {
  for (const Mode& row : kModes) {
    if (row.mode == mode) return &row;
  }
  return nullptr;
}

// Whether `mode` can go on from `info`. A reading mode opens no record file from
// numbers outside their ranges (and so never asks for a clear because of them); the
// summary shows whatever five numbers the file holds, as it is what a user runs to see
// what is wrong with a store. Why is logged, once.
bool usable_for(const Mode& mode, const SelInfo& info) {
  const unsigned faults = sel_info_faults(info) & SEL_INFO_UNUSABLE;
  if (faults == 0) return true;
  char fault[80];
  sel_info_fault_text(faults, info, fault, sizeof fault);
  log_msg(LOG_ERR, "Bad SEL info in %s: %s", SEL_INFO_FILE, fault);
  return !mode.reads_records && (faults & SEL_INFO_SHORT) == 0;
}

// An info file that was not had; the store lock goes with the caller's handle.
int refuse(FILE* out) {
  fputs("Error reading SEL info\n", out);
  return SEL_NO_STORE;
}

}  // namespace

int sel_run_option(int mode, int count, FILE* out) {
  SelLock lock = sel_get_lock(SEL_LOCK_DB);
  if (!lock.held()) {
    fputs("Error reading SEL database\n", out);
    return SEL_NO_STORE;
  }
  SelInfo info = SEL_INFO_UNREAD;
  if (sel_get_info(&info) != SEL_DONE) return refuse(out);
  const Mode* row = mode_of(mode);
  if (row == nullptr) {
    (void)sel_release_lock(lock);  // before the message, which may wait for its reader
    fputs("Invalid option\n", out);
    return SEL_DONE;
  }
  // Numbers that no mode can go by are an info file that was not had, as one that
  // cannot be opened is: the same message and result, and no clear.
  if (!usable_for(*row, info)) return refuse(out);
  const int result = row->run(info, count, std::move(lock), out);
  if (result != SEL_DONE) {
    fputs("Clear SEL.\n", out);
    (void)sel_clear();
  }
  return result;
}
