// Agent event and agent error records, checked on the whole record line.
#include "agent/agent_error.h"
#include "agent/agent_tables.h"
#include "tests/support/record_line.h"

namespace {

using AgentRecords = UtcLineTest;

std::string expected_line(const char* label, const std::string& payload) {
  return std::string("Record 42: Thu Jan  1 00:00:00 1970 [") + label + ".warning]: " + payload +
         "\n";
}

TEST_F(AgentRecords, EventPayloads) {
  struct Case {
    std::uint8_t agent;
    std::uint16_t word;
    const char* payload;
  } cases[] = {
      {0x51, 0x8001, "FIFO 0x8001 - Agent 0x51, PS1_G_IN_OK asserted."},
      {0x51, 0x1018, "FIFO 0x1018 - Agent 0x51, BTN_IN   initially deasserted."},
      {0x86, 0x4001, "FIFO 0x4001 - Agent 0x86, POW1_FAIL deasserted."},
      {0x86, 0x0007, "FIFO 0x0007 - Agent 0x86, Unknown event 0x0007"},
      {0x51, 0xc021, "FIFO 0xC021 - Agent 0x51, Unknown event 0xc021"},
      {0x86, 0x2029, "FIFO 0x2029 - Agent 0x86, Appliance command 0x29 (enable watchdog)"},
      {0x4b, 0x3016, "FIFO 0x3016 - Agent 0x4b, DXA command 0x16 (rd_info)"},
      {0x51, 0xa032, "FIFO 0xA032 - Agent 0x51, Appliance command 0x32 (invalid)"},
      {0x51, 0x2032, "FIFO 0x2032 - Agent 0x51, Appliance command 0x32 (power_on)"},
      {0x4b, 0x2032, "FIFO 0x2032 - Agent 0x4b, Appliance command 0x32 (unknown)"},
      // The same name under different ids: always the record's own agent's list.
      {0x99, 0x0016, "FIFO 0x0016 - Agent 0x99, FAN_ALERT1 deasserted."},
      {0x4b, 0x001c, "FIFO 0x001C - Agent 0x4b, FAN_ALERT1 deasserted."},
      // Commands: nmi, fixed, and the watchdog codes.
      {0x51, 0x3015, "FIFO 0x3015 - Agent 0x51, DXA command 0x15 (nmi)"},
      {0x4b, 0x302a, "FIFO 0x302A - Agent 0x4b, DXA command 0x2a (disable watchdog)"},
      {0x99, 0x602b, "FIFO 0x602B - Agent 0x99, Appliance command 0x2b (reset watchdog)"},
      // Unknown agents: the message breaks the line, for signals and commands alike.
      {0x12, 0x0005,
       "FIFO 0x0005 - Agent Unknown id 0x12, Error getting agent command list for id 18\n"
       "Unknown event 0x0005"},
      {0x00, 0x2029,
       "FIFO 0x2029 - Agent Unknown id 0x00, Error getting agent command list for id 0\n"
       "Appliance command 0x29 (enable watchdog)"},
      {0xff, 0x3015,
       "FIFO 0x3015 - Agent Unknown id 0xff, Error getting agent command list for id 255\n"
       "DXA command 0x15 (nmi)"},
  };
  for (const Case& c : cases) {
    const SelRecord rec = RecordBuilder(42, 0, 2, 1).u8(16, c.agent).u8(17, 0xff).u16(18, c.word);
    EXPECT_EQ(print_line(rec), expected_line("Agent Event", c.payload))
        << "agent " << int{c.agent} << " word " << c.word;
  }
}

TEST_F(AgentRecords, ErrorPayloads) {
  struct Case {
    std::uint8_t error, flags, command;
    std::uint32_t param;
    std::uint8_t status;
    const char* payload;
  } cases[] = {
      {9, 0, 0, 0, 0, "I2C access error. "},
      {6, 0x05, 0x1b, 0, 2, "IPC error. Command 0x1b (rd_sensor) Command status 0x02: Illegal command."},
      {2, 0x03, 0x1a, 0x25, 0, "Error: Invalid parameter. Command 0x1a (dis_sensor) par 0x0025. "},
      {0, 0x03, 0x10, 0x12345, 0, "Command 0x10 (reset) par 0x12345. "},
      {0, 0x01, 0x37, 0, 0, "Command 0x37 (rd_ctrlr_pwr_stat) "},
      {0, 0x06, 0x1b, 0x25, 2, ""},
      {0, 0x05, 0x10, 0, 7, "Command 0x10 (reset) Command status 0x07: Unknown."},
      {0, 0x01, 0x99, 0, 0, "Command 0x99 (unknown) "},
      // Texts at both ends of the tables, and codes past them.
      {1, 0, 0, 0, 0, "Error: Invalid command. "},
      {0xff, 0xf8, 0x10, 1, 1, "Unknown error 0xff. "},
      {0, 0xff, 0x14, 0xffffffff, 0xff,
       "Command 0x14 (nmi) par 0xffffffff. Command status 0xff: Unknown."},
      // Codes the event decoder names itself are in neither list.
      {0, 0x01, 0x15, 0, 0, "Command 0x15 (unknown) "},
      {12, 0x07, 0x30, 0, 0, "Command checksum error. Command 0x30 (rd_fifo) par 0x0000. "},
  };
  for (const Case& c : cases) {
    const SelRecord rec = RecordBuilder(42, 0, 2, 2)
                              .u8(16, c.error)
                              .u8(17, c.flags)
                              .u8(18, c.command)
                              .u8(19, 0xff)
                              .u32(20, c.param)
                              .u8(24, c.status)
                              .fill(25, 39, 0xff);
    EXPECT_EQ(print_line(rec), expected_line("Agent Error", c.payload)) << "error " << int{c.error};
  }
}

// The texts go into the callers' buffers cut to their size, with the length written.
TEST(AgentTexts, CutToTheBuffer) {
  char buf[100];
  EXPECT_EQ(agent_get_id_str(0x12, buf, 8), 7);
  EXPECT_STREQ(buf, "Unknown");
  EXPECT_EQ(agent_get_id_str(0x12, buf, 0), 0);
  agent_get_cmd_str(0x36, agent_cmd_list_2, buf, 6);
  EXPECT_STREQ(buf, "power");
  agent_find_cmd_str(0x37, buf, 4);
  EXPECT_STREQ(buf, "rd_");
}

}  // namespace
