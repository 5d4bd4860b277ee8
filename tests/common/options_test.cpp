// The shared parser of our programs' command lines: every way of writing an option, what
// it refuses, how options go together, and that --help is printed from the table.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/say.h"
#include "tests/support/record_line.h"

namespace {

constexpr auto kSynopsis = std::to_array<const char*>({"[-o DIR] FILE...", " [--all]"});
constexpr auto kOptions = std::to_array<OptRow>({
    {1, "--output", 'o', "DIR", 0, "where"},
    {2, "--type", 0, "NAME", OPT_REPEATS, "adds up"},
    {3, "--all", 0, nullptr, 0, "a flag"},
    {4, "--first", 0, nullptr, 0, "one of two"},
    {5, "--last", 0, nullptr, 0, "the other"},
    {6, "--check", 0, nullptr, OPT_ALONE, "alone"},
});
constexpr auto kRules = std::to_array<OptRule>(
    {{OptTie::exclusive, 4, 5}, {OptTie::needs, 3, 1}, {OptTie::one_of, 1, 6}});
constexpr OptProgram kProgram{"prog", kSynopsis, nullptr, kOptions, kRules};
// The same table, its options before its operands.
constexpr OptProgram kFirst{"prog", kSynopsis, nullptr, kOptions, kRules, OPT_OPTIONS_FIRST};

bool record(void* ctx, int id, const char* value) {
  static_cast<std::string*>(ctx)->append(std::to_string(id) + "=" + (value ? value : "") + " ");
  return true;
}

TEST(Options, EveryWayOfWritingAndRefusing) {
  struct Case {
    std::vector<const char*> args;
    int status;
    std::string taken, err;
    const OptProgram* program = &kProgram;
  } cases[] = {
      {{"--output=a", "--type", "x", "--type=y", "f"}, OPT_RUN, "1=a 2=x 2=y 0=f ", ""},
      {{"-o", "a", "-"}, OPT_RUN, "1=a 0=- ", ""},
      {{"-oa", "--", "--all", "-o"}, OPT_RUN, "1=a 0=--all 0=-o ", ""},
      // A value is never an option, not even --help.
      {{"-o", "-h", "--type", "--version"}, OPT_RUN, "1=-h 2=--version ", ""},
      {{"-o", "a", "f", "--all", "-x"}, OPT_RUN, "1=a 0=f 0=--all 0=-x ", "", &kFirst},
      {{"-o", "a", "--output", "b"}, 2, "1=a ", "prog: --output given twice: give it once\n"},
      {{"-o", "a", "--all", "--all"}, 2, "1=a 3= ", "prog: --all given twice: give it once\n"},
      {{"--bogus=1"}, 2, "", "prog: unknown option --bogus\n"},
      {{"-x"}, 2, "", "prog: unknown option -x\n"},
      {{"f", "-o"}, 2, "0=f ", "prog: -o needs a value (DIR)\n"},
      {{"--all=yes"}, 2, "", "prog: --all takes no value\n"},
      {{"-oa", "--first", "--last"}, 2, "1=a 4= 5= ", "prog: give --first or --last, not both\n"},
      {{"--all", "--check"}, 2, "3= 6= ", "prog: --check takes no other option\n"},
      {{"--all"}, 2, "3= ", "prog: --all goes with --output\n"},
      {{"f"}, 2, "0=f ", "prog: give --output or --check\n"},
      {{"f", "--version", "--bogus"}, 0, "", ""},
      {{"f", "--version"}, 2, "0=f 0=--version ", "prog: give --output or --check\n", &kFirst},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("prog")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    std::string taken;
    int status = 0;
    const std::string err = capture([&](FILE* e) {
      const std::string out = capture([&](FILE* o) {
        status =
            opt_parse(*c.program, static_cast<int>(argv.size()), argv.data(), record, &taken, o, e);
      });
      EXPECT_EQ(out, c.status == 0 ? "prog " SEL_VERSION "\n" : "") << c.args[0];
    });
    EXPECT_EQ(status, c.status) << c.args[0];
    EXPECT_EQ(taken, c.taken) << c.args[0];
    EXPECT_EQ(err, c.err.empty() ? "" : c.err + "Try 'prog --help'.\n") << c.args[0];
  }
  char* help[] = {const_cast<char*>("prog"), const_cast<char*>("-h")};
  EXPECT_EQ(
      capture([&](FILE* out) { opt_parse(kProgram, 2, help, record, nullptr, out); }).substr(0, 49),
      "usage: prog [-o DIR] FILE...\n            [--all]\n");
}

// What a program says: its name first, and every byte that a terminal could take for a
// command made visible, whatever a message quotes.
TEST(Say, NamesTheProgramAndShowsUntrustedBytes) {
  const std::string said = capture([](FILE* err) {
    say_as("prog", err);
    say("%s", "plain \xC3\xA9 \x1B[2J \xC2\x9B \xFF\x7F tab\tend");
    errno = ENOENT;
    say_status(fail_errno(Step::open), "cannot open %s", "x");
    say_status(fail_data(Step::cut_short), "cut");
    say_try_help();
  });
  EXPECT_EQ(said,
            "prog: plain \xC3\xA9 \\x1b[2J \\xc2\\x9b \\xff\\x7f tab\\x09end\n"
            "prog: cannot open x: " +
                std::string(strerror(ENOENT)) +
                "\nprog: cut\n"
                "Try 'prog --help'.\n");
}

TEST(Options, Numbers) {
  const struct {
    const char* text;
    std::int64_t low, high;
    bool taken;
  } cases[] = {
      {"4294967295", 0, UINT32_MAX, true},
      {"4294967296", 0, UINT32_MAX, false},
      {"-5", -10, 10, true},
      {"-5", 0, 10, false},
      {"12x", 0, 100, false},
      {"", 0, 100, false},
      {"+1", 0, 100, false},
      {"99999999999999999999", INT64_MIN, INT64_MAX, false},
  };
  for (const auto& c : cases) {
    std::int64_t value = -1;
    EXPECT_EQ(opt_number(c.text, c.low, c.high, &value), c.taken) << c.text;
  }
}

}  // namespace
