// A stretch of a module's log as a support engineer meets it: records at random times
// around a mean rate, messages that repeat (those of the demo set), a severity mix,
// storms of one message, and a clock that falls back to another year for a while
// (a flat battery, a firmware reset) until someone sets it again.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/sel_record.h"

struct Scenario {
  std::int64_t start = 1764547200;      // 2025-12-01T00:00:00Z
  std::int64_t duration = 604800;         // seconds
  std::int64_t rate = 20;               // records an hour, on average
  int bursts = 0;                       // storms of one message, 30 to 200 records each
  int mix[5] = {60, 25, 10, 4, 1};      // the weights of normal to emergency
  bool jump = false;                    // the clock falls back to `jump_to` ...
  std::int64_t jump_to = 0;
  std::uint32_t seed = 1;
};

// How far into the run the clock falls back, and where it is set right again (a "Set
// DXA time" record), in thousandths of its duration.
inline constexpr int SCENARIO_JUMP_FROM = 700;
inline constexpr int SCENARIO_JUMP_UNTIL = 800;

// "2025-12-01", "2025-12-01T08:00[:00][Z]" (UTC) or seconds since the epoch.
bool scenario_time(const char* text, std::int64_t* when);
// "7d", "36h", "90m", "600s": seconds, at least one.
bool scenario_span(const char* text, std::int64_t* seconds);
// "60,25,10,4,1": five weights, not all 0.
bool scenario_mix(const char* text, int (&mix)[5]);

// The records of the scenario, oldest first by the module's clock as it ran; the same
// for the same settings. Their ids are 0: seld or the store writer numbers them.
std::vector<SelRecord> scenario_records(const Scenario& scenario);
