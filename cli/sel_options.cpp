#include "cli/sel_options.h"

#include <array>
#include <cstring>

#include "cli/sel_modes.h"

namespace {

int run_rd_all(const SelInfo& info, int /*count*/, int lock, FILE* out) {
  return sel_print_first_recs(info, info.rec_count, lock, out);
}

int run_info(const SelInfo& info, int /*count*/, int lock, FILE* out) {
  // The summary comes from the values read under the lock, printed once it is dropped.
  sel_release_lock(lock);
  return sel_print_info(info, out);
}

// Matched in this order; the usage text lists the rows in the same order.
constexpr auto kOptions = std::to_array<SelOption>({
    {"info", SelTakes::Nothing, true, SEL_MODE_INFO, false, run_info},
    {"rd_all", SelTakes::Nothing, true, SEL_MODE_RD_ALL, true, run_rd_all},
    {"rd_first", SelTakes::Count, true, SEL_MODE_RD_FIRST, true, sel_print_first_recs},
    {"rd_last", SelTakes::Count, true, SEL_MODE_RD_LAST, true, sel_print_last_recs},
    {"clear", SelTakes::Nothing, false, SEL_MODE_NONE, false, nullptr},
});
static_assert(kOptions.size() == 5);
static_assert(kOptions[4].mode == SEL_MODE_NONE && kOptions[4].run == nullptr,
              "only clear bypasses the dispatcher");

}  // namespace

const SelOption* sel_option_named(const char* name) {
  for (const SelOption& option : kOptions) {
    if (strcmp(name, option.name) == 0) return &option;
  }
  return nullptr;
}

const SelOption* sel_option_of_mode(int mode) {
  if (mode == SEL_MODE_NONE) return nullptr;
  for (const SelOption& option : kOptions) {
    if (option.mode == mode) return &option;
  }
  return nullptr;
}

void sel_print_usage(FILE* out, const char* invocation) {
  fprintf(out, "Usage: %s <option>\n", invocation);
  fputs("Available options:\n", out);
  for (const SelOption& option : kOptions) {
    if (!option.listed) continue;
    switch (option.takes) {
      case SelTakes::Nothing: fprintf(out, "        %s\n", option.name); break;
      case SelTakes::Count: fprintf(out, "        %s <num_recs>\n", option.name); break;
    }
  }
}
