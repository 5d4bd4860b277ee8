// Decoders of the events that the appliance's software and firmware report through
// the module: its operating system, its boot firmware, the BIOS self-test and the
// boot loader.
#include <array>
#include <cstdint>
#include <string_view>

#include "decode/event_text.h"
#include "decode/post_codes.h"
#include "decode/sel_decoders.h"
#include "decode/sel_print.h"
#include "decode/sel_record.h"

namespace {

int text_len(std::string_view text) { return static_cast<int>(text.size()); }

// Type 6, indexed by the code.
constexpr std::uint32_t kKaldoSensor = 4;
constexpr auto kKaldoTexts = std::to_array<std::string_view>({
    "Appliance user shutdown (unknown cmd)",
    "Appliance user command reboot.",
    "Appliance user command panic.",
    "Appliance user command halt.",
    "Appliance sensor ",
});
static_assert(kKaldoTexts.size() == 5);
static_assert(kKaldoSensor == kKaldoTexts.size() - 1);

// Indexed by the sensor's unit word; 0 and every value past the table have no unit.
constexpr auto kSensorUnits = std::to_array<std::string_view>({"", "C", "RPM", "mV"});
static_assert(kSensorUnits.size() == 4);

// Type 7, indexed by the code. The texts that end in a blank are followed by the
// code's argument; the time-set code has no text of its own.
enum : std::uint32_t {
  kCfeMissingCpu = 2,
  kCfeMemoryPost = 3,
  kCfeNoBootImage = 5,
  kCfeMicrocode = 6,
  kCfeTimeSet = 7,
};
constexpr auto kCfeTexts = std::to_array<std::string_view>({
    "Memory configuration error.",
    "Fatal error: no memory.",
    "Missing CPU. Seen only ",
    "Memory POST failed at addr ",
    "RTC POST error.",
    "Failed to boot: can't find boot image ",
    "Microcode mismatched on CPU ",
    "",
    "Flash and RAM data miscompare.",
});
static_assert(kCfeTexts.size() == 9);

// Boot images of the boot firmware and the boot loader, indexed by the image word.
constexpr auto kImageNames = std::to_array<std::string_view>({"primary", "backup"});
static_assert(kImageNames.size() == 2);

// Type 10.
constexpr std::uint32_t kBootMissingKernel = 1;
constexpr auto kBootLoaderTexts = std::to_array<SelCodeText>({
    {kBootMissingKernel, "Missing kernel "},
    {2, "Corrupted or missing Primary env file. Use Backup."},
    {3, "Corrupted or missing Primary AND Backup env files. Use default."},
    {4, "Abort Autoboot due to BIOS POST failure."},
});
static_assert(kBootLoaderTexts.size() == 4);

// Only the first layout of the BIOS and boot loader payloads is known.
constexpr std::uint16_t kPayloadVersion = 0;

void print_image(FILE* out, std::uint32_t image) {
  if (image < kImageNames.size()) {
    const std::string_view name = kImageNames[image];
    fprintf(out, "%.*s.", text_len(name), name.data());
  } else {
    fprintf(out, "invalid image %d.", static_cast<std::int32_t>(image));
  }
}

// False, after saying so, for a payload layout this program does not know.
bool known_version(FILE* out, const SelRecord& rec) {
  const std::uint16_t event_version = sel_event_version(rec);
  if (event_version == kPayloadVersion) return true;
  fprintf(out, "Unsupported event version %d", event_version);
  return false;
}

}  // namespace

void sel_print_kaldo_event(FILE* out, const SelRecord& rec) {
  const std::uint32_t code = sel_u32(rec, SEL_OFF_CODE);
  const std::string_view text = sel_index_text(kKaldoTexts, code);
  if (!text.empty()) {
    sel_put(out, text);
  } else {
    // The appliance's own fallback ends in a newline, which leaves an empty line
    // after this record in the listing.
    fprintf(out, "unknown event type %02x\n", code);
  }
  if (code != kKaldoSensor) return;

  const std::string_view unit = sel_index_text(kSensorUnits, sel_u32(rec, SEL_OFF_SENSOR_UNIT));
  const int unit_len = text_len(unit);
  fputs("Sensor ", out);
  sel_print_text(out, rec, SEL_OFF_SENSOR_NAME, SEL_LEN_SENSOR_NAME);
  fputc(' ', out);
  fprintf(out, "in Critical state, current reading %d%.*s, ", sel_s32(rec, SEL_OFF_SENSOR_READING),
          unit_len, unit.data());
  const std::int32_t low = sel_s32(rec, SEL_OFF_SENSOR_LOW);
  if (low != SEL_SENSOR_NO_LIMIT) {
    fprintf(out, "critical low limit is %d%.*s.", low, unit_len, unit.data());
  }
  const std::int32_t high = sel_s32(rec, SEL_OFF_SENSOR_HIGH);
  if (high != SEL_SENSOR_NO_LIMIT) {
    fprintf(out, "critical high limit is %d%.*s.", high, unit_len, unit.data());
  }
}

void sel_print_cfe_event(FILE* out, const SelRecord& rec) {
  const std::uint32_t code = sel_u32(rec, SEL_OFF_CODE);
  if (code < kCfeTexts.size()) {
    sel_put(out, kCfeTexts[code]);
  } else {
    fprintf(out, "unknown event type 0x%02x", code);
  }
  switch (code) {
    case kCfeMissingCpu: fprintf(out, "%d CPUs.", sel_s32(rec, SEL_OFF_ARG1)); break;
    case kCfeMemoryPost:
    case kCfeMicrocode: fprintf(out, "0x%02x.", sel_u32(rec, SEL_OFF_ARG1)); break;
    case kCfeNoBootImage: print_image(out, sel_u32(rec, SEL_OFF_ARG1)); break;
    case kCfeTimeSet:
      // The firmware logs the time it had before the change; the record's own time
      // is the new one.
      sel_print_time_set(sel_s32(rec, SEL_OFF_ARG1), sel_timestamp(rec), out);
      break;
    default:
      break;
  }
}

void sel_print_post_event(FILE* out, const SelRecord& rec) {
  const std::uint32_t code = sel_u32(rec, SEL_OFF_CODE);
  // Time changes are logged under the BIOS types whatever payload version the
  // logger stamps on them.
  if (code == SEL_TIME_SET_CODE) {
    sel_print_time_set(sel_s32(rec, SEL_OFF_ARG2), sel_timestamp(rec), out);
    return;
  }
  if (!known_version(out, rec)) return;
  fprintf(out, "POST error 0x%04x: ", code);
  const std::string_view name = sel_post_code_name(code);
  sel_put(out, name.empty() ? std::string_view{"Definition not available"} : name);
  fprintf(out, " Additional data: 0x%08x 0x%08x", sel_u32(rec, SEL_OFF_ARG1),
          sel_u32(rec, SEL_OFF_ARG2));
}

void sel_print_boot_loader(FILE* out, const SelRecord& rec) {
  if (!known_version(out, rec)) return;
  const std::uint32_t code = sel_u32(rec, SEL_OFF_CODE);
  const std::string_view text = sel_find_text(kBootLoaderTexts, code);
  if (!text.empty()) {
    sel_put(out, text);
  } else {
    fprintf(out, "undefined event type 0x%02x", code);
  }
  const std::uint32_t high = sel_u32(rec, SEL_OFF_ARG1);
  const std::uint32_t low = sel_u32(rec, SEL_OFF_ARG2);
  if (code == kBootMissingKernel) {
    print_image(out, low);
  } else if (high != 0) {
    // The additional data is one 64-bit value split in two words.
    fprintf(out, " Additional data: 0x%02x%08x", high, low);
  } else if (low != 0) {
    fprintf(out, " Additional data: 0x%02x", low);
  }
}
