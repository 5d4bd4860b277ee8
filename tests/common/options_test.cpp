// The shared parser of our programs' command lines: every way of writing an option, what
// it refuses, and that --help is printed from the table.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/options.h"
#include "tests/support/record_line.h"

namespace {

constexpr auto kSynopsis = std::to_array<const char*>({"[-o DIR] FILE...", " [--all]"});
constexpr auto kOptions = std::to_array<OptRow>({
    {1, "--output", 'o', "DIR", 0, "where"},
    {2, "--type", 0, "NAME", OPT_REPEATS, "adds up"},
    {3, "--all", 0, nullptr, 0, "a flag"},
});
constexpr OptProgram kProgram{"prog", kSynopsis, nullptr, kOptions};

bool record(void* ctx, const OptParse& /*parse*/, int id, const char* value) {
  static_cast<std::string*>(ctx)->append(std::to_string(id) + "=" + (value ? value : "") + " ");
  return true;
}

TEST(Options, EveryWayOfWritingAndRefusing) {
  struct Case {
    std::vector<const char*> args;
    int status;
    std::string taken, err;
  } cases[] = {
      {{"--output=a", "--type", "x", "--type=y", "f"}, OPT_RUN, "1=a 2=x 2=y 0=f ", ""},
      {{"-o", "a", "-"}, OPT_RUN, "1=a 0=- ", ""},
      {{"-oa", "--", "--all", "-o"}, OPT_RUN, "1=a 0=--all 0=-o ", ""},
      {{"-o", "a", "--output", "b"}, 2, "1=a ", "prog: --output given twice: give it once\n"},
      {{"--all", "--all"}, 2, "3= ", "prog: --all given twice: give it once\n"},
      {{"--bogus=1"}, 2, "", "prog: unknown option --bogus\n"},
      {{"-x"}, 2, "", "prog: unknown option -x\n"},
      {{"f", "-o"}, 2, "0=f ", "prog: -o needs a value (DIR)\n"},
      {{"--all=yes"}, 2, "", "prog: --all takes no value\n"},
      {{"f", "--version", "--bogus"}, 0, "", ""},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("prog")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    std::string taken;
    int status = 0;
    const std::string err = capture([&](FILE* e) {
      const std::string out = capture([&](FILE* o) {
        status = opt_parse(kProgram, static_cast<int>(argv.size()), argv.data(), record, &taken,
                           o, e);
      });
      EXPECT_EQ(out, c.status == 0 ? "prog " SEL_VERSION "\n" : "") << c.args[0];
    });
    EXPECT_EQ(status, c.status) << c.args[0];
    EXPECT_EQ(taken, c.taken) << c.args[0];
    EXPECT_EQ(err, c.err.empty() ? "" : c.err + "Try 'prog --help'.\n") << c.args[0];
  }
  EXPECT_EQ(capture([](FILE* out) { opt_usage(kProgram, out); }).substr(0, 49),
            "usage: prog [-o DIR] FILE...\n            [--all]\n");
}

}  // namespace
