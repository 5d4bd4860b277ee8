#include "agent/agent_tables.h"

#include <array>
#include <cstdio>

namespace {

// Each entry: name, event id, severity, current state, normal state, attribute.
// The lists are in the order in which the agents number their signals.

constexpr auto kEvents4b = std::to_array<AgentEventEntry>({
    {"PSU2_AC_IN", 0x001, 2, 0, 1, 0},
    {"PSU2_12V_OK", 0x002, 2, 0, 1, 0},
    {"PSU2_5V_OK", 0x003, 2, 0, 1, 0},
    {"PSU1_AC_IN", 0x004, 2, 0, 1, 0},
    {"PSU1_12V_OK", 0x005, 2, 0, 1, 0},
    {"PSU1_5V_OK", 0x006, 2, 0, 1, 0},
    {"ADM1026_THERM", 0x007, 2, 0, 0, 0},
    {"ADM1026_INT", 0x008, 2, 0, 0, 0},
    {"PWRSEQ3_GD_A", 0x009, 2, 0, 1, 0},
    {"PWRSEQ3_GD_B", 0x00a, 2, 0, 1, 0},
    {"PWRSEQ3_GD_C", 0x00b, 2, 0, 1, 0},
    {"PWRSEQ5_GD_A", 0x00c, 2, 0, 1, 0},
    {"PWRSEQ5_GD_B", 0x00d, 2, 0, 1, 0},
    {"PWRSEQ6_GD", 0x00e, 2, 0, 1, 0},
    {"PWRSEQ7_GD_CPU1", 0x00f, 2, 0, 1, 0},
    {"PWRSEQ7_GD_CPU2", 0x010, 2, 0, 1, 0},
    {"PWRSEQ8_GD", 0x011, 2, 0, 1, 0},
    {"TCRIT_LM77_FRT", 0x012, 2, 0, 0, 0},
    {"INT_LM77_FRT", 0x013, 2, 0, 0, 0},
    {"TCRIT_LM77", 0x014, 2, 0, 0, 0},
    {"INT_LM77", 0x015, 2, 0, 0, 0},
    {"TCRIT_LM77_MEM", 0x016, 2, 0, 0, 0},
    {"INT_LM77_MEM", 0x017, 2, 0, 0, 0},
    {"BTN_IN  ", 0x018, 2, 0, 0, 0},
    {"PSU1_PRESENT", 0x019, 2, 0, 1, 0},
    {"PSU2_PRESENT", 0x01a, 2, 0, 1, 0},
    {"FAN_ALERT2", 0x01b, 2, 0, 0, 0},
    {"FAN_ALERT1", 0x01c, 2, 0, 0, 0},
    {"MP_INT2 ", 0x01d, 2, 0, 0, 0},
    {"MP_INT1 ", 0x01e, 2, 0, 0, 0},
    {"PSU1_INT ", 0x01f, 2, 0, 0, 0},
    {"PSU2_INT ", 0x020, 2, 0, 0, 0},
    {"L2_WD_TIMEOUT", 0xffe, 3, 0, 0, 0},
    {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
});
static_assert(kEvents4b.size() == 34);

constexpr auto kEvents51 = std::to_array<AgentEventEntry>({
    {"PS1_G_IN_OK", 0x001, 2, 0, 1, 0},
    {"PS1_12V_OK", 0x002, 2, 0, 1, 0},
    {"P0_PCIRST", 0x003, 2, 0, 0, 3},
    {"PS2_G_IN_OK", 0x004, 2, 0, 1, 0},
    {"PS2_12V_OK", 0x005, 2, 0, 1, 0},
    {"HT1000_PWOK", 0x006, 2, 0, 1, 0},
    {"ADM1026_THERM", 0x007, 2, 0, 0, 3},
    {"ADM1026_INT", 0x008, 2, 0, 0, 3},
    {"PWRSEQ_3_GD_A", 0x009, 2, 0, 1, 0},
    {"PWRSEQ_3_GD_B", 0x00a, 2, 0, 1, 0},
    {"PWRSEQ_3_GD_C", 0x00b, 2, 0, 1, 0},
    {"PWRSEQ_5_GD_A", 0x00c, 2, 0, 1, 0},
    {"PWRSEQ_5_GD_B", 0x00d, 2, 0, 1, 0},
    {"PWRSEQ_6_GD", 0x00e, 2, 0, 1, 0},
    {"PWRSEQ_7_GD_A", 0x00f, 2, 0, 1, 0},
    {"PWRSEQ_7_GD_B", 0x010, 2, 0, 0, 3},
    {"PWRSEQ_8_GD", 0x011, 2, 0, 1, 0},
    {"LM77_CENTRAL", 0x012, 2, 0, 0, 3},
    {"LM77_FRONT_CPU", 0x013, 2, 0, 0, 3},
    {"LM77_FRONT_PCI", 0x014, 2, 0, 0, 3},
    {"LM77_REAR_PCI", 0x015, 2, 0, 0, 3},
    {"PWRSEQ_2_GD", 0x016, 2, 0, 1, 0},
    {"LM77_REAR_CPU", 0x017, 2, 0, 0, 3},
    {"BTN_IN  ", 0x018, 2, 0, 0, 3},
    {"DEB_PS2_PRSNT", 0x019, 2, 0, 1, 0},
    {"DEB_PS1_PRSNT", 0x01a, 2, 0, 1, 0},
    {"FAN_ALERT2", 0x01b, 2, 0, 0, 3},
    {"FAN_ALERT1", 0x01c, 2, 0, 0, 3},
    {"12V_PG  ", 0x01d, 2, 0, 1, 0},
    {"PARTNER_PRESENT", 0x01e, 2, 0, 1, 1},
    {"PS2_INT  ", 0x01f, 2, 0, 0, 0},
    {"PS1_INT  ", 0x020, 2, 0, 0, 0},
    {"L2_WD_TIMEOUT", 0xffe, 3, 0, 0, 0},
    {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
});
static_assert(kEvents51.size() == 34);

constexpr auto kEvents86 = std::to_array<AgentEventEntry>({
    {"POW1_FAIL", 0x001, 2, 0, 0, 0},
    {"POW2_FAIL", 0x002, 2, 0, 0, 0},
    {"P0_THRMTRP", 0x003, 2, 0, 0, 0},
    {"P1_THRMTRP", 0x004, 2, 0, 0, 0},
    {"P2_THRMTRP", 0x005, 2, 0, 0, 0},
    {"P3_THRMTRP", 0x006, 2, 0, 0, 0},
    {"HTLE0_ALERT", 0x009, 2, 0, 0, 3},
    {"HTLE1_ALERT", 0x00a, 2, 0, 0, 3},
    {"HTLE2_ALERT", 0x00b, 2, 0, 0, 3},
    {"HTLE3_ALERT", 0x00c, 2, 0, 0, 3},
    {"HTLE0_FATAL", 0x00d, 2, 0, 0, 3},
    {"HTLE1_FATAL", 0x00e, 2, 0, 0, 3},
    {"HTLE2_FATAL", 0x00f, 2, 0, 0, 3},
    {"HTLE3_FATAL", 0x010, 2, 0, 0, 3},
    {"HTLE2_PCIX_SERR", 0x011, 2, 0, 0, 3},
    {"HTLE3_PCIX_SERR", 0x012, 2, 0, 0, 3},
    {"HTLE2_PCIX_PERR", 0x013, 2, 0, 0, 3},
    {"HTLE3_PCIX_PERR", 0x014, 2, 0, 0, 3},
    {"FPB_PRES", 0x016, 2, 0, 1, 0},
    {"FCB_PRES", 0x017, 2, 0, 1, 0},
    {"DXA_PRES", 0x018, 2, 0, 1, 0},
    {"FPB_TEMP_IRQ", 0x019, 2, 0, 0, 3},
    {"PCISLT_TEMP_IRQ", 0x01a, 2, 0, 0, 3},
    {"P01_TEMP_IRQ", 0x01b, 2, 0, 0, 3},
    {"P23_TEMP_IRQ", 0x01c, 2, 0, 0, 3},
    {"FAN135_TACH_IRQ", 0x01d, 2, 0, 0, 3},
    {"FAN024_TACH_IRQ", 0x01e, 2, 0, 0, 3},
    {"FAN68_TACH_IRQ", 0x01f, 2, 0, 0, 3},
    {"FAN79_TACH_IRQ", 0x020, 2, 0, 0, 3},
    {"IOB_VOLT_IRQ", 0x021, 2, 0, 0, 3},
    {"FCB_VOLT_IRQ", 0x022, 2, 0, 0, 3},
    {"CPUB_VOLT1_IRQ", 0x023, 2, 0, 0, 3},
    {"CPUB_VOLT2_IRQ", 0x024, 2, 0, 0, 3},
    {"CPUB_VOLT3_IRQ", 0x025, 2, 0, 0, 3},
    {"CPUB_VOLT4_IRQ", 0x026, 2, 0, 0, 3},
    {"DXA_33V_IRQ", 0x027, 2, 0, 0, 3},
    {"POW1_IRQ", 0x029, 2, 0, 0, 3},
    {"POW2_IRQ", 0x02a, 2, 0, 0, 3},
    {"CF_PRSNT", 0x02b, 2, 0, 1, 1},
    {"FAN0_PRSNT", 0x02c, 2, 0, 1, 0},
    {"FAN1_PRSNT", 0x02d, 2, 0, 1, 0},
    {"FAN2_PRSNT", 0x02e, 2, 0, 1, 0},
    {"FAN3_PRSNT", 0x02f, 2, 0, 1, 0},
    {"FAN4_PRSNT", 0x030, 2, 0, 1, 0},
    {"POW1_PS_ON", 0x031, 2, 0, 1, 0},
    {"POW1_AC_OK", 0x032, 2, 0, 1, 0},
    {"POW1_GOOD", 0x033, 2, 0, 1, 0},
    {"POW1_PRSNT", 0x034, 2, 0, 1, 0},
    {"POW2_PS_ON", 0x035, 2, 0, 1, 0},
    {"POW2_AC_OK", 0x036, 2, 0, 1, 0},
    {"POW2_GOOD", 0x037, 2, 0, 1, 0},
    {"POW2_PRSNT", 0x038, 2, 0, 1, 0},
    {"PIC_RST ", 0x039, 2, 0, 0, 3},
    {"FPGA_COLD_RST", 0x03a, 2, 0, 0, 3},
    {"RST_BNT ", 0x03b, 2, 0, 0, 0},
    {"FPGA_WARM_RST", 0x03c, 2, 0, 0, 3},
    {"VOL_MARGIN_RUN", 0x03d, 2, 0, 0, 2},
    {"VOL_WDT_RUNOUT", 0x03e, 2, 0, 0, 3},
    {"PWR_OK  ", 0x03f, 2, 0, 0, 3},
    {"CPU_HTLE_RESET", 0x040, 2, 0, 0, 3},
    {"SB1_RESET", 0x041, 2, 0, 0, 3},
    {"PCIE_RESET", 0x042, 2, 0, 0, 3},
    {"FC_RESET", 0x043, 2, 0, 0, 3},
    {"PIC_INTNL_RST", 0x044, 2, 0, 0, 3},
    {"PWR_SEQ_ERR", 0x046, 2, 0, 0, 0},
    {"PWR_FAIL", 0x047, 2, 0, 0, 0},
    {"PCI_PWR_FAIL", 0x048, 2, 0, 0, 0},
    {"DUMP_SW ", 0x049, 2, 0, 0, 3},
    {"WDT_NMI ", 0x04a, 2, 0, 0, 3},
    {"APPL_NMI", 0x04b, 2, 0, 0, 3},
    {"WDT_RESET", 0x04f, 3, 0, 0, 3},
    {"WDT_ENABLE", 0x050, 2, 0, 0, 2},
    {"FCB_PWR_GD", 0x055, 2, 0, 1, 0},
    {"HT1000_PCIX_RST", 0x061, 2, 1, 0, 3},
});
static_assert(kEvents86.size() == 74);

constexpr auto kEvents99 = std::to_array<AgentEventEntry>({
    {"PS2_AC_OK", 0x001, 2, 0, 1, 0},
    {"PS2_12V_OK", 0x002, 2, 0, 1, 0},
    {"PS2_5V_OK", 0x003, 2, 0, 1, 0},
    {"PS1_AC_OK", 0x004, 2, 0, 1, 0},
    {"PS1_12V_OK", 0x005, 2, 0, 1, 0},
    {"PS1_5V_OK", 0x006, 2, 0, 1, 0},
    {"CPU_THERM_INT", 0x007, 2, 0, 0, 0},
    {"SYS_MON_INT", 0x008, 2, 0, 0, 0},
    {"GIGE2_2V5A_OK", 0x009, 2, 0, 1, 0},
    {"GIGE2_2V5B_OK", 0x00a, 2, 0, 1, 0},
    {"GIGE2_1V5_OK", 0x00b, 2, 0, 1, 0},
    {"ISP2_CORE_OK", 0x00c, 2, 0, 1, 0},
    {"VTT_OK  ", 0x00d, 2, 0, 1, 0},
    {"GIGE1_2V5A_OK", 0x00e, 2, 0, 1, 0},
    {"GIGE1_2V5B_OK", 0x00f, 2, 0, 1, 0},
    {"GIGE1_1V5_OK", 0x010, 2, 0, 1, 0},
    {"ISP1_CORE_OK", 0x011, 2, 0, 1, 0},
    {"SYS_5V_OK", 0x012, 2, 0, 1, 0},
    {"VRM2_PWRGD", 0x013, 2, 0, 1, 0},
    {"VRM1_PWRGD", 0x014, 2, 0, 1, 0},
    {"THERM_EN", 0x015, 2, 0, 1, 0},
    {"FAN_ALERT1", 0x016, 2, 0, 0, 0},
    {"FAN_ALERT2", 0x017, 2, 0, 0, 0},
    {"LCD_NMI_IN", 0x018, 2, 0, 0, 0},
    {"PS1_PRSNT", 0x019, 2, 0, 1, 0},
    {"PS2_PRSNT", 0x01a, 2, 0, 1, 0},
    {"MP_INT_2", 0x01b, 2, 0, 0, 0},
    {"MP_INT_1", 0x01c, 2, 0, 0, 0},
    {"PS1_INT ", 0x01d, 2, 0, 0, 0},
    {"PS2_INT ", 0x01e, 2, 0, 0, 0},
    {"L2_WD_TIMEOUT", 0xffe, 3, 0, 0, 0},
    {"L1_WD_TIMEOUT", 0xfff, 2, 0, 0, 0},
});
static_assert(kEvents99.size() == 32);
// Each entry: name, code, response, parameter bytes, status.
constexpr auto kCmdList1 = std::to_array<AgentCmdEntry>({
    {"power_on", 0x00, 0, 0, 1},
    {"power_off", 0x01, 0, 0, 1},
    {"power_cycle", 0x04, 0, 0, 1},
    {"nmi", 0x14, 0, 0, 1},
    {"ps_on", 0x02, 0, 1, 1},
    {"ps_off", 0x03, 0, 1, 1},
    {"reset", 0x10, 0, 1, 1},
    {"en_sensors", 0x17, 0, 0, 1},
    {"dis_sensors", 0x18, 0, 0, 1},
    {"en_sensor", 0x19, 0, 2, 1},
    {"dis_sensor", 0x1a, 0, 2, 1},
    {"rd_sensor", 0x1b, 1, 2, 1},
    {"rd_leds", 0x2f, 1, 0, 1},
    {"rd_cmd_stat", 0x2e, 1, 0, 0},
    {"rd_pwr_stat", 0x05, 1, 0, 1},
    {"rd_image", 0x13, 1, 0, 1},
    {"rd_info", 0x16, 1, 0, 1},
    {"rd_nmi_src", 0x2c, 1, 0, 1},
    {"rd_info_reg", 0x31, 1, 1, 1},
    {"rd_fifo", 0x30, 1, 0, 0},
    {"dump_state", 0x1c, 1, 0, 1},
});
static_assert(kCmdList1.size() == 21);

// Agent 0x51 names its controller commands twice, under the same codes; a lookup by
// code finds the power_* names first.
constexpr auto kCmdList2 = std::to_array<AgentCmdEntry>({
    {"power_on", 0x32, 0, 0, 1},
    {"power_off", 0x33, 0, 0, 1},
    {"power_cycle", 0x36, 0, 0, 1},
    {"nmi", 0x14, 0, 0, 1},
    {"ctrlr_on", 0x32, 0, 0, 1},
    {"ctrlr_off", 0x33, 0, 0, 1},
    {"ctrlr_power_cycle", 0x36, 0, 0, 1},
    {"reset", 0x10, 0, 1, 1},
    {"en_sensors", 0x17, 0, 0, 1},
    {"dis_sensors", 0x18, 0, 0, 1},
    {"en_sensor", 0x19, 0, 2, 1},
    {"dis_sensor", 0x1a, 0, 2, 1},
    {"rd_sensor", 0x1b, 1, 2, 1},
    {"rd_leds", 0x2f, 1, 0, 1},
    {"rd_cmd_stat", 0x2e, 1, 0, 0},
    {"rd_pwr_stat", 0x05, 1, 0, 1},
    {"rd_image", 0x13, 1, 0, 1},
    {"rd_info", 0x16, 1, 0, 1},
    {"rd_nmi_src", 0x2c, 1, 0, 1},
    {"rd_info_reg", 0x31, 1, 1, 1},
    {"rd_fifo", 0x30, 1, 0, 0},
    {"rd_ctrlr_pwr_stat", 0x37, 1, 0, 1},
    {"dump_state", 0x1c, 1, 0, 1},
});
static_assert(kCmdList2.size() == 23);

// A list is in the order in which its agent numbers its signals, and every name ends in
// a NUL inside its field: a lookup by id and the printing of a name rely on both.
template <std::size_t N>
constexpr bool well_formed(const std::array<AgentEventEntry, N>& list) {
  for (std::size_t i = 0; i < N; ++i) {
    if (list[i].name[0] == '\0' || list[i].name[sizeof list[i].name - 1] != '\0') return false;
    if (list[i].event_id == 0 || list[i].event_id > 0xfff) return false;
    if (i > 0 && list[i].event_id <= list[i - 1].event_id) return false;
  }
  return true;
}
static_assert(well_formed(kEvents4b) && well_formed(kEvents51) && well_formed(kEvents86) &&
              well_formed(kEvents99));

struct Agent {
  std::uint8_t id;
  const char* id_text;
  agent_event_list events;
  agent_cmd_list commands;
};

constexpr auto kAgents = std::to_array<Agent>({
    {AGENT_ID_4B, "0x4b", kEvents4b, kCmdList1},
    {AGENT_ID_51, "0x51", kEvents51, kCmdList2},
    {AGENT_ID_86, "0x86", kEvents86, kCmdList1},
    {AGENT_ID_99, "0x99", kEvents99, kCmdList1},
});
static_assert(kAgents.size() == 4);

const Agent* find_agent(std::uint8_t agent_id) {
  for (const Agent& agent : kAgents) {
    if (agent.id == agent_id) return &agent;
  }
  return nullptr;
}

// snprintf reports the length it wanted; the caller learns what actually landed.
int written(int wanted, std::size_t size) {
  if (wanted < 0 || size == 0) return 0;
  const auto limit = static_cast<int>(size - 1);
  return wanted < limit ? wanted : limit;
}

}  // namespace

constexpr agent_cmd_list agent_cmd_list_1 = kCmdList1;
constexpr agent_cmd_list agent_cmd_list_2 = kCmdList2;

int agent_get_id_str(std::uint8_t agent_id, char* buf, std::size_t size) {
  const Agent* agent = find_agent(agent_id);
  const int wanted = agent != nullptr ? snprintf(buf, size, "%s", agent->id_text)
                                      : snprintf(buf, size, "Unknown id 0x%02x", agent_id);
  return written(wanted, size);
}

agent_event_list agent_get_event_list(std::uint8_t agent_id) {
  const Agent* agent = find_agent(agent_id);
  return agent != nullptr ? agent->events : agent_event_list{};
}

agent_cmd_list agent_get_cmd_list(std::uint8_t agent_id) {
  const Agent* agent = find_agent(agent_id);
  return agent != nullptr ? agent->commands : agent_cmd_list{};
}

void agent_get_cmd_str(std::uint8_t code, agent_cmd_list list, char* buf, std::size_t size) {
  const char* name = "unknown";
  for (const AgentCmdEntry& entry : list) {
    if (entry.code == code) {
      name = entry.name;
      break;
    }
  }
  (void)snprintf(buf, size, "%s", name);  // a short buffer keeps the start of the name
}
