// One parser for the command lines of our programs (all but `sel`, whose command line
// is fixed): a table names the options, the usage text is printed from it, and each
// option and operand is handed to the program in the order given.
//
// - `--name value` and `--name=value`; a one-letter alias as `-o value` or `-ovalue`.
// - `--` ends the options: every later word is an operand, also one that starts with '-'.
// - `-` alone is an operand (standard input, where the program reads a file).
// - An option given twice is refused unless its row says that its values add up.
// - `--help` (and `-h`) prints the usage on `out`, `--version` the program's name and
//   version, and the parse ends with status 0 before anything else is looked at.
// - Anything wrong is said on `err` as "NAME: what is wrong" and then "Try 'NAME --help'.",
//   and the parse ends with status 2.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>

inline constexpr int OPT_OPERAND = 0;  // the id of an operand
inline constexpr int OPT_RUN = -1;     // opt_parse: the program is to run

inline constexpr unsigned OPT_REPEATS = 1U << 0;  // each value is handed on; they add up

struct OptRow {
  int id;             // the program's own code for the option, > 0
  const char* name;   // "--format"
  char letter;        // a one-letter alias ('o' for -o), or 0
  const char* value;  // the value's name in the usage ("jsonl|csv"), or null: a flag
  unsigned flags;     // OPT_REPEATS
  const char* help;   // what it does, for the usage
};

struct OptProgram {
  const char* name;                    // as messages and --version name it
  std::span<const char* const> usage;  // the synopsis lines after "usage: NAME " (a line
                                       // that starts with a blank goes on the one before)
  const char* about;                   // a paragraph after them, or null
  std::span<const OptRow> options;
};

struct OptParse {
  const OptProgram* program;
  FILE* out;
  FILE* err;
};

// Takes one option (its row's id and its value, null for a flag) or operand (OPT_OPERAND
// and the word). True to go on; false after saying why with opt_refuse.
using OptTake = bool (*)(void* ctx, const OptParse& parse, int id, const char* value);

// Reads argv[1..argc) with the table of `program`. OPT_RUN when the program is to go
// on, else the status to end with (0 after --help or --version, 2 after a refusal).
int opt_parse(const OptProgram& program, int argc, char** argv, OptTake take, void* ctx,
              FILE* out = stdout, FILE* err = stderr);

// Says "NAME: <format>" and a newline on the parse's error stream. Returns false.
bool opt_refuse(const OptParse& parse, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// An OptTake for a program that takes no operands, or no more of them: names the word.
bool opt_no_operands(void* ctx, const OptParse& parse, int id, const char* value);

// The usage text: the synopsis lines, the about paragraph and one line per option.
void opt_usage(const OptProgram& program, FILE* out);

// A whole decimal number from `low` to `high` (a sign allowed where `low` is negative),
// nothing else in the text. False when it is not one.
bool opt_number(const char* text, long low, long high, long* value);
