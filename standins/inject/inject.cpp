// sel-inject: feeds records to seld, or writes a store directly, for demos, tests and
// benchmarks.
//
//   sel-inject [--batch N] [--delay-ms MS] demo [COUNT [START]]
//   sel-inject [--batch N] [--delay-ms MS] random COUNT SEED
//   sel-inject [--batch N] [--delay-ms MS] [SCENARIO...] scenario SEED
//   sel-inject --offline DIR [--oldest-file F] demo [COUNT [START]] | random COUNT SEED
//   sel-inject --offline DIR [--oldest-file F] [SCENARIO...] scenario SEED
//   sel-inject --help | --version
//
// `demo` is the demo set (every event type and the interesting cases of each decoder),
// once or cycled to COUNT records from its record START; `random` is COUNT random
// records, the same for the same SEED; `scenario` is what a module's log looks like
// (scenario.h): --start TIME, --duration SPAN, --rate N an hour, --bursts N, --mix
// N,N,N,N,N and --jump DATE shape it. Sent records go to seld's queue (key 7) in
// requests of up to N (default 100) records, MS milliseconds apart (default 0), and are
// done once they are on the queue. --offline writes a store into DIR instead: the newest
// min(COUNT, 4000) records, with the ring starting at file F (default 0).
// Exit status 0 on success, 1 when sending or writing fails, 2 on bad arguments (named
// on standard error with the usage).
#include <syslog.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/options.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "standins/inject/inject_records.h"
#include "lib/sel_request.h"

namespace {

constexpr unsigned long kMaxCount = 100000000;
static_assert(SEL_REQUEST_MAX_BODIES == 136, "the --batch text names the limit");

enum : int { kOffline = 1, kOldestFile, kBatch, kDelayMs, kStart, kDuration, kRate, kBursts,
             kMix, kJump };

constexpr auto kSynopsis = std::to_array<const char*>({
    "[--batch N] [--delay-ms MS] demo [COUNT [START]]",
    "[--batch N] [--delay-ms MS] random COUNT SEED",
    "--offline DIR [--oldest-file F] demo [COUNT [START]]",
    "--offline DIR [--oldest-file F] random COUNT SEED",
    "[--offline DIR | --batch N ...] [--start TIME] [--duration SPAN] [--rate N]",
    " [--bursts N] [--mix N,N,N,N,N] [--jump DATE] scenario SEED",
});
constexpr auto kOptions = std::to_array<OptRow>({
    {kOffline, "--offline", 0, "DIR", 0, "write a store into DIR instead of sending to seld"},
    {kOldestFile, "--oldest-file", 0, "F", 0, "the offline ring starts at file F (0 to 3)"},
    {kBatch, "--batch", 0, "N", 0, "records per request, 1 to 136 (default 100)"},
    {kDelayMs, "--delay-ms", 0, "MS", 0, "pause between requests, 0 to 60000 (default 0)"},
    {kStart, "--start", 0, "TIME", 0, "scenario: its first moment (default 2025-12-01T00:00:00Z)"},
    {kDuration, "--duration", 0, "SPAN", 0, "scenario: how long, as 7d, 36h, 90m (default 7d)"},
    {kRate, "--rate", 0, "N", 0, "scenario: records an hour on average, 1 to 100000 (default 20)"},
    {kBursts, "--bursts", 0, "N", 0, "scenario: storms of one message, 0 to 100 (default 0)"},
    {kMix, "--mix", 0, "N,N,N,N,N", 0, "scenario: weights of normal to emergency (60,25,10,4,1)"},
    {kJump, "--jump", 0, "DATE", 0, "scenario: the clock falls back to DATE for a tenth of it"},
});
constexpr OptProgram kProgram{"sel-inject", kSynopsis,
                              "Feeds the demo record set, seeded random records or a scenario\n"
                              "(records at random around a rate, repeating messages, storms,\n"
                              "a clock that jumps) to seld's queue (key 7), or writes them as\n"
                              "a store. TIME and DATE: 2025-12-01, 2025-12-01T08:00:00Z or\n"
                              "seconds since the epoch.",
                              kOptions};

struct Args {
  const char* dir = nullptr;
  long oldest_file = 0, batch = 100, delay_ms = 0;
  bool shaped = false, paced = false;
  Scenario scenario;
  bool scenario_options = false;
  const char* words[3] = {};
  int n_words = 0;
};

bool take_scenario(Scenario* s, const OptParse& parse, int id, const char* value) {
  long n = 0;
  switch (id) {
    case kStart:
      return scenario_time(value, &s->start) || opt_refuse(parse, "--start %s: not a time", value);
    case kDuration:
      return scenario_span(value, &s->duration) ||
             opt_refuse(parse, "--duration %s: give 7d, 36h, 90m or 600s", value);
    case kRate:
      s->rate = opt_number(value, 1, 100000, &n) ? n : 0;
      return n > 0 || opt_refuse(parse, "--rate takes 1 to 100000 records an hour");
    case kBursts:
      s->bursts = opt_number(value, 0, 100, &n) ? static_cast<int>(n) : -1;
      return s->bursts >= 0 || opt_refuse(parse, "--bursts takes 0 to 100");
    case kMix:
      return scenario_mix(value, s->mix) ||
             opt_refuse(parse, "--mix %s: five weights of normal to emergency, 60,25,10,4,1", value);
    default:
      s->jump = true;
      return scenario_time(value, &s->jump_to) || opt_refuse(parse, "--jump %s: not a date", value);
  }
}

bool take(void* ctx, const OptParse& parse, int id, const char* value) {
  auto* a = static_cast<Args*>(ctx);
  switch (id) {
    case OPT_OPERAND:
      if (a->n_words == 3) return opt_no_operands(ctx, parse, id, value);
      a->words[a->n_words++] = value;
      return true;
    case kOffline: a->dir = value; return true;
    case kOldestFile:
      a->shaped = true;
      return opt_number(value, 0, 3, &a->oldest_file) ||
             opt_refuse(parse, "--oldest-file takes 0 to 3");
    case kBatch:
      a->paced = true;
      return opt_number(value, 1, SEL_REQUEST_MAX_BODIES, &a->batch) ||
             opt_refuse(parse, "--batch takes 1 to 136 records per request");
    case kDelayMs:
      a->paced = true;
      return opt_number(value, 0, 60000, &a->delay_ms) ||
             opt_refuse(parse, "--delay-ms takes 0 to 60000");
    default: a->scenario_options = true; return take_scenario(&a->scenario, parse, id, value);
  }
}

int usage(const char* why) {
  fprintf(stderr, "sel-inject: %s\nTry 'sel-inject --help'.\n", why);
  return 2;
}

// A whole decimal number from 0 to `high`.
bool number(const char* text, unsigned long high, unsigned long* value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  *value = strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && *value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return 1;
  Args a;
  const int early = opt_parse(kProgram, argc, argv, take, &a);
  if (early != OPT_RUN) return early;
  const char* dir = a.dir;
  const bool shaped = a.shaped, paced = a.paced;
  if (dir == nullptr && shaped) return usage("--oldest-file goes with --offline");
  if (dir != nullptr && paced) return usage("--batch and --delay-ms go with sending");

  const int words = a.n_words;
  const char* kind = words > 0 ? a.words[0] : "";
  unsigned long count = 0, start_or_seed = 0;
  InjectSource source;
  if (strcmp(kind, "demo") == 0) {
    count = inject_demo_size();
    if (words >= 2 && !number(a.words[1], kMaxCount, &count)) {
      return usage("COUNT must be a number from 0 to 100000000");
    }
    if (words == 3 && !number(a.words[2], UINT32_MAX, &start_or_seed)) {
      return usage("START must be a number from 0 to 4294967295");
    }
    source = inject_demo_source(static_cast<std::uint32_t>(count),
                                static_cast<std::uint32_t>(start_or_seed));
  } else if (strcmp(kind, "random") == 0 && words == 3) {
    if (!number(a.words[1], kMaxCount, &count)) {
      return usage("COUNT must be a number from 0 to 100000000");
    }
    if (!number(a.words[2], UINT32_MAX, &start_or_seed)) {
      return usage("SEED must be a number from 0 to 4294967295");
    }
    source = inject_random_source(static_cast<std::uint32_t>(count),
                                  static_cast<std::uint32_t>(start_or_seed));
  } else if (strcmp(kind, "scenario") == 0 && words == 2) {
    if (!number(a.words[1], UINT32_MAX, &start_or_seed)) {
      return usage("SEED must be a number from 0 to 4294967295");
    }
    a.scenario.seed = static_cast<std::uint32_t>(start_or_seed);
    source = inject_scenario_source(a.scenario);
  } else {
    return usage("say what to inject: demo [COUNT [START]], random COUNT SEED or scenario SEED");
  }
  if (a.scenario_options && strcmp(kind, "scenario") != 0) {
    return usage("--start, --duration, --rate, --bursts, --mix and --jump shape a scenario");
  }

  if (dir != nullptr) {
    if (inject_offline(dir, static_cast<int>(a.oldest_file), source) != 0) {
      fprintf(stderr, "sel-inject: cannot write a store into %s: %s\n", dir, strerror(errno));
      return 1;
    }
    return 0;
  }
  log_open("sel-inject", LOG_PID, LOG_USER);
  if (inject_send(source, static_cast<int>(a.batch), static_cast<int>(a.delay_ms)) != 0) {
    fprintf(stderr, "sel-inject: cannot send to seld's queue (key 7); see the system log\n");
    return 1;
  }
  return 0;
}
