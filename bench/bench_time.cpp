// sel-bench-time: the timing harness of bench/run.
//
//   sel-bench-time runs N LABEL=COMMAND...
//     runs each COMMAND (words split at blanks, no shell) N times, interleaved, with
//     its standard output on /dev/null, and prints per LABEL one line:
//     "LABEL median_us min_us max_us maxrss_kib" (wall time from fork to reaping;
//     the median of the children's maximum resident set sizes)
//   sel-bench-time pause N
//     sleeps 10 us N times as the reader does (usleep, timer slack 1 ns) and prints
//     "slack1ns median_us p10_us p90_us" and the same for the default timer slack.
//
// The harness allocates nothing, so that a forked child starts with few private
// pages of its own and the maximum RSS of the program it runs is not raised by it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kMaxCommands = 8;
constexpr int kMaxWords = 16;
constexpr int kMaxRuns = 1001;

struct Command {
  const char* label;
  std::array<char*, kMaxWords + 1> argv;
  std::array<long, kMaxRuns> wall_us;
  std::array<long, kMaxRuns> rss_kib;
};

std::array<Command, kMaxCommands> commands;

long now_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000L + ts.tv_nsec / 1000L;
}

long median(long* values, int n) {
  std::sort(values, values + n);
  return values[n / 2];
}

// Splits "LABEL=word word ..." in place.
bool parse(char* line, Command& cmd) {
  char* eq = strchr(line, '=');
  if (eq == nullptr) return false;
  *eq = '\0';
  cmd.label = line;
  int words = 0;
  for (char* word = strtok(eq + 1, " "); word != nullptr; word = strtok(nullptr, " ")) {
    if (words == kMaxWords) return false;
    cmd.argv[static_cast<std::size_t>(words++)] = word;
  }
  cmd.argv[static_cast<std::size_t>(words)] = nullptr;
  return words > 0;
}

// One run: returns false when the command could not be run or did not exit 0.
bool run_once(Command& cmd, int run) {
  const long start = now_us();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) _exit(126);
    execv(cmd.argv[0], cmd.argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  const auto at = static_cast<std::size_t>(run);
  cmd.wall_us[at] = now_us() - start;
  cmd.rss_kib[at] = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int runs(int n, int count, char** lines) {
  if (n < 1 || n > kMaxRuns || count < 1 || count > kMaxCommands) return 2;
  for (int i = 0; i < count; ++i) {
    if (!parse(lines[i], commands[static_cast<std::size_t>(i)])) {
      fprintf(stderr, "sel-bench-time: bad command %s\n", lines[i]);
      return 2;
    }
  }
  for (int run = 0; run < n; ++run) {
    for (int i = 0; i < count; ++i) {
      Command& cmd = commands[static_cast<std::size_t>(i)];
      if (!run_once(cmd, run)) {
        fprintf(stderr, "sel-bench-time: %s failed\n", cmd.label);
        return 1;
      }
    }
  }
  for (int i = 0; i < count; ++i) {
    Command& cmd = commands[static_cast<std::size_t>(i)];
    const long med = median(cmd.wall_us.data(), n);
    printf("%s %ld %ld %ld %ld\n", cmd.label, med, cmd.wall_us[0],
           cmd.wall_us[static_cast<std::size_t>(n - 1)], median(cmd.rss_kib.data(), n));
  }
  return 0;
}

std::array<long, kMaxRuns> pauses;

void pause_series(const char* label, int n) {
  for (int i = 0; i < n; ++i) {
    const long start = now_us();
    usleep(10);
    pauses[static_cast<std::size_t>(i)] = now_us() - start;
  }
  std::sort(pauses.begin(), pauses.begin() + n);
  printf("%s %ld %ld %ld\n", label, pauses[static_cast<std::size_t>(n / 2)],
         pauses[static_cast<std::size_t>(n / 10)], pauses[static_cast<std::size_t>(n * 9 / 10)]);
}

int pause(int n) {
  if (n < 10 || n > kMaxRuns) return 2;
  const int slack = prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
  pause_series("default_slack", n);
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  pause_series("slack1ns", n);
  printf("default_slack_ns %d\n", slack);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && strcmp(argv[1], "runs") == 0) return runs(atoi(argv[2]), argc - 3, argv + 3);
  if (argc == 3 && strcmp(argv[1], "pause") == 0) return pause(atoi(argv[2]));
  fprintf(stderr, "usage: %s runs N LABEL=COMMAND... | pause N\n", argv[0]);
  return 2;
}
