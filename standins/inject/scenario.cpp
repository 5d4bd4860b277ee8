#include "standins/inject/scenario.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/coding.h"
#include "standins/demo/demo_records.h"
#include "standins/inject/splitmix.h"
#include "standins/storewriter/record_builder.h"

namespace {

// The random records' generator, with the draws that a scenario makes.
struct Random : SplitMix {
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }  // [0, 1)
  std::uint64_t below(std::uint64_t n) { return next() % n; }
};

struct Event {
  std::int64_t time;
  std::uint32_t template_index;
  std::uint32_t severity;
};

constexpr std::uint32_t kCfeTimeSet = 7;
constexpr std::uint32_t kHeartbeatTimeSet = 0;

// The demo records that set the clock say so with times of their own: left out.
bool sets_time(const SelRecord& rec) {
  const std::uint16_t type = sel_event_type(rec);
  const std::uint32_t code = sel_u32(rec, SEL_OFF_CODE);
  return ((type == SEL_TYPE_BIOS || type == SEL_TYPE_BIOS_2 || type == SEL_TYPE_BIOS_3) &&
          code == SEL_TIME_SET_CODE) ||
         (type == SEL_TYPE_CFE && code == kCfeTimeSet) ||
         (type == SEL_TYPE_HEARTBEAT && code == kHeartbeatTimeSet);
}

std::vector<SelRecord> templates() {
  std::vector<SelRecord> demo;
  add_system_demo_records(demo, 0);
  add_agent_demo_records(demo, 0);
  demo.erase(std::remove_if(demo.begin(), demo.end(), sets_time), demo.end());
  return demo;
}

std::uint32_t severity_of(const Scenario& s, Random& random) {
  int total = 0;
  for (const int w : s.mix) total += w;
  int pick = static_cast<int>(random.below(static_cast<std::uint64_t>(total)));
  std::uint32_t severity = 0;
  while (pick >= s.mix[severity]) pick -= s.mix[severity++];
  return severity;
}

// Records at random times around the mean rate, and the storms.
std::vector<Event> events(const Scenario& s, Random& random, std::size_t kinds) {
  std::vector<Event> list;
  const double mean_gap = 3600.0 / static_cast<double>(s.rate);
  for (double t = 0;;) {
    t += -std::log(1.0 - random.unit()) * mean_gap;
    if (t >= static_cast<double>(s.duration)) break;
    list.push_back({s.start + static_cast<std::int64_t>(t),
                    static_cast<std::uint32_t>(random.below(kinds)), severity_of(s, random)});
  }
  for (int b = 0; b < s.bursts; ++b) {
    std::int64_t t = s.start + static_cast<std::int64_t>(random.below(
                                   static_cast<std::uint64_t>(s.duration)));
    const auto kind = static_cast<std::uint32_t>(random.below(kinds));
    const std::uint32_t severity = 2 + static_cast<std::uint32_t>(random.below(2));
    for (std::uint64_t n = 30 + random.below(171); n > 0; --n, t += 1 + static_cast<std::int64_t>(random.below(10)))
      list.push_back({t, kind, severity});
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const Event& a, const Event& b) { return a.time < b.time; });
  return list;
}

// Exactly `width` decimal digits, no sign or space.
bool fixed_digits(const char** at, int width, int* value) {
  *value = 0;
  for (int k = 0; k < width; ++k, ++*at) {
    if (!std::isdigit(static_cast<unsigned char>(**at))) return false;
    *value = *value * 10 + (**at - '0');
  }
  return true;
}

}  // namespace

bool scenario_time(const char* text, std::int64_t* when) {
  char* end = nullptr;
  const long long seconds = strtoll(text, &end, 10);
  if (end != text && *end == '\0') {
    *when = seconds;
    return true;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  const char* rest = text;
  if (!fixed_digits(&rest, 4, &y) || *rest++ != '-' || !fixed_digits(&rest, 2, &mo) ||
      *rest++ != '-' || !fixed_digits(&rest, 2, &d)) {
    return false;
  }
  if (*rest == 'T') {
    ++rest;
    if (!fixed_digits(&rest, 2, &h) || *rest++ != ':' || !fixed_digits(&rest, 2, &mi)) return false;
    if (*rest == ':') {
      ++rest;
      if (!fixed_digits(&rest, 2, &sec)) return false;
    }
  }
  if (*rest == 'Z') ++rest;
  const std::chrono::year_month_day date{std::chrono::year{y},
                                         std::chrono::month{static_cast<unsigned>(mo)},
                                         std::chrono::day{static_cast<unsigned>(d)}};
  if (*rest != '\0' || !date.ok() || h > 23 || mi > 59 || sec > 59) return false;
  *when = std::chrono::sys_days{date}.time_since_epoch().count() * std::int64_t{86400} +
          std::int64_t{h} * 3600 + std::int64_t{mi} * 60 + sec;
  return true;
}

bool scenario_span(const char* text, std::int64_t* seconds) {
  char* end = nullptr;
  const long long n = strtoll(text, &end, 10);
  const char* units = "smhd";
  const char* unit = end != text && end[0] != '\0' && end[1] == '\0' ? strchr(units, end[0]) : nullptr;
  constexpr std::int64_t kSeconds[] = {1, 60, 3600, 86400};
  if (unit == nullptr || n < 1 || n > 100000) return false;
  *seconds = n * kSeconds[unit - units];
  return true;
}

bool scenario_mix(const char* text, int (&mix)[5]) {
  const char* at = text;
  for (int k = 0; k < 5; ++k) {
    char* end = nullptr;
    const long w = std::isdigit(static_cast<unsigned char>(*at)) ? strtol(at, &end, 10) : -1;
    if (w < 0 || w > 1000 || *end != (k < 4 ? ',' : '\0')) return false;
    mix[k] = static_cast<int>(w);
    at = end + 1;
  }
  int total = 0;
  for (const int w : mix) total += w;
  return total > 0;
}

std::vector<SelRecord> scenario_records(const Scenario& s) {
  Random random{{s.seed}};
  const std::vector<SelRecord> kinds = templates();
  const std::vector<Event> list = events(s, random, kinds.size());
  const std::int64_t fall = s.start + s.duration * SCENARIO_JUMP_FROM / 1000;
  const std::int64_t mend = s.start + s.duration * SCENARIO_JUMP_UNTIL / 1000;
  std::vector<SelRecord> out;
  out.reserve(list.size() + 1);
  bool mended = !s.jump;
  for (const Event& e : list) {
    std::int64_t clock = e.time;
    if (!mended && e.time >= mend) {
      // Someone sets the clock right: the record says the time it had and the new one.
      out.push_back(RecordBuilder(0, static_cast<std::int32_t>(mend), 1, SEL_TYPE_BIOS)
                        .u32(SEL_OFF_CODE, SEL_TIME_SET_CODE)
                        .s32(SEL_OFF_ARG2, static_cast<std::int32_t>(s.jump_to + mend - fall)));
      mended = true;
    }
    if (s.jump && e.time >= fall && e.time < mend) clock = s.jump_to + e.time - fall;
    SelRecord rec = kinds[e.template_index];
    store_be32(rec.bytes.data() + SEL_OFF_TIMESTAMP, static_cast<std::uint32_t>(clock));
    store_be32(rec.bytes.data() + SEL_OFF_SEVERITY, e.severity);
    out.push_back(rec);
  }
  return out;
}
