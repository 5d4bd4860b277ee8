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
// Exit status 0 on success, 1 when sending or writing stops short, 2 on bad arguments
// (said on standard error).
#include <syslog.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "common/options.h"
#include "common/say.h"
#include "lib/log.h"
#include "lib/posix.h"
#include "lib/sel_request.h"
#include "standins/inject/inject_records.h"

namespace {

constexpr std::int64_t kMaxCount = 100000000;
constexpr std::int64_t kMaxDelayMs = 60000;
static_assert(SEL_REQUEST_MAX_BODIES == 136 && kMaxDelayMs == 60000, "the usage names the limits");

enum Opt : int {
  kOperand = OPT_OPERAND,
  kOffline,
  kOldestFile,
  kBatch,
  kDelayMs,
  kStart,
  kDuration,
  kRate,
  kBursts,
  kMix,
  kJump,
};

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
constexpr auto kRules = std::to_array<OptRule>({
    {OptTie::needs, kOldestFile, kOffline},
    {OptTie::exclusive, kBatch, kOffline},
    {OptTie::exclusive, kDelayMs, kOffline},
});
constexpr OptProgram kProgram{"sel-inject", kSynopsis,
                              "Feeds the demo record set, seeded random records or a scenario\n"
                              "(records at random around a rate, repeating messages, storms,\n"
                              "a clock that jumps) to seld's queue (key 7), or writes them as\n"
                              "a store. TIME and DATE: 2025-12-01, 2025-12-01T08:00:00Z or\n"
                              "seconds since the epoch.",
                              kOptions, kRules};

struct Args {
  const char* dir = nullptr;
  std::int64_t oldest_file = 0, batch = 100, delay_ms = 0;
  Scenario scenario;
  bool shaped = false;  // a scenario's option given
  const char* words[3] = {};
  int n_words = 0;
};

bool take_scenario(Scenario* s, int id, const char* value) {
  std::int64_t n = 0;
  switch (id) {
    case kStart: return scenario_time(value, &s->start) || opt_refuse("--start %s: not a time", value);
    case kDuration:
      return scenario_span(value, &s->duration) ||
             opt_refuse("--duration %s: give 7d, 36h, 90m or 600s", value);
    case kRate:
      return opt_number(value, 1, 100000, &s->rate) ||
             opt_refuse("--rate takes 1 to 100000 records an hour");
    case kBursts:
      if (!opt_number(value, 0, 100, &n)) return opt_refuse("--bursts takes 0 to 100");
      s->bursts = static_cast<int>(n);
      return true;
    case kMix:
      return scenario_mix(value, s->mix) ||
             opt_refuse("--mix %s: five weights of normal to emergency, 60,25,10,4,1", value);
    case kJump:
      s->jump = true;
      return scenario_time(value, &s->jump_to) || opt_refuse("--jump %s: not a date", value);
  }
  return opt_untaken(id);
}

bool take(void* ctx, int id, const char* value) {
  auto* a = static_cast<Args*>(ctx);
  switch (static_cast<Opt>(id)) {
    case kOperand:
      if (a->n_words == 3) return opt_no_operands(ctx, id, value);
      a->words[a->n_words++] = value;
      return true;
    case kOffline: a->dir = value; return true;
    case kOldestFile:
      return opt_number(value, 0, 3, &a->oldest_file) || opt_refuse("--oldest-file takes 0 to 3");
    case kBatch:
      return opt_number(value, 1, SEL_REQUEST_MAX_BODIES, &a->batch) ||
             opt_refuse("--batch takes 1 to %d records per request", SEL_REQUEST_MAX_BODIES);
    case kDelayMs:
      return opt_number(value, 0, kMaxDelayMs, &a->delay_ms) ||
             opt_refuse("--delay-ms takes 0 to %lld", static_cast<long long>(kMaxDelayMs));
    case kStart:
    case kDuration:
    case kRate:
    case kBursts:
    case kMix:
    case kJump: a->shaped = true; return take_scenario(&a->scenario, id, value);
  }
  return opt_untaken(id);
}

// Operand `i` as a number from 0 to `high`, into `*value` (left as it is when there is
// no such operand). False after saying so.
bool operand(const Args& a, int i, const char* name, std::int64_t high, std::int64_t* value) {
  if (i >= a.n_words || opt_number(a.words[i], 0, high, value)) return true;
  opt_misuse("%s must be a number from 0 to %lld", name, static_cast<long long>(high));
  return false;
}

// The records that the operands ask for. False after saying why they ask for none.
bool source_of(Args& a, InjectSource* source) {
  const char* kind = a.n_words > 0 ? a.words[0] : "";
  std::int64_t count = inject_demo_size(), start_or_seed = 0;
  const bool demo = strcmp(kind, "demo") == 0;
  const bool scenario = strcmp(kind, "scenario") == 0 && a.n_words == 2;
  if (a.shaped && !scenario) {
    opt_misuse("--start, --duration, --rate, --bursts, --mix and --jump shape a scenario");
    return false;
  }
  if (scenario) {
    if (!operand(a, 1, "SEED", UINT32_MAX, &start_or_seed)) return false;
    a.scenario.seed = static_cast<std::uint32_t>(start_or_seed);
    *source = inject_scenario_source(a.scenario);
    return true;
  }
  if (!demo && (strcmp(kind, "random") != 0 || a.n_words != 3)) {
    opt_misuse("say what to inject: demo [COUNT [START]], random COUNT SEED or scenario SEED");
    return false;
  }
  if (!operand(a, 1, "COUNT", kMaxCount, &count) ||
      !operand(a, 2, demo ? "START" : "SEED", UINT32_MAX, &start_or_seed)) {
    return false;
  }
  const auto n = static_cast<std::uint32_t>(count);
  const auto start = static_cast<std::uint32_t>(start_or_seed);
  *source = demo ? inject_demo_source(n, start) : inject_random_source(n, start);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if ((guard_std_fds() & STD_FDS_UNGUARDED) != 0) return EXIT_NOTHING;
  Args a;
  const int early = opt_parse(kProgram, argc, argv, take, &a);
  if (early != OPT_RUN) return early;
  InjectSource source;
  if (!source_of(a, &source)) return EXIT_NOTHING;
  if (a.dir != nullptr) {
    if (const Status written = inject_offline(a.dir, static_cast<int>(a.oldest_file), source);
        !written.ok()) {
      say_status(written, "cannot write a store into %s", a.dir);
      return EXIT_PARTIAL;
    }
    return EXIT_DONE;
  }
  log_open("sel-inject", LOG_PID, LOG_USER);
  if (!inject_send(source, static_cast<int>(a.batch), static_cast<int>(a.delay_ms)).ok()) {
    say("cannot send to seld's queue (key 7); see the system log");
    return EXIT_PARTIAL;
  }
  return EXIT_DONE;
}
