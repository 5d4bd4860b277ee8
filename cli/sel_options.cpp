#include "cli/sel_options.h"

#include <array>
#include <cstring>

#include "lib/sel_request.h"
#include "store/sel_run_option.h"

namespace {

// The options that read the store go to the dispatcher with their mode; what it reports
// is its own, and its result is not looked at.
template <int Mode>
void dispatch(int count) {
  (void)sel_run_option(Mode, count);
}

void clear(int /*count*/) { (void)sel_clear(); }

// Matched in this order; the usage text lists the rows in the same order.
constexpr auto kOptions = std::to_array<SelOption>({
    {"info", SelTakes::Nothing, true, dispatch<SEL_MODE_INFO>},
    {"rd_all", SelTakes::Nothing, true, dispatch<SEL_MODE_RD_ALL>},
    {"rd_first", SelTakes::Count, true, dispatch<SEL_MODE_RD_FIRST>},
    {"rd_last", SelTakes::Count, true, dispatch<SEL_MODE_RD_LAST>},
    {"clear", SelTakes::Nothing, false, clear},
});
static_assert(kOptions.size() == 5);

}  // namespace

const SelOption* sel_option_named(const char* name) {
  for (const SelOption& option : kOptions) {
    if (strcmp(name, option.name) == 0) return &option;
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
