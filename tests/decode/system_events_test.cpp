// Texts of the module's own events (types 0, 3, 4, 5, 11, 12), checked on whole lines.
#include "tests/support/record_line.h"

namespace {

using SystemEvents = UtcLineTest;

constexpr const char* k40 = "0123456789abcdefghij0123456789ABCDEFGHIJ";
constexpr const char* k44 = "0123456789abcdefghij0123456789ABCDEFGHIJ-end";

TEST_F(SystemEvents, GenericCliFudTemperatureTrap) {
  const LineCase cases[] = {
      // Type 0: first and last text, then the fallback, a negative code in 8 digits.
      {event(0).s32(16, 0), epoch_line("DXA.normal", "Unknown")},
      {event(0).s32(16, 255), epoch_line("DXA.normal", "Invalid encoded text 0xff.")},
      {event(0).s32(16, -2), epoch_line("DXA.normal", "Invalid encoded text 0xfffffffe.")},
      // Type 3: empty command; a user name that fills its field stops there; a command
      // that runs to the record's end.
      {event(3).text(16, "root"), epoch_line("DXA CLI.normal", "root \"\"")},
      {event(3).text(16, "abcdefgh").text(24, "ls -l"),
       epoch_line("DXA CLI.normal", "abcdefgh \"ls -l\"")},
      {event(3).text(16, "op").text(24, k40),
       epoch_line("DXA CLI.normal", std::string("op \"") + k40 + "\"")},
      // Type 4: the word at offset 20 picks the list; codes a list lacks add nothing.
      {event(4).s32(16, 103), epoch_line("Fud.normal", "retcode 103, Error writing kernel to flash")},
      {event(4).s32(16, 103).u32(20, 1),
       epoch_line("Fud.normal", "retcode 103, Metadata info not present int primary")},
      {event(4).s32(16, 0), epoch_line("Fud.normal", "retcode 0, ")},
      {event(4).s32(16, 0).u32(20, 1),
       epoch_line("Fud.normal", "retcode 0, Firmware install successful")},
      {event(4).s32(16, 120), epoch_line("Fud.normal", "retcode 120, Miscellaneous Error")},
      {event(4).s32(16, 105).u32(20, 0x80000000),
       epoch_line("Fud.normal", "retcode 105, Miscellaneous error")},
      // Type 5: every state, negative values in decimal.
      {event(5).s32(16, -5).s32(20, -40).s32(24, 60).s32(28, 85),
       epoch_line("DXA Temperature.normal", "state NORMAL, current: -5C, WL: -40C, WH: 60C, CH: 85C")},
      {event(5).s32(16, 61).s32(24, 60).s32(32, 2),
       epoch_line("DXA Temperature.normal", "state HIGH, current: 61C, WL: 0C, WH: 60C, CH: 0C")},
      {event(5).s32(16, -41).s32(20, -40).s32(32, 1),
       epoch_line("DXA Temperature.normal", "state LOW, current: -41C, WL: -40C, WH: 0C, CH: 0C")},
      {event(5).s32(16, 90).s32(28, 85).s32(32, 3),
       epoch_line("DXA Temperature.normal",
                  "state CRITICAL HIGH, current: 90C, WL: 0C, WH: 0C, CH: 85C")},
      // Type 12: empty and full to the record's end.
      {event(12), epoch_line("Trap Event.normal", "")},
      {event(12).text(20, k44), epoch_line("Trap Event.normal", k44)},
  };
  expect_lines(cases);
}

TEST_F(SystemEvents, Heartbeat) {
  const LineCase cases[] = {
      {event(11).u32(20, 0).u32(24, 1000000000),
       epoch_line("Heartbeat.normal", "Set DXA time. Old time: Thu Jan  1 00:00:00 1970. "
                                      "New time: Sun Sep  9 01:46:40 2001.")},
      // The module's times are 32-bit signed: past 2^31 is before 1970.
      {event(11).u32(20, 0xFFFFFFFF).u32(24, 0x80000000),
       epoch_line("Heartbeat.normal", "Set DXA time. Old time: Wed Dec 31 23:59:59 1969. "
                                      "New time: Fri Dec 13 20:45:52 1901.")},
      {event(11).s32(16, 1).u32(20, 5).u32(24, 0xdeadbeef),
       epoch_line("Heartbeat.normal", "Unsupported hb type 1, value 0x05 0xdeadbeef")},
  };
  expect_lines(cases);
}

}  // namespace
