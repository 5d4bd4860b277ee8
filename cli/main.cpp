// The `sel` command: takes the tool's session, runs the one option named by its first
// argument, releases the session. The exit status is 0 whatever happened.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <syslog.h>
#include <unistd.h>

#include "lib/log.h"
#include "lib/posix.h"
#include "lib/sel_request.h"
#include "lib/session_lock.h"
#include "store/sel_store.h"

namespace {

// How an option's row runs: some take the record count of the second argument.
enum class Takes { Nothing, Count };

struct Option {
  const char* name;
  Takes takes;
  bool listed;  // in the usage text
  void (*run)(int count);
};

void run_info(int) { sel_run_option(SEL_MODE_INFO, 0); }
void run_rd_all(int) { sel_run_option(SEL_MODE_RD_ALL, 0); }
void run_rd_first(int count) { sel_run_option(SEL_MODE_RD_FIRST, count); }
void run_rd_last(int count) { sel_run_option(SEL_MODE_RD_LAST, count); }
void run_clear(int) { sel_clear(); }

// Matched in this order, exactly and case-sensitively; the usage text lists the rows
// in the same order.
constexpr auto kOptions = std::to_array<Option>({
    {"info", Takes::Nothing, true, run_info},
    {"rd_all", Takes::Nothing, true, run_rd_all},
    {"rd_first", Takes::Count, true, run_rd_first},
    {"rd_last", Takes::Count, true, run_rd_last},
    {"clear", Takes::Nothing, false, run_clear},
});
static_assert(kOptions.size() == 5);

void print_usage(const char* invocation) {
  printf("Usage: %s <option>\n", invocation);
  puts("Available options:");
  for (const Option& option : kOptions) {
    if (!option.listed) continue;
    switch (option.takes) {
      case Takes::Nothing: printf("        %s\n", option.name); break;
      case Takes::Count: printf("        %s <num_recs>\n", option.name); break;
    }
  }
}

// The count is read as the module's C library reads "%d". strtol is what that
// conversion does inside, minus the undefined behaviour scanf allows on overflow.
int parse_count(const char* text) { return held_at_int(strtol(text, nullptr, 10)); }

// Runs the option of argv[1]; false when the arguments name none.
bool run_option(int argc, char** argv) {
  if (argc < 2) return false;
  for (const Option& option : kOptions) {
    if (strcmp(argv[1], option.name) != 0) continue;
    if (option.takes == Takes::Nothing) {
      option.run(0);
      return true;
    }
    if (argc < 3) return false;
    option.run(parse_count(argv[2]));
    return true;
  }
  return false;
}

// A standard descriptor that was closed would be handed to the first file opened (the
// system log's socket, a lock file) and the listing written into that.
bool std_fds_open() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    if (open("/dev/null", O_RDWR) != fd) return false;
  }
  return true;
}

// What the whole run shares: the pause after each chunk of the listing is short, and
// the default timer slack would stretch it several times over; with TZ unset the C
// library stats /etc/localtime again for every date, one system call per record, while
// naming that same zone file lets it keep the zone it has read.
void set_up_process() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  setenv("TZ", ":/etc/localtime", 0);
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
  if (!std_fds_open()) return 0;
  set_up_process();
  if (session_start("sel", 10) != 0) return 0;
  if (!run_option(argc, argv)) print_usage(argc > 0 ? argv[0] : "sel");
  report_output_errors();
  session_lock_release();
  return 0;
}
