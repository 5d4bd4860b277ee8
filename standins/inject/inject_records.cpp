#include "standins/inject/inject_records.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "lib/coding.h"
#include "lib/sel_request.h"
#include "store/sel_format.h"
#include "standins/demo/demo_records.h"
#include "standins/inject/splitmix.h"
#include "standins/storewriter/store_writer.h"

namespace {

constexpr std::uint32_t kRandomBase = 1000000000;  // 2001-09-09
constexpr std::int32_t kDemoStart = 1764950400;   // 2025-12-05 16:00:00 UTC

// The newest records of a sequence that a store keeps.
std::uint32_t kept(const InjectSource& source) {
  constexpr auto kRing = static_cast<std::uint32_t>(SEL_MAX_RECS);
  return source.count < kRing ? source.count : kRing;
}

SelRecord offline_record(int index, void* ctx) {
  const auto* source = static_cast<const InjectSource*>(ctx);
  return inject_record(*source, source->count - kept(*source) + static_cast<std::uint32_t>(index));
}

}  // namespace

SelRecord inject_random_record(std::uint32_t seed, std::uint32_t index) {
  SplitMix mix{(static_cast<std::uint64_t>(seed) << 32) | index};
  SelRecord rec{};
  std::uint64_t bits = 0;
  for (std::size_t i = SEL_OFF_BODY; i < SEL_RECORD_SIZE; ++i) {
    if ((i - SEL_OFF_BODY) % 8 == 0) bits = mix.next();
    rec.bytes[i] = static_cast<unsigned char>(bits >> (8 * ((i - SEL_OFF_BODY) % 8)));
  }
  const std::uint64_t head = mix.next();
  store_be32(rec.bytes.data() + SEL_OFF_TIMESTAMP, kRandomBase + (seed % 1000) * 1000000 + index);
  store_be32(rec.bytes.data() + SEL_OFF_SEVERITY, static_cast<std::uint32_t>((head >> 4) % 6));
  store_be16(rec.bytes.data() + SEL_OFF_EVENT_VERSION, ((head >> 8) & 7) == 0 ? 1 : 0);
  store_be16(rec.bytes.data() + SEL_OFF_EVENT_TYPE, static_cast<std::uint16_t>(head & 15));
  return rec;
}

InjectSource inject_demo_source(std::uint32_t count, std::uint32_t start) {
  InjectSource source{true, count, start, {}, {}};
  add_system_demo_records(source.demo_set, kDemoStart);
  add_agent_demo_records(source.demo_set, kDemoStart);
  return source;
}

InjectSource inject_random_source(std::uint32_t count, std::uint32_t seed) {
  return InjectSource{false, count, seed, {}, {}};
}

InjectSource inject_scenario_source(const Scenario& scenario) {
  InjectSource source{false, 0, 0, {}, scenario_records(scenario)};
  source.count = static_cast<std::uint32_t>(source.listed.size());
  return source;
}

std::uint32_t inject_demo_size() {
  return static_cast<std::uint32_t>(inject_demo_source(0, 0).demo_set.size());
}

SelRecord inject_record(const InjectSource& source, std::uint32_t index) {
  if (!source.listed.empty()) return source.listed[index];
  if (!source.demo) return inject_random_record(source.start_or_seed, index);
  const std::size_t at = (static_cast<std::size_t>(source.start_or_seed) + index) %
                         source.demo_set.size();
  SelRecord rec = source.demo_set[at];
  store_be32(rec.bytes.data() + SEL_OFF_TIMESTAMP,
             static_cast<std::uint32_t>(kDemoStart) + index * 60);
  return rec;
}

Status inject_offline(const char* dir, int oldest_file, const InjectSource& source) {
  if (mkdir(dir, 0755) != 0 && errno != EEXIST) return fail_errno(Step::open, dir);
  const SelInfo ring =
      sel_ring_info(SEL_STORE_VERSION, static_cast<std::int32_t>(kept(source)), oldest_file);
  return store_write(dir, ring, offline_record, const_cast<InjectSource*>(&source));
}

Status inject_send(const InjectSource& source, int batch, int delay_ms) {
  std::vector<unsigned char> bodies(static_cast<std::size_t>(batch) * SEL_RECORD_BODY_SIZE);
  for (std::uint32_t sent = 0; sent < source.count;) {
    const std::uint32_t left = source.count - sent;
    const std::uint32_t n = left < static_cast<std::uint32_t>(batch) ? left
                                                                    : static_cast<std::uint32_t>(batch);
    for (std::uint32_t i = 0; i < n; ++i) {
      const SelRecord rec = inject_record(source, sent + i);
      memcpy(bodies.data() + i * SEL_RECORD_BODY_SIZE, rec.bytes.data() + SEL_OFF_BODY,
             SEL_RECORD_BODY_SIZE);
    }
    if (sel_send_request(1, static_cast<std::int32_t>(n), bodies.data()) != 0) {
      return fail_data(Step::write, nullptr, sent);
    }
    sent += n;
    if (sent < source.count && delay_ms > 0) {
      const timespec pause{delay_ms / 1000, (delay_ms % 1000) * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
  return kDone;
}
