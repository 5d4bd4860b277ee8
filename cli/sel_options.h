// `sel`'s options: one table that names each option, says whether it takes a record
// count and whether the usage text lists it, and holds what the option runs.
#pragma once

#include <cstdio>

enum class SelTakes { Nothing, Count };

struct SelOption {
  const char* name;  // matched exactly and case-sensitively
  SelTakes takes;
  bool listed;             // in the usage text
  void (*run)(int count);  // the count is 0 for an option that takes none
};

// The row of the option `name`; null when there is none.
const SelOption* sel_option_named(const char* name);

// The usage text, the listed options in the table's order.
void sel_print_usage(FILE* out, const char* invocation);
