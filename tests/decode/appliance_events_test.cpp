// Texts of the appliance, boot firmware, BIOS and boot loader events (types 6 to 10
// and 13), checked on whole lines.
#include "tests/support/record_line.h"

namespace {

using ApplianceEvents = UtcLineTest;

constexpr const char* kSensorPrefix = "Appliance sensor Sensor ";
constexpr const char* kName28 = "0123456789abcdefghij-full-28";

// A sensor in critical state: unit word, reading, low and high limit (-1: none).
RecordBuilder sensor(const char* name, std::int32_t unit, std::int32_t reading, std::int32_t low,
                     std::int32_t high) {
  return event(6).u32(16, 4).text(20, name).s32(48, unit).s32(52, reading).s32(56, low).s32(60,
                                                                                            high);
}

std::string sensor_line(const std::string& rest) {
  return epoch_line("KALDO.normal", kSensorPrefix + rest);
}

// The line of a record stamped at 1000000000 whose text is the time set from `old_date`.
std::string time_set_line(const char* labels, const char* old_date) {
  return std::string("Record 1: Sun Sep  9 01:46:40 2001 [") + labels +
         "]: Set DXA time. Old time: " + old_date + ". New time: Sun Sep  9 01:46:40 2001.\n";
}

TEST_F(ApplianceEvents, Kaldo) {
  const LineCase cases[] = {
      {event(6), epoch_line("KALDO.normal", "Appliance user shutdown (unknown cmd)")},
      {event(6).u32(16, 3), epoch_line("KALDO.normal", "Appliance user command halt.")},
      // The fallback holds its own newline: an empty line follows the record.
      {event(6).u32(16, 5), epoch_line("KALDO.normal", "unknown event type 05\n")},
      {sensor("CPU0", 0, 95, -1, -1), sensor_line("CPU0 in Critical state, current reading 95, ")},
      {sensor("CPU0", 1, 95, -1, 90),
       sensor_line("CPU0 in Critical state, current reading 95C, critical high limit is 90C.")},
      {sensor("FAN1", 2, 300, 500, -1),
       sensor_line("FAN1 in Critical state, current reading 300RPM, critical low limit is 500RPM.")},
      {sensor("VCC", 3, -12, -10, 3300),
       sensor_line("VCC in Critical state, current reading -12mV, critical low limit is -10mV."
                   "critical high limit is 3300mV.")},
      // A name that fills its field stops before the unit word (here "AAAA", no unit).
      {sensor(kName28, 0x41414141, 1, -1, -1),
       sensor_line(std::string(kName28) + " in Critical state, current reading 1, ")},
  };
  expect_lines(cases);
}

TEST_F(ApplianceEvents, BootFirmware) {
  const LineCase cases[] = {
      {event(7), epoch_line("CFE.normal", "Memory configuration error.")},
      {event(7).u32(16, 2).u32(20, 0xFFFFFFFF),
       epoch_line("CFE.normal", "Missing CPU. Seen only -1 CPUs.")},
      {event(7).u32(16, 3).u32(20, 0x5),
       epoch_line("CFE.normal", "Memory POST failed at addr 0x05.")},
      {event(7).u32(16, 5).u32(20, 1),
       epoch_line("CFE.normal", "Failed to boot: can't find boot image backup.")},
      {event(7).u32(16, 5).u32(20, 2),
       epoch_line("CFE.normal", "Failed to boot: can't find boot image invalid image 2.")},
      {event(7).u32(16, 6).u32(20, 1), epoch_line("CFE.normal", "Microcode mismatched on CPU 0x01.")},
      {RecordBuilder(1, 1000000000, 0, 7).u32(16, 7).u32(20, 0),
       time_set_line("CFE.normal", "Thu Jan  1 00:00:00 1970")},
      {event(7).u32(16, 9).u32(20, 3), epoch_line("CFE.normal", "unknown event type 0x09")},
  };
  expect_lines(cases);
}

TEST_F(ApplianceEvents, PostAndBootLoader) {
  const LineCase cases[] = {
      // The three BIOS types decode alike.
      {event(8).u32(16, 0x11).u32(20, 1).u32(24, 0xdeadbeef),
       epoch_line("BIOS.normal", "POST error 0x0011: ERR_KBD_FAILED Additional data: "
                                 "0x00000001 0xdeadbeef")},
      {event(13).u32(16, 0x2c3), epoch_line("BIOS.normal", "POST error 0x02c3: "
                                                           "ERR_FATAL_NO_VALID_BLDR_IN_SF "
                                                           "Additional data: 0x00000000 0x00000000")},
      // All 32 bits of the code count.
      {event(9).u32(16, 0x100c2), epoch_line("BIOS.normal", "POST error 0x100c2: Definition not "
                                                            "available Additional data: "
                                                            "0x00000000 0x00000000")},
      {event(13, 1).u32(16, 5), epoch_line("BIOS.normal", "Unsupported event version 1")},
      // The time change comes before the version test.
      {RecordBuilder(1, 1000000000, 0, 13, 3).u32(16, 0xFFFF0007).u32(20, 9).s32(24, -1),
       time_set_line("BIOS.normal", "Wed Dec 31 23:59:59 1969")},
      // Type 10.
      {event(10, 2).u32(16, 1), epoch_line("Boot Loader.normal", "Unsupported event version 2")},
      {event(10), epoch_line("Boot Loader.normal", "undefined event type 0x00")},
      {event(10).u32(20, 0x12).u32(24, 0x345),
       epoch_line("Boot Loader.normal", "undefined event type 0x00 Additional data: 0x1200000345")},
      {event(10).u32(16, 1).u32(20, 7), epoch_line("Boot Loader.normal", "Missing kernel primary.")},
      {event(10).u32(16, 1).u32(24, 1), epoch_line("Boot Loader.normal", "Missing kernel backup.")},
      {event(10).u32(16, 1).u32(24, 0xFFFFFFFF),
       epoch_line("Boot Loader.normal", "Missing kernel invalid image -1.")},
      {event(10).u32(16, 2).u32(24, 0xab),
       epoch_line("Boot Loader.normal",
                  "Corrupted or missing Primary env file. Use Backup. Additional data: 0xab")},
  };
  expect_lines(cases);
}

}  // namespace
