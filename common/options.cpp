#include "common/options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/say.h"

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

Found find(const OptProgram& p, const char* word) {
  return word[1] == '-' ? find_long(p, word) : find_letter(p, word);
}

bool is_option(const char* word) { return word[0] == '-' && word[1] != '\0'; }

// The word being handed to the program, for opt_untaken.
const char* g_taking = "";

// Whether --help or --version stands where an option may: before "--", before the first
// operand of a program whose options come first, and never as an option's value.
const char* asked_for(const OptProgram& p, int argc, char** argv) {
  for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    const char* word = argv[i];
    if (!is_option(word)) {
      if ((p.flags & OPT_OPTIONS_FIRST) != 0) break;
      continue;
    }
    if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) return "--help";
    if (strcmp(word, "--version") == 0) return "--version";
    const Found f = find(p, word);
    if (f.row != nullptr && f.row->value != nullptr && f.inline_value == nullptr) ++i;
  }
  return nullptr;
}

// One option word at argv[*i]; its value may be the next word. False after a refusal.
bool take_option(const OptProgram& p, int argc, char** argv, int* i, std::uint64_t* given,
                 OptTake take, void* ctx) {
  const char* word = argv[*i];
  const Found f = find(p, word);
  if (f.row == nullptr) {
    const int len = static_cast<int>(strcspn(word, "="));
    return opt_refuse("unknown option %.*s", len, word);
  }
  const OptRow& row = *f.row;
  // Named in messages as it was written: "-o" or "--output".
  const char as_given[3] = {'-', row.letter, '\0'};
  const char* name = word[1] == '-' ? row.name : as_given;
  const auto bit = std::uint64_t{1} << static_cast<unsigned>(f.row - p.options.data());
  if ((*given & bit) != 0 && (row.flags & OPT_REPEATS) == 0) {
    return opt_refuse("%s given twice: give it once", name);
  }
  *given |= bit;
  const char* value = f.inline_value;
  if (row.value == nullptr) {
    if (value != nullptr) return opt_refuse("%s takes no value", name);
  } else if (value == nullptr) {
    if (*i + 1 >= argc) return opt_refuse("%s needs a value (%s)", name, row.value);
    value = argv[++*i];
  }
  g_taking = name;
  return take(ctx, row.id, value);
}

// The row of `id` and whether it was given.
struct Given {
  const char* name;
  bool given;
};
Given given_of(const OptProgram& p, std::uint64_t given, int id) {
  for (std::size_t r = 0; r < p.options.size(); ++r) {
    if (p.options[r].id == id) return {p.options[r].name, ((given >> r) & 1U) != 0};
  }
  return {"?", false};
}

// The rows' and the rules' demands on the options given together. False after a refusal.
bool options_agree(const OptProgram& p, std::uint64_t given) {
  for (std::size_t r = 0; r < p.options.size(); ++r) {
    const bool alone = (p.options[r].flags & OPT_ALONE) != 0 && ((given >> r) & 1U) != 0;
    if (alone && (given & ~(std::uint64_t{1} << r)) != 0) {
      return opt_refuse("%s takes no other option", p.options[r].name);
    }
  }
  for (const OptRule& rule : p.rules) {
    const Given a = given_of(p, given, rule.a), b = given_of(p, given, rule.b);
    switch (rule.tie) {
      case OptTie::exclusive:
        if (a.given && b.given) return opt_refuse("give %s or %s, not both", a.name, b.name);
        break;
      case OptTie::needs:
        if (a.given && !b.given) return opt_refuse("%s goes with %s", a.name, b.name);
        break;
      case OptTie::one_of:
        if (a.given == b.given) {
          return opt_refuse("give %s or %s%s", a.name, b.name, a.given ? ", not both" : "");
        }
        break;
    }
  }
  return true;
}

bool take_words(const OptProgram& p, int argc, char** argv, OptTake take, void* ctx) {
  std::uint64_t given = 0;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    bool ok = true;
    if (!options_end && strcmp(word, "--") == 0) {
      options_end = true;
    } else if (options_end || !is_option(word)) {
      options_end = options_end || (p.flags & OPT_OPTIONS_FIRST) != 0;
      g_taking = word;
      ok = take(ctx, OPT_OPERAND, word);
    } else {
      ok = take_option(p, argc, argv, &i, &given, take, ctx);
    }
    if (!ok) return false;
  }
  return options_agree(p, given);
}

// The usage text: the synopsis lines, the about paragraph and one line per option.
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

}  // namespace

int opt_parse(const OptProgram& program, int argc, char** argv, OptTake take, void* ctx, FILE* out,
              FILE* err) {
  say_as(program.name, err);
  // Asked for help or the version, a program does nothing else, whatever else is given.
  if (const char* asked = asked_for(program, argc, argv)) {
    if (strcmp(asked, "--help") == 0) {
      opt_usage(program, out);
    } else {
      fprintf(out, "%s %s\n", program.name, SEL_VERSION);
    }
    return EXIT_DONE;
  }
  if (take_words(program, argc, argv, take, ctx)) return OPT_RUN;
  say_try_help();
  return EXIT_NOTHING;
}

bool opt_refuse(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsay(format, args);
  va_end(args);
  return false;
}

bool opt_untaken(int id) {
  return opt_refuse("%s (id %d) is taken by no branch: a fault of %s", g_taking, id, say_program());
}

int opt_misuse(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsay(format, args);
  va_end(args);
  say_try_help();
  return EXIT_NOTHING;
}

bool opt_no_operands(void* /*ctx*/, int /*id*/, const char* value) {
  return opt_refuse("unexpected argument %s", value);
}

bool opt_number(const char* text, std::int64_t low, std::int64_t high, std::int64_t* value) {
  const bool digit_first = (text[0] >= '0' && text[0] <= '9') ||
                           (low < 0 && text[0] == '-' && text[1] >= '0' && text[1] <= '9');
  if (!digit_first) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}
