// Demo records of the module's own events and of the appliance's firmware: the first
// and last entry of every text table, every fallback, negative values, time changes,
// and text fields that fill their bytes without a NUL.
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/demo/demo_records.h"
#include "tools/storewriter/record_builder.h"

namespace {

enum : std::uint16_t {
  kGeneric = 0,
  kCli = 3,
  kFud = 4,
  kTemperature = 5,
  kKaldo = 6,
  kCfe = 7,
  kBios8 = 8,
  kBios9 = 9,
  kBootLoader = 10,
  kHeartbeat = 11,
  kTrap = 12,
  kBios13 = 13,
  kGenericText = 14,
};

constexpr std::uint32_t kTimeSetCode = 0xFFFF0007;
constexpr std::int32_t kNoLimit = -1;

// Text fields that fill their bytes: user name (8), command (40), sensor name (28),
// trap text (44), generic text (47).
constexpr std::string_view kFullUser = "operator";
constexpr std::string_view kFullCommand = "sel rd_last 1000 && sel rd_first 1000 &&";
constexpr std::string_view kFullSensor = "Chassis Fan 4 Rear Tach Long";
constexpr std::string_view kFullTrap = "link down on eth1: carrier lost, retrying...";
constexpr std::string_view kFullText = "session opened for user admin from 10.0.0.1:22.";
static_assert(kFullUser.size() == 8 && kFullCommand.size() == 40 && kFullSensor.size() == 28);
static_assert(kFullTrap.size() == 44 && kFullText.size() == 47);

class Appender {
 public:
  Appender(std::vector<SelRecord>& out, std::int32_t timestamp) : out_(out), time_(timestamp) {}

  // The next record, one second after the previous one.
  RecordBuilder rec(std::uint16_t type, std::uint32_t severity = 0, std::uint16_t version = 0) {
    return RecordBuilder(0, time_++, severity, type, version);
  }
  void add(const SelRecord& r) { out_.push_back(r); }
  // The time of the next record.
  std::int32_t now() const { return time_; }

  void sensor(std::string_view name, std::int32_t unit, std::int32_t reading, std::int32_t low,
              std::int32_t high) {
    add(rec(kKaldo, 3).u32(16, 4).text(20, name).s32(48, unit).s32(52, reading).s32(56, low).s32(
        60, high));
  }

 private:
  std::vector<SelRecord>& out_;
  std::int32_t time_;
};

void add_system_events(Appender& d) {
  // Type 0: every text, then codes past the table and a negative one.
  for (std::int32_t code = 0; code <= 8; ++code) d.add(d.rec(kGeneric).s32(16, code));
  d.add(d.rec(kGeneric, 2).s32(16, 9));
  d.add(d.rec(kGeneric, 2).s32(16, -1));

  // Type 3: a command, an empty one, and both fields full without a NUL.
  d.add(d.rec(kCli, 1).text(16, "root").text(24, "sel rd_last 5"));
  d.add(d.rec(kCli, 1).text(16, "admin"));
  d.add(d.rec(kCli, 1).text(16, kFullUser).text(24, kFullCommand));

  // Type 4: the full list (word 0) and the short list (any other word), with the codes
  // each list has no text for.
  const std::int32_t full_codes[] = {101, 103, 112, 119, 120, 0, 121, -1};
  for (const std::int32_t code : full_codes) d.add(d.rec(kFud, 2).s32(16, code));
  const std::int32_t short_codes[] = {0, 101, 103, 105, 106, -22};
  for (const std::int32_t code : short_codes) d.add(d.rec(kFud, 2).s32(16, code).u32(20, 1));

  // Type 5: every state, an unknown one, and temperatures below zero.
  struct Reading {
    std::int32_t state;
    std::int32_t current;
  };
  const Reading readings[] = {{0, 45}, {1, 2}, {2, 65}, {3, 80}, {7, 50}, {-1, 50}};
  for (const Reading& r : readings) {
    d.add(d.rec(kTemperature, 2).s32(16, r.current).s32(20, 5).s32(24, 60).s32(28, 75).s32(
        32, r.state));
  }
  d.add(d.rec(kTemperature, 2).s32(16, -12).s32(20, -10).s32(24, 60).s32(28, 75).s32(32, 1));

  // Type 11: a time change, one from a time past 2^31 (before 1970), other kinds.
  const std::int32_t t = d.now();
  d.add(d.rec(kHeartbeat, 1).s32(20, t - 3600).s32(24, t));
  d.add(d.rec(kHeartbeat, 1).u32(20, 0xFFFFFFFF).s32(24, t + 1));
  d.add(d.rec(kHeartbeat, 2).s32(16, 1).u32(20, 5).u32(24, 0xdeadbeef));
  d.add(d.rec(kHeartbeat, 2).s32(16, -1));

  // Type 12: a text, an empty one, one that runs to the record's end.
  d.add(d.rec(kTrap, 3).text(20, "coldStart from 192.168.1.20"));
  d.add(d.rec(kTrap, 3));
  d.add(d.rec(kTrap, 3).text(20, kFullTrap));

  // Type 14: each sub-label, an unknown one, an empty and a full text.
  d.add(d.rec(kGenericText).u8(16, 0).text(17, "generic message"));
  d.add(d.rec(kGenericText, 1).u8(16, 1).text(17, "login of admin accepted"));
  d.add(d.rec(kGenericText, 1).u8(16, 2).text(17, "sub-label out of range"));
  d.add(d.rec(kGenericText, 1).u8(16, 1));
  d.add(d.rec(kGenericText, 1).u8(16, 1).text(17, kFullText));
}

void add_appliance_events(Appender& d) {
  // Type 6: every text, the fallback with its own line end, sensors with and without
  // units and limits.
  for (std::uint32_t code = 0; code <= 3; ++code) d.add(d.rec(kKaldo, 1).u32(16, code));
  d.add(d.rec(kKaldo, 2).u32(16, 5));
  d.sensor("CPU0 Temp", 1, 97, kNoLimit, 95);
  d.sensor("System Fan 2", 2, 350, 500, kNoLimit);
  d.sensor("VBAT", 3, -15, 2800, 3400);
  d.sensor("Intrusion", 0, 1, kNoLimit, kNoLimit);
  d.sensor("Odd unit", 9, -3, -1000, kNoLimit);
  d.sensor(kFullSensor, 2, 0, 300, kNoLimit);

  // Type 7: every text with its argument, every image word case, a time change.
  d.add(d.rec(kCfe, 3).u32(16, 0));
  d.add(d.rec(kCfe, 4).u32(16, 1));
  d.add(d.rec(kCfe, 3).u32(16, 2).u32(20, 1));
  d.add(d.rec(kCfe, 3).u32(16, 2).u32(20, 0xFFFFFFFF));
  d.add(d.rec(kCfe, 3).u32(16, 3).u32(20, 0x7ff00000));
  d.add(d.rec(kCfe, 3).u32(16, 3).u32(20, 0x8));
  d.add(d.rec(kCfe, 2).u32(16, 4));
  for (std::uint32_t image = 0; image <= 2; ++image) {
    d.add(d.rec(kCfe, 3).u32(16, 5).u32(20, image));
  }
  d.add(d.rec(kCfe, 2).u32(16, 6).u32(20, 1));
  const std::int32_t before_cfe = d.now() - 86400;
  d.add(d.rec(kCfe, 1).u32(16, 7).s32(20, before_cfe));
  d.add(d.rec(kCfe, 3).u32(16, 8));
  d.add(d.rec(kCfe, 2).u32(16, 9).u32(20, 1));

  // Types 8, 9 and 13: first and last codes, shared names, codes outside the table,
  // time changes whatever the version, and a version nobody knows.
  const std::uint32_t post_codes[] = {0x0000, 0x000f, 0x0010, 0x003e, 0x00c2, 0x00fc,
                                      0x01c3, 0x02c3, 0x0014, 0x100c2, 0xFFFF0008};
  const std::uint16_t bios_types[] = {kBios8, kBios9, kBios13};
  std::size_t n = 0;
  for (const std::uint32_t code : post_codes) {
    d.add(d.rec(bios_types[n++ % 3], 3).u32(16, code).u32(20, 0x12).u32(24, 0xcafef00d));
  }
  const std::int32_t t = d.now();
  d.add(d.rec(kBios8, 1).u32(16, kTimeSetCode).s32(24, t - 60));
  d.add(d.rec(kBios13, 1, 2).u32(16, kTimeSetCode).u32(20, 1).s32(24, t + 61));
  d.add(d.rec(kBios9, 3, 1).u32(16, 0x0005));

  // Type 10: every text, each image word case, both forms of additional data.
  for (std::uint32_t image = 0; image <= 2; ++image) {
    d.add(d.rec(kBootLoader, 3).u32(16, 1).u32(20, 0x99).u32(24, image));
  }
  d.add(d.rec(kBootLoader, 2).u32(16, 2).u32(20, 0x12).u32(24, 0x345));
  d.add(d.rec(kBootLoader, 2).u32(16, 3).u32(24, 0xab));
  d.add(d.rec(kBootLoader, 3).u32(16, 4));
  d.add(d.rec(kBootLoader, 2).u32(16, 0));
  d.add(d.rec(kBootLoader, 2).u32(16, 5).u32(20, 0xFFFFFFFF).u32(24, 0xFFFFFFFF));
  d.add(d.rec(kBootLoader, 2, 2).u32(16, 1));
}

}  // namespace

void add_system_demo_records(std::vector<SelRecord>& out, std::int32_t timestamp) {
  Appender d(out, timestamp);
  add_system_events(d);
  add_appliance_events(d);
}
