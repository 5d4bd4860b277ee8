#include <array>
#include <cstdint>
#include <string_view>

#include "agent/agent_error.h"
#include "agent/agent_tables.h"
#include "decode/sel_decoders.h"
#include "decode/sel_record.h"

// An agent error record: an error code (0 for none) and flags saying which of the
// command code, its parameter and the agent's command status were recorded.
namespace {

// Indexed by error code - 1.
constexpr auto kErrorTexts = std::to_array<std::string_view>({
    "Error: Invalid command",
    "Error: Invalid parameter",
    "Error writing",
    "Error reading",
    "Error: Invalid response data",
    "IPC error",
    "Interrupt error",
    "Error: End of data",
    "I2C access error",
    "Driver access error",
    "Error: Can't test",
    "Command checksum error",
    "Error: Agent initialization failed, unknown Agent ID",
});
static_assert(kErrorTexts.size() == 13);

// Indexed by command status - 1.
constexpr auto kStatusTexts = std::to_array<std::string_view>({
    "Command in process",
    "Illegal command",
    "Command byte transmission error",
    "Parameter byte transmission error",
});
static_assert(kStatusTexts.size() == 4);

bool list_has(agent_cmd_list list, std::uint8_t code) {
  for (const AgentCmdEntry& entry : list) {
    if (entry.code == code) return true;
  }
  return false;
}

}  // namespace

void agent_print_error(FILE* out, std::uint8_t error_code) {
  const std::size_t index = error_code - std::size_t{1};
  if (error_code != 0 && index < kErrorTexts.size()) {
    const std::string_view text = kErrorTexts[index];
    fprintf(out, "%.*s. ", static_cast<int>(text.size()), text.data());
  } else {
    fprintf(out, "Unknown error 0x%02x. ", static_cast<unsigned>(error_code));
  }
}

void agent_find_cmd_str(std::uint8_t code, char* buf, std::size_t size) {
  // The error record names no agent, so both command sets are searched, list 1 first;
  // list 2 also answers "unknown" when neither has the code.
  const agent_cmd_list list =
      list_has(agent_cmd_list_1, code) ? agent_cmd_list_1 : agent_cmd_list_2;
  agent_get_cmd_str(code, list, buf, size);
}

void agent_print_cmd_status(FILE* out, std::uint8_t status) {
  if (status == 0) return;
  fprintf(out, "Command status 0x%02x: ", static_cast<unsigned>(status));
  const std::size_t index = status - std::size_t{1};
  if (index < kStatusTexts.size()) {
    const std::string_view text = kStatusTexts[index];
    fprintf(out, "%.*s.", static_cast<int>(text.size()), text.data());
  } else {
    fprintf(out, "Unknown.");
  }
}

void sel_print_agent_error(FILE* out, const SelRecord& rec) {
  const std::uint8_t error_code = sel_u8(rec, SEL_OFF_ERR_CODE);
  if (error_code != 0) agent_print_error(out, error_code);

  // Parameter and status only mean something beside the command they belong to.
  const std::uint8_t flags = sel_u8(rec, SEL_OFF_ERR_FLAGS);
  if ((flags & SEL_ERR_HAS_COMMAND) == 0) return;

  const std::uint8_t code = sel_u8(rec, SEL_OFF_ERR_COMMAND);
  std::array<char, 100> name{};
  agent_find_cmd_str(code, name.data(), name.size());
  fprintf(out, "Command 0x%02x (%s) ", static_cast<unsigned>(code), name.data());

  if ((flags & SEL_ERR_HAS_PARAM) != 0) {
    fprintf(out, "par 0x%04x. ", static_cast<unsigned>(sel_u32(rec, SEL_OFF_ERR_PARAM)));
  }
  if ((flags & SEL_ERR_HAS_STATUS) != 0) {
    agent_print_cmd_status(out, sel_u8(rec, SEL_OFF_ERR_STATUS));
  }
}
