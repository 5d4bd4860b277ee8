#include "common/options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Found {
  const OptRow* row;
  const char* inline_value;  // after '=' (or after a letter), or null
};

Found find_long(const OptProgram& p, const char* word) {
  const char* eq = strchr(word, '=');
  const std::size_t len = eq != nullptr ? static_cast<std::size_t>(eq - word) : strlen(word);
  for (const OptRow& row : p.options) {
    if (strlen(row.name) == len && strncmp(row.name, word, len) == 0) {
      return {&row, eq != nullptr ? eq + 1 : nullptr};
    }
  }
  return {nullptr, nullptr};
}

Found find_letter(const OptProgram& p, const char* word) {
  for (const OptRow& row : p.options) {
    if (row.letter != 0 && row.letter == word[1]) {
      return {&row, word[2] != '\0' ? word + 2 : nullptr};
    }
  }
  return {nullptr, nullptr};
}

// One option word at argv[*i]; its value may be the next word. False after a refusal.
bool take_option(const OptParse& parse, int argc, char** argv, int* i, std::uint64_t* given,
                 OptTake take, void* ctx) {
  const char* word = argv[*i];
  const OptProgram& p = *parse.program;
  const Found f = word[1] == '-' ? find_long(p, word) : find_letter(p, word);
  if (f.row == nullptr) {
    const int len = static_cast<int>(strcspn(word, "="));
    return opt_refuse(parse, "unknown option %.*s", len, word);
  }
  const OptRow& row = *f.row;
  // Named in messages as it was written: "-o" or "--output".
  char as_given[4] = {'-', row.letter, '\0', '\0'};
  const char* name = word[1] == '-' ? row.name : as_given;
  const auto bit = std::uint64_t{1} << static_cast<unsigned>(f.row - p.options.data());
  if ((*given & bit) != 0 && (row.flags & OPT_REPEATS) == 0) {
    return opt_refuse(parse, "%s given twice: give it once", name);
  }
  *given |= bit;
  const char* value = f.inline_value;
  if (row.value == nullptr) {
    if (value != nullptr) return opt_refuse(parse, "%s takes no value", name);
  } else if (value == nullptr) {
    if (*i + 1 >= argc) return opt_refuse(parse, "%s needs a value (%s)", name, row.value);
    value = argv[++*i];
  }
  return take(ctx, parse, row.id, value);
}

}  // namespace

int opt_parse(const OptProgram& program, int argc, char** argv, OptTake take, void* ctx, FILE* out,
              FILE* err) {
  const OptParse parse{&program, out, err};
  // Asked for help or the version, a program does nothing else, whatever else is given.
  for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      opt_usage(program, out);
      return 0;
    }
    if (strcmp(argv[i], "--version") == 0) {
      fprintf(out, "%s %s\n", program.name, SEL_VERSION);
      return 0;
    }
  }
  std::uint64_t given = 0;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    bool ok = true;
    if (!options_end && strcmp(word, "--") == 0) {
      options_end = true;
    } else if (options_end || word[0] != '-' || word[1] == '\0') {
      ok = take(ctx, parse, OPT_OPERAND, word);
    } else {
      ok = take_option(parse, argc, argv, &i, &given, take, ctx);
    }
    if (!ok) {
      fprintf(err, "Try '%s --help'.\n", program.name);
      return 2;
    }
  }
  return OPT_RUN;
}

bool opt_refuse(const OptParse& parse, const char* format, ...) {
  fprintf(parse.err, "%s: ", parse.program->name);
  va_list args;
  va_start(args, format);
  vfprintf(parse.err, format, args);
  va_end(args);
  fputc('\n', parse.err);
  return false;
}

bool opt_no_operands(void* /*ctx*/, const OptParse& parse, int /*id*/, const char* value) {
  return opt_refuse(parse, "unexpected argument %s", value);
}

void opt_usage(const OptProgram& program, FILE* out) {
  const char* lead = "usage:";
  // A line that starts with a blank goes on from the one before, under its words.
  const int indent = 7 + static_cast<int>(strlen(program.name));
  for (const char* line : program.usage) {
    if (line[0] == ' ') {
      fprintf(out, "%*s%s\n", indent, "", line);
    } else {
      fprintf(out, "%-6s %s %s\n", lead, program.name, line);
      lead = "";
    }
  }
  if (program.about != nullptr) fprintf(out, "%s\n", program.about);
  fputs("Options:\n", out);
  for (const OptRow& row : program.options) {
    char left[64];
    const int n = row.letter != 0 ? snprintf(left, sizeof left, "-%c, %s", row.letter, row.name)
                                  : snprintf(left, sizeof left, "    %s", row.name);
    if (row.value != nullptr && n > 0 && static_cast<std::size_t>(n) < sizeof left) {
      (void)snprintf(left + n, sizeof left - static_cast<std::size_t>(n), " %s", row.value);
    }
    fprintf(out, "  %-26s %s\n", left, row.help);
  }
  fprintf(out, "  %-26s %s\n  %-26s %s\n", "-h, --help", "this text", "    --version",
          "the program's name and version");
}

bool opt_number(const char* text, long low, long high, long* value) {
  const bool digit_first = (text[0] >= '0' && text[0] <= '9') ||
                           (low < 0 && text[0] == '-' && text[1] >= '0' && text[1] <= '9');
  if (!digit_first) return false;
  char* end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}
