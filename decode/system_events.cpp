// Decoders of the module's own events: fixed texts, command-line commands, firmware
// update results, temperature alarms, heartbeat, trap texts and sub-labelled texts.
#include <array>
#include <cstdint>
#include <string_view>

#include "decode/event_text.h"
#include "decode/sel_decoders.h"
#include "decode/sel_print.h"
#include "decode/sel_record.h"

namespace {

// Type 0, indexed by the code.
constexpr auto kGenericTexts = std::to_array<std::string_view>({
    "Unknown",
    "Agent IIRQ false alarm",
    "LM77 error",
    "All power supplies fail",
    "SEL cleared",
    "Heartbeat started",
    "Heartbeat stopped",
    "Tovel Reboots",
    "Heartbeat received",
});
static_assert(kGenericTexts.size() == 9);

// Type 4: the updater reports with one of two code lists, chosen by the word after the
// return code, and the same number means different things in each.
constexpr auto kFudShortList = std::to_array<SelCodeText>({
    {0, "Firmware install successful"},
    {101, "Invalid arguments"},
    {102, "Metadata info not present in new package"},
    {103, "Metadata info not present int primary"},
    {104, "Metadata info not present in backup"},
    {105, "Miscellaneous error"},
});
static_assert(kFudShortList.size() == 6);

// Codes 112 and 119 have no text: the line ends after the return code.
constexpr auto kFudFullList = std::to_array<SelCodeText>({
    {101, "Invalid arguments"},
    {102, "Error writing bootloader to flash"},
    {103, "Error writing kernel to flash"},
    {104, "Error Flashing JFFS2"},
    {105, "Metadata info not present in new package"},
    {106, "Metadata Info not present in primary"},
    {107, "Metadata Info not present in backup"},
    {108, "Missing u-boot.bin in new package"},
    {109, "Missing vmlinux.UBoot in new package"},
    {110, "Error Flashing JFFS2 image"},
    {111, "Missing jffs2_rootfs.img in new package"},
    {113, "u-boot Checksum Failure"},
    {114, "Linux Checksum Failure"},
    {115, "ROOTFS File Checksum Failure"},
    {116, "Missing jffs2.img in new package"},
    {117, "Error Flashing JFFS2 logs image"},
    {118, "File couldn't be copied. Possible mount problems"},
    {120, "Miscellaneous Error"},
});
static_assert(kFudFullList.size() == 18);

// Type 5; any state not listed is normal.
constexpr auto kTemperatureStates = std::to_array<SelCodeText>({
    {1, "LOW, "},
    {2, "HIGH, "},
    {3, "CRITICAL HIGH, "},
});
static_assert(kTemperatureStates.size() == 3);
constexpr std::string_view kTemperatureNormal = "NORMAL, ";

constexpr std::int32_t kHeartbeatTimeSet = 0;

}  // namespace

void sel_print_generic(FILE* out, const SelRecord& rec) {
  const std::int32_t code = sel_s32(rec, SEL_OFF_CODE);
  const std::string_view text = sel_index_text(kGenericTexts, static_cast<std::uint32_t>(code));
  if (!text.empty()) {
    sel_put(out, text);
  } else {
    fprintf(out, "Invalid encoded text 0x%02x.", static_cast<unsigned>(code));
  }
}

void sel_print_cli(FILE* out, const SelRecord& rec) {
  sel_print_text(out, rec, SEL_OFF_CLI_USER, SEL_LEN_CLI_USER);
  fputs(" \"", out);
  sel_print_text(out, rec, SEL_OFF_CLI_COMMAND, SEL_LEN_CLI_COMMAND);
  fputc('"', out);
}

void sel_print_fud(FILE* out, const SelRecord& rec) {
  const std::int32_t retcode = sel_s32(rec, SEL_OFF_CODE);
  fprintf(out, "retcode %d, ", retcode);
  const auto code = static_cast<std::uint32_t>(retcode);
  sel_put(out, sel_u32(rec, SEL_OFF_ARG1) != 0 ? sel_find_text(kFudShortList, code)
                                               : sel_find_text(kFudFullList, code));
}

void sel_print_temperature(FILE* out, const SelRecord& rec) {
  const std::string_view state =
      sel_find_text(kTemperatureStates, sel_u32(rec, SEL_OFF_TEMP_STATE));
  fputs("state ", out);
  sel_put(out, state.empty() ? kTemperatureNormal : state);
  fprintf(out, "current: %dC, WL: %dC, WH: %dC, CH: %dC", sel_s32(rec, SEL_OFF_TEMP_CURRENT),
          sel_s32(rec, SEL_OFF_TEMP_LOW), sel_s32(rec, SEL_OFF_TEMP_HIGH),
          sel_s32(rec, SEL_OFF_TEMP_CRITICAL));
}

void sel_print_heartbeat(FILE* out, const SelRecord& rec) {
  const std::int32_t kind = sel_s32(rec, SEL_OFF_CODE);
  if (kind == kHeartbeatTimeSet) {
    sel_print_time_set(sel_s32(rec, SEL_OFF_ARG1), sel_s32(rec, SEL_OFF_ARG2), out);
  } else {
    fprintf(out, "Unsupported hb type %d, value 0x%02x 0x%02x", kind, sel_u32(rec, SEL_OFF_ARG1),
            sel_u32(rec, SEL_OFF_ARG2));
  }
}

void sel_print_trap(FILE* out, const SelRecord& rec) {
  sel_print_text(out, rec, SEL_OFF_TRAP_TEXT, SEL_LEN_TRAP_TEXT);
}

void sel_print_generic_text(FILE* out, const SelRecord& rec) {
  sel_print_text(out, rec, SEL_OFF_GENERIC_TEXT, SEL_LEN_GENERIC_TEXT);
}
