// The `sel` command: takes the tool's session, runs the one option named by its first
// argument, releases the session. The exit status is 0 whatever happened.
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <syslog.h>

#include "cli/sel_options.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "lib/session_start.h"
#include "lib/zone.h"

namespace {

// What the whole run shares: the pause after each chunk of the listing is short, and
// the default timer slack would stretch it several times over. The zone is loaded
// before the session lock is taken, so that a zone file that blocks holds no lock.
void set_up_process() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  (void)zone_load();
}

// The count is read as the module's C library reads "%d". strtol is what that
// conversion does inside, minus the undefined behaviour scanf allows on overflow.
int parse_count(const char* text) { return held_at_int(strtol(text, nullptr, 10)); }

// Runs the option of argv[1]; false when the arguments name none.
bool run_option(int argc, char** argv) {
  if (argc < 2) return false;
  const SelOption* option = sel_option_named(argv[1]);
  if (option == nullptr) return false;
  int count = 0;
  if (option->takes == SelTakes::Count) {
    if (argc < 3) return false;
    count = parse_count(argv[2]);
  }
  option->run(count);
  return true;
}

// A listing that could not be written (a full disk, a closed pipe) is reported once.
void report_output_errors() {
  if (fflush(stdout) != 0) {
    log_msg_errno(LOG_ERR, "error writing standard output");
  } else if (ferror(stdout) != 0) {
    log_msg(LOG_ERR, "error writing standard output");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A closed standard output reads as /dev/null: the listing is nobody's, but never the
  // system log's or a lock file's.
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return 0;
  set_up_process();
  const SessionHold session("sel", 10);
  if (!session.held()) return 0;
  if (!run_option(argc, argv)) sel_print_usage(stdout, argc > 0 ? argv[0] : "sel");
  report_output_errors();
  return 0;
}
