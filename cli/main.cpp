// The `sel` command: takes the tool's session, runs the one option named by its first
// argument, releases the session. The exit status is 0 whatever happened.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/sel_request.h"
#include "lib/session_lock.h"
#include "store/sel_store.h"

namespace {

// How an option's row runs: some take the record count of the second argument.
enum class Takes { Nothing, Count };

struct Option {
  const char* name;
  Takes takes;
  void (*run)(int count);
};

void run_info(int) { sel_run_option(SEL_MODE_INFO, 0); }
void run_rd_all(int) { sel_run_option(SEL_MODE_RD_ALL, 0); }
void run_rd_first(int count) { sel_run_option(SEL_MODE_RD_FIRST, count); }
void run_rd_last(int count) { sel_run_option(SEL_MODE_RD_LAST, count); }
void run_clear(int) { sel_clear(); }

// Matched in this order, exactly and case-sensitively. "clear" is not in the usage text.
constexpr auto kOptions = std::to_array<Option>({
    {"info", Takes::Nothing, run_info},
    {"rd_all", Takes::Nothing, run_rd_all},
    {"rd_first", Takes::Count, run_rd_first},
    {"rd_last", Takes::Count, run_rd_last},
    {"clear", Takes::Nothing, run_clear},
});
static_assert(kOptions.size() == 5);

void print_usage(const char* invocation) {
  printf("Usage: %s <option>\n", invocation);
  puts("Available options:");
  puts("        info");
  puts("        rd_all");
  puts("        rd_first <num_recs>");
  puts("        rd_last <num_recs>");
}

// The count is read as the module's C library reads "%d": an overlong number is held
// at the nearest int, whatever the width of long on this host. strtol is what that
// conversion does inside, minus the undefined behaviour scanf allows on overflow.
int parse_count(const char* text) {
  const long value = strtol(text, nullptr, 10);
  if (value > __INT_MAX__) return __INT_MAX__;
  if (value < -__INT_MAX__ - 1) return -__INT_MAX__ - 1;
  return static_cast<int>(value);
}

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

}  // namespace

int main(int argc, char** argv) {
  if (session_start("sel", 10) != 0) return 0;
  if (!run_option(argc, argv)) print_usage(argc > 0 ? argv[0] : "sel");
  session_lock_release();
  return 0;
}
