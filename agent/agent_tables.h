// The agent vocabulary: the known agent ids, each agent's signals (its event list) and
// the two command sets that the agents speak.
//
// Lists are held as spans without an end entry; an empty span stands for "none", which
// is what an unknown agent id gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// One signal of an agent.
struct AgentEventEntry {
  char name[20];              // up to 19 characters, NUL-padded; trailing blanks are part of it
  std::uint16_t event_id;     // 12-bit id, 0x001 to 0xfff
  std::uint32_t severity;     // SEL severity of the signal leaving its normal state
  std::uint8_t current_state; // 1 asserted, 0 deasserted (the agent's event handler keeps it)
  std::uint8_t normal_state;  // the state in which the signal is not in alarm
  std::uint32_t attribute;    // 0 to 3
};

// One command of an agent.
struct AgentCmdEntry {
  const char* name;
  std::uint8_t code;
  std::uint32_t response;     // 1: the command reads data back from the agent
  std::uint32_t param_bytes;  // 0, 1 or 2
  std::uint32_t status;       // 0: the agent keeps no command status for it
};

// An agent's list of signals and a set of commands, by the names the agents' own
// documentation gives them.
using agent_event_list = std::span<const AgentEventEntry>;
using agent_cmd_list = std::span<const AgentCmdEntry>;

inline constexpr std::uint8_t AGENT_ID_4B = 0x4b;
inline constexpr std::uint8_t AGENT_ID_51 = 0x51;
inline constexpr std::uint8_t AGENT_ID_86 = 0x86;
inline constexpr std::uint8_t AGENT_ID_99 = 0x99;

// The command sets: list 1 for agents 0x4b, 0x86 and 0x99, list 2 for agent 0x51.
extern const agent_cmd_list agent_cmd_list_1;
extern const agent_cmd_list agent_cmd_list_2;

// Writes the agent's id text ("0x4b", or "Unknown id 0x%02x") into buf, cut to
// size - 1 characters and a NUL. Returns the number of characters written.
int agent_get_id_str(std::uint8_t agent_id, char* buf, std::size_t size);

// The agent's event list, or an empty list for an unknown id.
agent_event_list agent_get_event_list(std::uint8_t agent_id);

// The agent's command list, or an empty list for an unknown id.
agent_cmd_list agent_get_cmd_list(std::uint8_t agent_id);

// Writes the name of the first entry of `list` with the command code into buf, or
// "unknown" when there is none, cut to size - 1 characters and a NUL.
void agent_get_cmd_str(std::uint8_t code, agent_cmd_list list, char* buf, std::size_t size);
