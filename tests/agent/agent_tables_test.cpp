// The agent vocabulary: the shape of every list, checked field by field from the few
// rules that describe it rather than entry by entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "agent/agent_tables.h"

namespace {

std::string name_of(const AgentEventEntry& e) { return std::string(e.name, strnlen(e.name, 20)); }

// One digit per entry, in list order.
template <typename Field>
std::string digits(AgentEventList list, Field field) {
  std::string out;
  for (const AgentEventEntry& e : list) out += static_cast<char>('0' + field(e));
  return out;
}

struct ListShape {
  std::uint8_t agent;
  std::size_t count;
  AgentEventEntry first, last;
  const char* normal;     // normal state per entry
  const char* attribute;  // attribute per entry
  std::set<std::string> blank_ended;
};

const ListShape kShapes[] = {
    {0x4b, 34, {"PSU2_AC_IN", 0x001, 2, 0, 1, 0}, {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
     "1111110011111111100000001100000000", "0000000000000000000000000000000000",
     {"BTN_IN  ", "MP_INT2 ", "MP_INT1 ", "PSU1_INT ", "PSU2_INT "}},
    {0x51, 34, {"PS1_G_IN_OK", 0x001, 2, 0, 1, 0}, {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
     "1101110011111110100001001100110000", "0030003300000003033330330033010000",
     {"BTN_IN  ", "12V_PG  ", "PS2_INT  ", "PS1_INT  "}},
    {0x86, 74, {"POW1_FAIL", 0x001, 2, 0, 0, 0}, {"HT1000_PCIX_RST", 0x061, 2, 1, 0, 3},
     "0000000000000000001110000000000000000011111111111111000000000000000000001"
     "0",
     "0000003333333333330003333333333333333310000000000000330323333333000333320"
     "3",
     {"PIC_RST ", "RST_BNT ", "PWR_OK  ", "DUMP_SW ", "WDT_NMI "}},
    {0x99, 32, {"PS2_AC_OK", 0x001, 2, 0, 1, 0}, {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
     "11111100111111111111100011000000", "00000000000000000000000000000000",
     {"VTT_OK  ", "PS1_INT ", "PS2_INT "}},
};

void expect_entry(const AgentEventEntry& got, const AgentEventEntry& want) {
  EXPECT_EQ(name_of(got), name_of(want));
  EXPECT_EQ(got.event_id, want.event_id) << name_of(want);
  EXPECT_EQ(got.severity, want.severity) << name_of(want);
  EXPECT_EQ(got.current_state, want.current_state) << name_of(want);
  EXPECT_EQ(got.normal_state, want.normal_state) << name_of(want);
  EXPECT_EQ(got.attribute, want.attribute) << name_of(want);
}

// The event ids a list should hold, in order: 0x86 numbers its signals up to 0x061 with
// gaps; the others number theirs from 1 and end with the two watchdog time-outs.
std::vector<unsigned> expected_ids(std::uint8_t agent, std::size_t count) {
  std::vector<unsigned> ids;
  if (agent == 0x86) {
    const std::set<unsigned> skipped = {0x07, 0x08, 0x15, 0x28, 0x45, 0x4c, 0x4d, 0x4e,
                                        0x51, 0x52, 0x53, 0x54};
    for (unsigned id = 1; id <= 0x61; ++id) {
      if (skipped.count(id) == 0 && (id < 0x56 || id > 0x60)) ids.push_back(id);
    }
    return ids;
  }
  for (unsigned id = 1; id + 2 <= count; ++id) ids.push_back(id);
  ids.push_back(0xffe);
  ids.push_back(0xfff);
  return ids;
}

TEST(AgentTables, EventLists) {
  for (const ListShape& shape : kShapes) {
    SCOPED_TRACE(testing::Message() << "agent 0x" << std::hex << int{shape.agent});
    const AgentEventList list = agent_get_event_list(shape.agent);
    ASSERT_EQ(list.size(), shape.count);
    expect_entry(list.front(), shape.first);
    expect_entry(list.back(), shape.last);

    std::vector<unsigned> ids;
    std::set<std::string> names, blank_ended;
    for (const AgentEventEntry& e : list) {
      ids.push_back(e.event_id);
      const std::string name = name_of(e);
      EXPECT_FALSE(name.empty());
      EXPECT_LT(name.size(), sizeof e.name);
      for (std::size_t i = name.size(); i < sizeof e.name; ++i) EXPECT_EQ(e.name[i], '\0') << name;
      EXPECT_TRUE(names.insert(name).second) << name;
      if (name.back() == ' ') blank_ended.insert(name);
      // Only a watchdog time-out or reset is critical; everything else warns.
      const bool critical = name == "L2_WD_TIMEOUT" || name == "WDT_RESET";
      EXPECT_EQ(e.severity, critical ? 3u : 2u) << name;
      EXPECT_EQ(e.current_state, name == "HT1000_PCIX_RST" ? 1 : 0) << name;
    }
    EXPECT_EQ(ids, expected_ids(shape.agent, shape.count));
    EXPECT_EQ(blank_ended, shape.blank_ended);
    EXPECT_EQ(digits(list, [](const AgentEventEntry& e) { return e.normal_state; }),
              shape.normal);
    EXPECT_EQ(digits(list, [](const AgentEventEntry& e) { return e.attribute; }),
              shape.attribute);
  }
  EXPECT_EQ(agent_get_event_list(0x12).size(), 0u);
  EXPECT_EQ(agent_get_cmd_list(0x00).size(), 0u);
}

TEST(AgentTables, CommandLists) {
  struct Shape {
    AgentCmdList list;
    std::vector<int> codes;
    const char* first;
    const char* last;
  } shapes[] = {
      {agent_cmd_list_1,
       {0x00, 0x01, 0x04, 0x14, 0x02, 0x03, 0x10, 0x17, 0x18, 0x19, 0x1a,
        0x1b, 0x2f, 0x2e, 0x05, 0x13, 0x16, 0x2c, 0x31, 0x30, 0x1c},
       "power_on", "dump_state"},
      {agent_cmd_list_2,
       {0x32, 0x33, 0x36, 0x14, 0x32, 0x33, 0x36, 0x10, 0x17, 0x18, 0x19, 0x1a,
        0x1b, 0x2f, 0x2e, 0x05, 0x13, 0x16, 0x2c, 0x31, 0x30, 0x37, 0x1c},
       "power_on", "dump_state"},
  };
  const std::set<std::string> one_param = {"ps_on", "ps_off", "reset", "rd_info_reg"};
  const std::set<std::string> two_params = {"en_sensor", "dis_sensor", "rd_sensor"};
  for (const Shape& shape : shapes) {
    std::vector<int> codes;
    for (const AgentCmdEntry& e : shape.list) {
      codes.push_back(e.code);
      const std::string name = e.name;
      EXPECT_EQ(e.response, name.rfind("rd_", 0) == 0 || name == "dump_state" ? 1u : 0u) << name;
      EXPECT_EQ(e.param_bytes, one_param.count(name) ? 1u : two_params.count(name) ? 2u : 0u)
          << name;
      EXPECT_EQ(e.status, name == "rd_cmd_stat" || name == "rd_fifo" ? 0u : 1u) << name;
    }
    EXPECT_EQ(codes, shape.codes);
    EXPECT_STREQ(shape.list.front().name, shape.first);
    EXPECT_STREQ(shape.list.back().name, shape.last);
  }
  EXPECT_EQ(agent_get_cmd_list(0x51).data(), agent_cmd_list_2.data());
  const std::uint8_t list_1_agents[] = {0x4b, 0x86, 0x99};
  for (std::uint8_t agent : list_1_agents) {
    EXPECT_EQ(agent_get_cmd_list(agent).data(), agent_cmd_list_1.data());
  }
}

}  // namespace
