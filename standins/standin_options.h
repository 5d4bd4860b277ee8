// The options that every stand-in answers before it touches anything: --help (the
// usage on standard output, status 0) and --version. A daemon takes no other argument,
// so anything else is named on standard error with the usage, status 2.
#pragma once

#include <cstdio>
#include <cstring>

inline constexpr int STANDIN_GO_ON = -1;

// `usage` is the whole usage text, its first line naming the program. Returns the exit
// status when the program is to end at once, or STANDIN_GO_ON.
inline int standin_daemon_options(int argc, char** argv, const char* name, const char* usage) {
  if (argc < 2) return STANDIN_GO_ON;
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(usage, stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("%s %s\n", name, SEL_VERSION);
    return 0;
  }
  const char* bad = nullptr;
  for (int i = 1; i < argc && bad == nullptr; ++i) {
    if (strcmp(argv[i], "--help") != 0 && strcmp(argv[i], "--version") != 0) bad = argv[i];
  }
  if (bad == nullptr) {
    fprintf(stderr, "%s: --help and --version go alone\n%s", name, usage);
  } else {
    fprintf(stderr, "%s: %s %s\n%s", name,
            bad[0] == '-' ? "unknown option" : "unexpected argument", bad, usage);
  }
  return 2;
}
