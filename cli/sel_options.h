// `sel`'s options: one table that names each option, says whether it takes a record
// count, whether the usage text lists it, and which mode of the dispatcher runs it with
// what work once the info file has been read.
#pragma once

#include <cstdio>

#include "cli/sel_commands.h"

enum class SelTakes { Nothing, Count };

inline constexpr int SEL_MODE_NONE = -1;  // the option does not read the store

struct SelOption {
  const char* name;  // matched exactly and case-sensitively
  SelTakes takes;
  bool listed;         // in the usage text
  int mode;            // the dispatcher's mode, or SEL_MODE_NONE (`clear`)
  bool reads_records;  // a reading mode: never run on numbers outside their ranges
  // The mode's work once the info file is read; it takes over the store lock.
  int (*run)(const SelInfo& info, int count, int lock, FILE* out);
};

// The row of the option `name`, or of `mode`; null when there is none.
const SelOption* sel_option_named(const char* name);
const SelOption* sel_option_of_mode(int mode);

// The usage text, the listed options in the table's order.
void sel_print_usage(FILE* out, const char* invocation);
