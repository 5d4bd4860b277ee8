#include <array>
#include <cstdint>

#include "agent/agent_tables.h"
#include "decode/sel_decoders.h"
#include "decode/sel_record.h"

// An agent event record carries the agent id and the word from the agent's event FIFO.
namespace {

using TextBuffer = std::array<char, 100>;

// The watchdog and NMI commands are the agent firmware's own and in no command list.
const char* fixed_command_text(std::uint8_t code) {
  switch (code) {
    case 0x15: return "nmi";
    case 0x29: return "enable watchdog";
    case 0x2a: return "disable watchdog";
    case 0x2b: return "reset watchdog";
    default: return nullptr;
  }
}

void print_command_event(FILE* out, std::uint16_t word, agent_cmd_list commands) {
  const auto code = static_cast<std::uint8_t>(word & SEL_AGENT_COMMAND_MASK);
  TextBuffer name{};
  const char* text = fixed_command_text(code);
  if (text == nullptr) {
    agent_get_cmd_str(code, commands, name.data(), name.size());
    text = name.data();
  }
  if ((word & SEL_AGENT_HIGH) != 0) text = "invalid";
  const char* source = (word & SEL_AGENT_INITIAL) != 0 ? "DXA" : "Appliance";
  fprintf(out, "%s command 0x%02x (%s)", source, static_cast<unsigned>(code), text);
}

void print_signal_event(FILE* out, std::uint16_t word, agent_event_list events) {
  const std::uint16_t event_id = word & SEL_AGENT_EVENT_ID_MASK;
  for (const AgentEventEntry& entry : events) {
    if (entry.event_id == event_id) {
      fprintf(out, "%s%s %sasserted.", entry.name,
              (word & SEL_AGENT_INITIAL) != 0 ? " initially" : "",
              (word & SEL_AGENT_HIGH) != 0 ? "" : "de");
      return;
    }
  }
  fprintf(out, "Unknown event 0x%04x", static_cast<unsigned>(word));
}

}  // namespace

void sel_print_agent_event(FILE* out, const SelRecord& rec) {
  const std::uint8_t agent_id = sel_u8(rec, SEL_OFF_AGENT_ID);
  const std::uint16_t word = sel_u16(rec, SEL_OFF_AGENT_WORD);
  fprintf(out, "FIFO 0x%04X - ", static_cast<unsigned>(word));

  TextBuffer id_text{};
  agent_get_id_str(agent_id, id_text.data(), id_text.size());
  fprintf(out, "Agent %s, ", id_text.data());

  const agent_event_list events = agent_get_event_list(agent_id);
  const agent_cmd_list commands = agent_get_cmd_list(agent_id);
  // The message keeps its own line end, so the event's text starts the next line.
  if (commands.empty()) {
    fprintf(out, "Error getting agent command list for id %d\n", static_cast<int>(agent_id));
  }

  if ((word & SEL_AGENT_COMMAND) != 0) {
    print_command_event(out, word, commands);
  } else {
    print_signal_event(out, word, events);
  }
}
