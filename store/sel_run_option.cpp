#include <array>
#include <cstdio>
#include <syslog.h>

#include "lib/log.h"
#include "lib/sel_request.h"
#include "store/sel_rd.h"
#include "store/sel_store.h"

namespace {

int run_rd_all(const SelInfo& info, int /*count*/, int lock) {
  return sel_print_first_recs(info, info.rec_count, lock);
}

int run_info(const SelInfo& info, int /*count*/, int lock) {
  // The summary comes from the values read under the lock, printed once it is dropped.
  sel_release_lock(lock);
  return sel_print_info(info);
}

struct Mode {
  int value;
  int (*run)(const SelInfo& info, int count, int lock);
};

constexpr auto kModes = std::to_array<Mode>({
    {SEL_MODE_RD_ALL, run_rd_all},
    {SEL_MODE_RD_LAST, sel_print_last_recs},
    {SEL_MODE_RD_FIRST, sel_print_first_recs},
    {SEL_MODE_INFO, run_info},
});
static_assert(kModes.size() == 4);

}  // namespace

int sel_run_option(int mode, int count) {
  const int lock = sel_get_lock(SEL_LOCK_DB);
  if (lock < 0) {
    puts("Error reading SEL database");
    return -1;
  }

  // Outside the normal ranges every field reads as unusable, whatever the file left out.
  SelInfo info{-1, -1, -1, -1, -1, 0};
  if (sel_get_info(&info) != 0) {
    puts("Error reading SEL info");
    sel_release_lock(lock);
    return -1;
  }
  // A damaged info file is refused for every mode: no record file is opened from it
  // and no clear request is sent because of it.
  char why[80];
  if (!sel_info_usable(info, why, sizeof why)) {
    log_msg(LOG_ERR, "Bad SEL info in %s: %s", SEL_INFO_FILE, why);
    printf("Bad SEL info in %s: %s.\n", SEL_INFO_FILE, why);
    puts("Error reading SEL info");
    sel_release_lock(lock);
    return -1;
  }

  for (const Mode& m : kModes) {
    if (m.value != mode) continue;
    const int result = m.run(info, count, lock);
    if (result != 0) {
      puts("Clear SEL.");
      sel_clear();
    }
    return result;
  }
  sel_release_lock(lock);
  puts("Invalid option");
  return 0;
}
