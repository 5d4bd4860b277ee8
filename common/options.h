// One parser for the command lines of our programs (all but `sel`, whose command line
// is fixed): a table names the options and how they go together, the usage text is
// printed from it, and each option and operand is handed to the program in the order
// given.
//
// - `--name value` and `--name=value`; a one-letter alias as `-o value` or `-ovalue`.
//   An option's value is the next word whatever it looks like: `--since -h` is a time
//   to refuse, not a call for help.
// - `--` ends the options: every later word is an operand, also one that starts with '-';
//   so does the first operand of a program whose options come first (OPT_OPTIONS_FIRST).
// - `-` alone is an operand (standard input, where the program reads a file).
// - An option given twice is refused unless its row says that its values add up.
// - `--help` (and `-h`) prints the usage on `out`, `--version` the program's name and
//   version, and the parse ends with status 0 before anything else is looked at.
// - Anything wrong is said through say() (the parse names the program for it) and is
//   followed by "Try 'NAME --help'.", and the parse ends with status 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

inline constexpr int OPT_OPERAND = 0;  // the id of an operand
inline constexpr int OPT_RUN = -1;     // opt_parse: the program is to run

// A row's flags.
inline constexpr unsigned OPT_REPEATS = 1U << 0;  // each value is handed on; they add up
inline constexpr unsigned OPT_ALONE = 1U << 1;    // no other option goes with it

struct OptRow {
  int id;             // the program's own code for the option, > 0
  const char* name;   // "--format"
  char letter;        // a one-letter alias ('o' for -o), or 0
  const char* value;  // the value's name in the usage ("jsonl|csv"), or null: a flag
  unsigned flags;     // OPT_REPEATS, OPT_ALONE
  const char* help;   // what it does, for the usage
};

// How two options (by their rows' ids) go together.
enum class OptTie : unsigned char {
  exclusive,  // not both
  needs,      // the first only with the second
  one_of,     // exactly one of the two
};
struct OptRule {
  OptTie tie;
  int a;
  int b;
};

// A program's flags.
inline constexpr unsigned OPT_OPTIONS_FIRST = 1U << 0;  // the first operand ends the options

struct OptProgram {
  const char* name;                    // as messages and --version name it
  std::span<const char* const> usage;  // the synopsis lines after "usage: NAME " (a line
                                       // that starts with a blank goes on the one before)
  const char* about;                   // a paragraph after them, or null
  std::span<const OptRow> options;
  std::span<const OptRule> rules = {};
  unsigned flags = 0;  // OPT_OPTIONS_FIRST
};

// Takes one option (its row's id and its value, null for a flag) or operand (OPT_OPERAND
// and the word). True to go on; false after saying why with opt_refuse. A program's
// take() switches over its ids without a default and ends with opt_untaken(), so that an
// option that no branch takes is told (the install test asks every option of every
// program).
using OptTake = bool (*)(void* ctx, int id, const char* value);

// Reads argv[1..argc) with the table of `program`, first naming the program for say()
// (its messages on `err`). OPT_RUN when the program is to go on, else the status to end
// with (0 after --help or --version, 2 after a refusal).
int opt_parse(const OptProgram& program, int argc, char** argv, OptTake take, void* ctx,
              FILE* out = stdout, FILE* err = stderr);

// Says "NAME: <format>" through say(). Returns false.
bool opt_refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What a take() returns after its switch: an id that no branch took, said as the fault
// of the program that it is.
bool opt_untaken(int id);

// A usage error found after the parse (options that do not go together by their values,
// an operand missing): said, then "Try 'NAME --help'.". Returns EXIT_NOTHING.
int opt_misuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

// An OptTake for a program that takes no operands, or no more of them: names the word.
bool opt_no_operands(void* ctx, int id, const char* value);

// A whole decimal number from `low` to `high` (a sign allowed where `low` is negative),
// nothing else in the text. False when it is not one.
bool opt_number(const char* text, std::int64_t low, std::int64_t high, std::int64_t* value);
