// Demo records of the module's own events and of the appliance's firmware: the first
// and last entry of every text table, every fallback, negative values, time changes,
// and text fields that fill their bytes without a NUL.
#include <cstdint>
#include <string_view>
#include <vector>

#include "decode/sel_record.h"
#include "standins/demo/demo_records.h"
#include "standins/storewriter/record_builder.h"

namespace {

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
    add(rec(SEL_TYPE_KALDO, 3)
            .u32(SEL_OFF_CODE, 4)
            .text(SEL_OFF_SENSOR_NAME, name)
            .s32(SEL_OFF_SENSOR_UNIT, unit)
            .s32(SEL_OFF_SENSOR_READING, reading)
            .s32(SEL_OFF_SENSOR_LOW, low)
            .s32(SEL_OFF_SENSOR_HIGH, high));
  }

 private:
  std::vector<SelRecord>& out_;
  std::int32_t time_;
};

void add_dxa_events(Appender& d) {
  // Type 0: every text, then codes past the table and a negative one.
  for (std::int32_t code = 0; code <= 8; ++code) d.add(d.rec(SEL_TYPE_DXA).s32(SEL_OFF_CODE, code));
  d.add(d.rec(SEL_TYPE_DXA, 2).s32(SEL_OFF_CODE, 9));
  d.add(d.rec(SEL_TYPE_DXA, 2).s32(SEL_OFF_CODE, -1));

  // Type 3: a command, an empty one, and both fields full without a NUL.
  d.add(d.rec(SEL_TYPE_CLI, 1)
            .text(SEL_OFF_CLI_USER, "root")
            .text(SEL_OFF_CLI_COMMAND, "sel rd_last 5"));
  d.add(d.rec(SEL_TYPE_CLI, 1).text(SEL_OFF_CLI_USER, "admin"));
  d.add(d.rec(SEL_TYPE_CLI, 1)
            .text(SEL_OFF_CLI_USER, kFullUser)
            .text(SEL_OFF_CLI_COMMAND, kFullCommand));

  // Type 4: the full list (word 0) and the short list (any other word), with the codes
  // each list has no text for.
  const std::int32_t full_codes[] = {101, 103, 112, 119, 120, 0, 121, -1};
  for (const std::int32_t code : full_codes) d.add(d.rec(SEL_TYPE_FUD, 2).s32(SEL_OFF_CODE, code));
  const std::int32_t short_codes[] = {0, 101, 103, 105, 106, -22};
  for (const std::int32_t code : short_codes)
    d.add(d.rec(SEL_TYPE_FUD, 2).s32(SEL_OFF_CODE, code).u32(SEL_OFF_ARG1, 1));

  // Type 5: every state, an unknown one, and temperatures below zero.
  struct Reading {
    std::int32_t state;
    std::int32_t current;
  };
  const Reading readings[] = {{0, 45}, {1, 2}, {2, 65}, {3, 80}, {7, 50}, {-1, 50}};
  for (const Reading& r : readings) {
    d.add(d.rec(SEL_TYPE_TEMPERATURE, 2)
              .s32(SEL_OFF_TEMP_CURRENT, r.current)
              .s32(SEL_OFF_TEMP_LOW, 5)
              .s32(SEL_OFF_TEMP_HIGH, 60)
              .s32(SEL_OFF_TEMP_CRITICAL, 75)
              .s32(SEL_OFF_TEMP_STATE, r.state));
  }
  d.add(d.rec(SEL_TYPE_TEMPERATURE, 2)
            .s32(SEL_OFF_TEMP_CURRENT, -12)
            .s32(SEL_OFF_TEMP_LOW, -10)
            .s32(SEL_OFF_TEMP_HIGH, 60)
            .s32(SEL_OFF_TEMP_CRITICAL, 75)
            .s32(SEL_OFF_TEMP_STATE, 1));
}

void add_message_events(Appender& d) {
  // Type 11: a time change, one from a time past 2^31 (before 1970), other kinds.
  const std::int32_t t = d.now();
  d.add(d.rec(SEL_TYPE_HEARTBEAT, 1).s32(SEL_OFF_ARG1, t - 3600).s32(SEL_OFF_ARG2, t));
  d.add(d.rec(SEL_TYPE_HEARTBEAT, 1).u32(SEL_OFF_ARG1, 0xFFFFFFFF).s32(SEL_OFF_ARG2, t + 1));
  d.add(d.rec(SEL_TYPE_HEARTBEAT, 2)
            .s32(SEL_OFF_CODE, 1)
            .u32(SEL_OFF_ARG1, 5)
            .u32(SEL_OFF_ARG2, 0xdeadbeef));
  d.add(d.rec(SEL_TYPE_HEARTBEAT, 2).s32(SEL_OFF_CODE, -1));

  // Type 12: a text, an empty one, one that runs to the record's end.
  d.add(d.rec(SEL_TYPE_TRAP, 3).text(SEL_OFF_TRAP_TEXT, "coldStart from 192.168.1.20"));
  d.add(d.rec(SEL_TYPE_TRAP, 3));
  d.add(d.rec(SEL_TYPE_TRAP, 3).text(SEL_OFF_TRAP_TEXT, kFullTrap));

  // Type 14: each sub-label, an unknown one, an empty and a full text.
  d.add(d.rec(SEL_TYPE_GENERIC_TEXT)
            .u8(SEL_OFF_SUBLABEL, 0)
            .text(SEL_OFF_GENERIC_TEXT, "generic message"));
  d.add(d.rec(SEL_TYPE_GENERIC_TEXT, 1)
            .u8(SEL_OFF_SUBLABEL, 1)
            .text(SEL_OFF_GENERIC_TEXT, "login of admin accepted"));
  d.add(d.rec(SEL_TYPE_GENERIC_TEXT, 1)
            .u8(SEL_OFF_SUBLABEL, 2)
            .text(SEL_OFF_GENERIC_TEXT, "sub-label out of range"));
  d.add(d.rec(SEL_TYPE_GENERIC_TEXT, 1).u8(SEL_OFF_SUBLABEL, 1));
  d.add(d.rec(SEL_TYPE_GENERIC_TEXT, 1)
            .u8(SEL_OFF_SUBLABEL, 1)
            .text(SEL_OFF_GENERIC_TEXT, kFullText));
}

void add_appliance_events(Appender& d) {
  // Type 6: every text, the fallback with its own line end, sensors with and without
  // units and limits.
  for (std::uint32_t code = 0; code <= 3; ++code)
    d.add(d.rec(SEL_TYPE_KALDO, 1).u32(SEL_OFF_CODE, code));
  d.add(d.rec(SEL_TYPE_KALDO, 2).u32(SEL_OFF_CODE, 5));
  d.sensor("CPU0 Temp", 1, 97, SEL_SENSOR_NO_LIMIT, 95);
  d.sensor("System Fan 2", 2, 350, 500, SEL_SENSOR_NO_LIMIT);
  d.sensor("VBAT", 3, -15, 2800, 3400);
  d.sensor("Intrusion", 0, 1, SEL_SENSOR_NO_LIMIT, SEL_SENSOR_NO_LIMIT);
  d.sensor("Odd unit", 9, -3, -1000, SEL_SENSOR_NO_LIMIT);
  d.sensor(kFullSensor, 2, 0, 300, SEL_SENSOR_NO_LIMIT);

  // Type 7: every text with its argument, every image word case, a time change.
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 0));
  d.add(d.rec(SEL_TYPE_CFE, 4).u32(SEL_OFF_CODE, 1));
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 2).u32(SEL_OFF_ARG1, 1));
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 2).u32(SEL_OFF_ARG1, 0xFFFFFFFF));
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 3).u32(SEL_OFF_ARG1, 0x7ff00000));
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 3).u32(SEL_OFF_ARG1, 0x8));
  d.add(d.rec(SEL_TYPE_CFE, 2).u32(SEL_OFF_CODE, 4));
  for (std::uint32_t image = 0; image <= 2; ++image) {
    d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 5).u32(SEL_OFF_ARG1, image));
  }
  d.add(d.rec(SEL_TYPE_CFE, 2).u32(SEL_OFF_CODE, 6).u32(SEL_OFF_ARG1, 1));
  const std::int32_t before_cfe = d.now() - 86400;
  d.add(d.rec(SEL_TYPE_CFE, 1).u32(SEL_OFF_CODE, 7).s32(SEL_OFF_ARG1, before_cfe));
  d.add(d.rec(SEL_TYPE_CFE, 3).u32(SEL_OFF_CODE, 8));
  d.add(d.rec(SEL_TYPE_CFE, 2).u32(SEL_OFF_CODE, 9).u32(SEL_OFF_ARG1, 1));
}

void add_firmware_events(Appender& d) {
  // Types 8, 9 and 13: first and last codes, shared names, codes outside the table,
  // time changes whatever the version, and a version nobody knows.
  const std::uint32_t post_codes[] = {0x0000, 0x000f, 0x0010, 0x003e, 0x00c2, 0x00fc,
                                      0x01c3, 0x02c3, 0x0014, 0x100c2, 0xFFFF0008};
  const std::uint16_t bios_types[] = {SEL_TYPE_BIOS, SEL_TYPE_BIOS_2, SEL_TYPE_BIOS_3};
  std::size_t n = 0;
  for (const std::uint32_t code : post_codes) {
    d.add(d.rec(bios_types[n++ % 3], 3)
              .u32(SEL_OFF_CODE, code)
              .u32(SEL_OFF_ARG1, 0x12)
              .u32(SEL_OFF_ARG2, 0xcafef00d));
  }
  const std::int32_t t = d.now();
  d.add(d.rec(SEL_TYPE_BIOS, 1).u32(SEL_OFF_CODE, SEL_TIME_SET_CODE).s32(SEL_OFF_ARG2, t - 60));
  d.add(d.rec(SEL_TYPE_BIOS_3, 1, 2)
            .u32(SEL_OFF_CODE, SEL_TIME_SET_CODE)
            .u32(SEL_OFF_ARG1, 1)
            .s32(SEL_OFF_ARG2, t + 61));
  d.add(d.rec(SEL_TYPE_BIOS_2, 3, 1).u32(SEL_OFF_CODE, 0x0005));

  // Type 10: every text, each image word case, both forms of additional data.
  for (std::uint32_t image = 0; image <= 2; ++image) {
    d.add(d.rec(SEL_TYPE_BOOT_LOADER, 3)
              .u32(SEL_OFF_CODE, 1)
              .u32(SEL_OFF_ARG1, 0x99)
              .u32(SEL_OFF_ARG2, image));
  }
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 2)
            .u32(SEL_OFF_CODE, 2)
            .u32(SEL_OFF_ARG1, 0x12)
            .u32(SEL_OFF_ARG2, 0x345));
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 2).u32(SEL_OFF_CODE, 3).u32(SEL_OFF_ARG2, 0xab));
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 3).u32(SEL_OFF_CODE, 4));
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 2).u32(SEL_OFF_CODE, 0));
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 2)
            .u32(SEL_OFF_CODE, 5)
            .u32(SEL_OFF_ARG1, 0xFFFFFFFF)
            .u32(SEL_OFF_ARG2, 0xFFFFFFFF));
  d.add(d.rec(SEL_TYPE_BOOT_LOADER, 2, 2).u32(SEL_OFF_CODE, 1));
}

}  // namespace

void add_system_demo_records(std::vector<SelRecord>& out, std::int32_t timestamp) {
  Appender d(out, timestamp);
  add_dxa_events(d);
  add_message_events(d);
  add_appliance_events(d);
  add_firmware_events(d);
}
