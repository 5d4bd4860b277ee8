// Demo records of the agent: signal and command events of every agent and every flag
// combination, failed commands with every combination of what they carry, and the
// records that only the fallback texts can show.
#include <cstdint>
#include <cstring>
#include <vector>

#include "agent/agent_tables.h"
#include "decode/sel_record.h"
#include "standins/demo/demo_records.h"
#include "standins/storewriter/record_builder.h"

namespace {

class Appender {
 public:
  Appender(std::vector<SelRecord>& out, std::int32_t timestamp) : out_(out), time_(timestamp) {}

  void event(std::uint8_t agent, std::uint16_t word, std::uint32_t severity) {
    out_.push_back(RecordBuilder(0, time_++, severity, SEL_TYPE_AGENT_EVENT)
                       .u8(SEL_OFF_AGENT_ID, agent)
                       .u16(SEL_OFF_AGENT_WORD, word)
                       .record());
  }

  void error(std::uint8_t error, std::uint8_t flags, std::uint8_t command, std::uint32_t param,
             std::uint8_t status) {
    out_.push_back(RecordBuilder(0, time_++, 3, SEL_TYPE_AGENT_ERROR)
                       .u8(SEL_OFF_ERR_CODE, error)
                       .u8(SEL_OFF_ERR_FLAGS, flags)
                       .u8(SEL_OFF_ERR_COMMAND, command)
                       .u32(SEL_OFF_ERR_PARAM, param)
                       .u8(SEL_OFF_ERR_STATUS, status)
                       .record());
  }

 private:
  std::vector<SelRecord>& out_;
  std::int32_t time_;
};

std::uint16_t word(std::uint16_t flags, unsigned low) {
  return static_cast<std::uint16_t>(flags | low);
}

void add_agent_events(Appender& add) {
  const std::uint16_t flag_sets[] = {0, SEL_AGENT_INITIAL, SEL_AGENT_HIGH,
                                     SEL_AGENT_HIGH | SEL_AGENT_INITIAL};

  const std::uint8_t agents[] = {AGENT_ID_4B, AGENT_ID_51, AGENT_ID_86, AGENT_ID_99};
  for (const std::uint8_t agent : agents) {
    // The first and last signals of the agent, and one whose name ends in blanks.
    const agent_event_list events = agent_get_event_list(agent);
    const AgentEventEntry* picks[] = {&events.front(), &events.back(), &events.front()};
    for (const AgentEventEntry& e : events) {
      const std::size_t len = strnlen(e.name, sizeof e.name);
      if (len > 0 && e.name[len - 1] == ' ') {
        picks[2] = &e;
        break;
      }
    }
    for (const AgentEventEntry* pick : picks) {
      for (const std::uint16_t flags : flag_sets) {
        add.event(agent, word(flags, pick->event_id), pick->severity);
      }
    }
    // A command of the agent's own list, from either side, valid or not.
    const std::uint8_t code = agent == AGENT_ID_51 ? 0x37 : 0x16;
    for (const std::uint16_t flags : flag_sets)
      add.event(agent, word(SEL_AGENT_COMMAND | flags, code), 1);
  }

  // The commands that every agent names alike, and bit 14, which nobody reads.
  add.event(AGENT_ID_86, word(SEL_AGENT_COMMAND, 0x15), 1);
  add.event(AGENT_ID_86, word(SEL_AGENT_COMMAND | SEL_AGENT_INITIAL, 0x29), 1);
  add.event(AGENT_ID_99, word(SEL_AGENT_COMMAND | SEL_AGENT_INITIAL, 0x2a), 1);
  add.event(AGENT_ID_4B, word(SEL_AGENT_COMMAND, 0x2b), 1);
  add.event(AGENT_ID_51, word(SEL_AGENT_COMMAND | SEL_AGENT_INITIAL, 0x14), 1);
  add.event(AGENT_ID_86, word(SEL_AGENT_IGNORED, 0x001), 2);
  // Agent 0x51 names its controller commands twice; the power_* names win.
  add.event(AGENT_ID_51, word(SEL_AGENT_COMMAND | SEL_AGENT_INITIAL, 0x32), 1);
  add.event(AGENT_ID_51, word(SEL_AGENT_COMMAND, 0x36), 1);

  // Fallbacks: ids and codes outside the lists, and agents nobody knows.
  add.event(AGENT_ID_86, word(0, 0x007), 2);
  add.event(AGENT_ID_51, word(SEL_AGENT_HIGH | SEL_AGENT_IGNORED, 0x021), 2);
  add.event(AGENT_ID_4B, word(SEL_AGENT_COMMAND, 0x32), 1);
  add.event(0x12, word(0, 0x005), 2);
  add.event(0x00, word(SEL_AGENT_COMMAND, 0x29), 1);
  add.event(0xff, word(SEL_AGENT_COMMAND | SEL_AGENT_INITIAL, 0x10), 1);
}

void add_agent_errors(Appender& add) {
  // Every combination of the error record's flags, with and without an error code.
  for (int all = 0; all <= (SEL_ERR_HAS_COMMAND | SEL_ERR_HAS_PARAM | SEL_ERR_HAS_STATUS); ++all) {
    const auto flags = static_cast<std::uint8_t>(all);
    add.error(0, flags, 0x1b, 0x25, 2);
    add.error(9, flags, 0x10, 0x12345, 3);
  }
  // Every error text, every status text, and what lies beyond them.
  for (std::uint8_t error = 1; error <= 14; ++error) add.error(error, 0, 0, 0, 0);
  add.error(0x2a, 0, 0, 0, 0);
  for (std::uint8_t status = 1; status <= 5; ++status) {
    add.error(0, SEL_ERR_HAS_COMMAND | SEL_ERR_HAS_STATUS, 0x31, 0, status);
  }
  add.error(0, SEL_ERR_HAS_COMMAND | SEL_ERR_HAS_STATUS, 0x2e, 0, 0xff);
  // Command names from either list, one the event decoder alone names, and none at all.
  add.error(6, SEL_ERR_HAS_COMMAND, 0x00, 0, 0);
  add.error(6, SEL_ERR_HAS_COMMAND, 0x37, 0, 0);
  add.error(6, SEL_ERR_HAS_COMMAND | SEL_ERR_HAS_PARAM, 0x32, 0xffffffff, 0);
  add.error(0, SEL_ERR_HAS_COMMAND, 0x29, 0, 0);
  add.error(0, SEL_ERR_HAS_COMMAND, 0x99, 0, 0);
  add.error(2, 0xf8 | SEL_ERR_HAS_COMMAND | SEL_ERR_HAS_PARAM, 0x1a, 0x25, 1);
}

}  // namespace

void add_agent_demo_records(std::vector<SelRecord>& out, std::int32_t timestamp) {
  Appender add(out, timestamp);
  add_agent_events(add);
  add_agent_errors(add);
}
