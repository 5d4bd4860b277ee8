// sel-inject: feeds records to seld, or writes a store directly, for demos, tests and
// benchmarks.
//
//   sel-inject [--batch N] [--delay-ms MS] demo [COUNT [START]]
//   sel-inject [--batch N] [--delay-ms MS] random COUNT SEED
//   sel-inject --offline DIR [--oldest-file F] demo [COUNT [START]] | random COUNT SEED
//   sel-inject --help | --version
//
// `demo` is the demo set (every event type and the interesting cases of each decoder),
// once or cycled to COUNT records from its record START; `random` is COUNT random
// records, the same for the same SEED. Sent records go to seld's queue (key 7) in
// requests of up to N (default 100) records, MS milliseconds apart (default 0), and are
// done once they are on the queue. --offline writes a store into DIR instead: the newest
// min(COUNT, 4000) records, with the ring starting at file F (default 0).
// Exit status 0 on success, 1 when sending or writing fails, 2 on bad arguments (named
// on standard error with the usage).
#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/log.h"
#include "standins/inject/inject_records.h"
#include "lib/sel_request.h"

namespace {

constexpr unsigned long kMaxCount = 100000000;
static_assert(SEL_REQUEST_MAX_BODIES == 136, "the --batch message names the limit");

constexpr const char* kUsage =
    "usage: sel-inject [--batch N] [--delay-ms MS] demo [COUNT [START]]\n"
    "       sel-inject [--batch N] [--delay-ms MS] random COUNT SEED\n"
    "       sel-inject --offline DIR [--oldest-file F] demo [COUNT [START]]\n"
    "       sel-inject --offline DIR [--oldest-file F] random COUNT SEED\n"
    "       sel-inject --help | --version\n";

int usage(const char* why) {
  fprintf(stderr, "sel-inject: %s\n%s", why, kUsage);
  return 2;
}

// A whole decimal number from `low` to `high`.
bool number(const char* text, unsigned long low, unsigned long high, unsigned long* value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  *value = strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && *value >= low && *value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("sel-inject %s\n", SEL_VERSION);
    return 0;
  }
  const char* dir = nullptr;
  unsigned long oldest_file = 0, batch = 100, delay_ms = 0;
  bool shaped = false, paced = false;
  int at = 1;
  for (; at < argc && strncmp(argv[at], "--", 2) == 0; at += 2) {
    const char* option = argv[at];
    const char* value = at + 1 < argc ? argv[at + 1] : nullptr;
    if (strcmp(option, "--offline") == 0 && value != nullptr) {
      dir = value;
    } else if (strcmp(option, "--oldest-file") == 0) {
      if (!number(value, 0, 3, &oldest_file)) return usage("--oldest-file takes 0 to 3");
      shaped = true;
    } else if (strcmp(option, "--batch") == 0) {
      if (!number(value, 1, static_cast<unsigned long>(SEL_REQUEST_MAX_BODIES), &batch)) {
        return usage("--batch takes 1 to 136 records per request");
      }
      paced = true;
    } else if (strcmp(option, "--delay-ms") == 0) {
      if (!number(value, 0, 60000, &delay_ms)) return usage("--delay-ms takes 0 to 60000");
      paced = true;
    } else if (strcmp(option, "--offline") != 0) {
      fprintf(stderr, "sel-inject: unknown option %s\n%s", option, kUsage);
      return 2;
    } else {
      return usage("--offline lacks its directory");
    }
  }
  if (dir == nullptr && shaped) return usage("--oldest-file goes with --offline");
  if (dir != nullptr && paced) return usage("--batch and --delay-ms go with sending");

  const int words = argc - at;
  const char* kind = at < argc ? argv[at] : "";
  unsigned long count = 0, start_or_seed = 0;
  InjectSource source;
  if (strcmp(kind, "demo") == 0 && words <= 3) {
    count = inject_demo_size();
    if (words >= 2 && !number(argv[at + 1], 0, kMaxCount, &count)) {
      return usage("COUNT must be a number from 0 to 100000000");
    }
    if (words == 3 && !number(argv[at + 2], 0, UINT32_MAX, &start_or_seed)) {
      return usage("START must be a number from 0 to 4294967295");
    }
    source = inject_demo_source(static_cast<std::uint32_t>(count),
                                static_cast<std::uint32_t>(start_or_seed));
  } else if (strcmp(kind, "random") == 0 && words == 3) {
    if (!number(argv[at + 1], 0, kMaxCount, &count)) {
      return usage("COUNT must be a number from 0 to 100000000");
    }
    if (!number(argv[at + 2], 0, UINT32_MAX, &start_or_seed)) {
      return usage("SEED must be a number from 0 to 4294967295");
    }
    source = inject_random_source(static_cast<std::uint32_t>(count),
                                  static_cast<std::uint32_t>(start_or_seed));
  } else {
    return usage("say what to inject: demo [COUNT [START]] or random COUNT SEED");
  }

  if (dir != nullptr) {
    if (inject_offline(dir, static_cast<int>(oldest_file), source) != 0) {
      fprintf(stderr, "sel-inject: cannot write a store into %s: %s\n", dir, strerror(errno));
      return 1;
    }
    return 0;
  }
  log_open("sel-inject", LOG_PID, LOG_USER);
  if (inject_send(source, static_cast<int>(batch), static_cast<int>(delay_ms)) != 0) {
    fprintf(stderr, "sel-inject: cannot send to seld's queue (key 7); see the system log\n");
    return 1;
  }
  return 0;
}
