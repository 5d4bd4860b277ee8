#include <array>
#include <cstdio>
#include <syslog.h>

#include "lib/log.h"
#include "lib/sel_request.h"
#include "store/sel_rd.h"
#include "store/sel_store.h"

namespace {

int run_rd_all(const SelInfo& info, int /*count*/, int lock, FILE* out) {
  return sel_print_first_recs(info, info.rec_count, lock, out);
}

int run_info(const SelInfo& info, int /*count*/, int lock, FILE* out) {
  // The summary comes from the values read under the lock, printed once it is dropped.
  sel_release_lock(lock);
  return sel_print_info(info, out);
}

struct Mode {
  int value;
  bool reads_records;
  int (*run)(const SelInfo& info, int count, int lock, FILE* out);
};

constexpr auto kModes = std::to_array<Mode>({
    {SEL_MODE_RD_ALL, true, run_rd_all},
    {SEL_MODE_RD_LAST, true, sel_print_last_recs},
    {SEL_MODE_RD_FIRST, true, sel_print_first_recs},
    {SEL_MODE_INFO, false, run_info},
});
static_assert(kModes.size() == 4);

const Mode* find_mode(int value) {
  for (const Mode& m : kModes) {
    if (m.value == value) return &m;
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
  char why[80];
  sel_info_fault_text(faults & (~faults + 1), info, why, sizeof why);  // the first fault
  log_msg(LOG_ERR, "Bad SEL info in %s: %s", SEL_INFO_FILE, why);
  return !mode.reads_records && (faults & SEL_INFO_SHORT) == 0;
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
  const Mode* m = find_mode(mode);
  if (m == nullptr) {
    sel_release_lock(lock);
    fputs("Invalid option\n", out);
    return SEL_OK;
  }
  if (!usable_for(*m, info)) return refuse(lock, out);
  const int result = m->run(info, count, lock, out);
  if (result != SEL_OK) {
    fputs("Clear SEL.\n", out);
    sel_clear();
  }
  return result;
}
