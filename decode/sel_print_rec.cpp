#include "decode/sel_print.h"

#include <array>
#include <ctime>
#include <string_view>

#include "agent/agent_decode.h"
#include "decode/sel_decoders.h"
#include "lib/sel_record.h"

namespace {

struct EventType {
  std::string_view label;
  SelDecoder decode;
};

// Indexed by event_type. Type 14 takes its label from the record (sub-label).
constexpr auto kEventTypes = std::to_array<EventType>({
    {"DXA", sel_print_generic},
    {"Agent Event", sel_print_agent_event},
    {"Agent Error", sel_print_agent_error},
    {"DXA CLI", sel_print_cli},
    {"Fud", sel_print_fud},
    {"DXA Temperature", sel_print_temperature},
    {"KALDO", sel_print_kaldo_event},
    {"CFE", sel_print_cfe_event},
    {"BIOS", sel_print_post_event},
    {"BIOS", sel_print_post_event},
    {"Boot Loader", sel_print_boot_loader},
    {"Heartbeat", sel_print_heartbeat},
    {"Trap Event", sel_print_trap},
    {"BIOS", sel_print_post_event},
    {"DXA Generic", sel_print_generic_text},
});
static_assert(kEventTypes.size() == SEL_TYPE_COUNT);

constexpr auto kSubLabels = std::to_array<std::string_view>({"unknown", "auth"});
static_assert(kSubLabels.size() == 2);

constexpr auto kSeverities =
    std::to_array<std::string_view>({"normal", "notice", "warning", "critical", "emergency"});
static_assert(kSeverities.size() == 5);

constexpr std::string_view kUnknownType = "unknown-type";
constexpr std::string_view kUnknownSeverity = "unknown-severity";

}  // namespace

std::string_view sel_type_label(const SelRecord& rec) {
  const std::size_t type = sel_event_type(rec);
  if (type == SEL_TYPE_GENERIC_TEXT) {
    const std::size_t sub = sel_u8(rec, SEL_OFF_SUBLABEL);
    return sub < kSubLabels.size() ? kSubLabels[sub] : kUnknownType;
  }
  return type < kEventTypes.size() ? kEventTypes[type].label : kUnknownType;
}

std::string_view sel_severity_label(const SelRecord& rec) {
  const std::uint32_t severity = sel_severity(rec);
  return severity < kSeverities.size() ? kSeverities[severity] : kUnknownSeverity;
}

void sel_fprint_rec_text(FILE* out, const SelRecord& rec) {
  const std::size_t event_type = sel_event_type(rec);
  if (event_type < kEventTypes.size()) {
    kEventTypes[event_type].decode(out, rec);
  } else {
    fputs("Don't know how to decode this record.", out);
  }
}

char* sel_ctime(std::int32_t when, char (&buf)[32]) {
  const std::time_t t = when;
  const char* text = std::ctime(&t);
  // ctime only fails for years past 9999, which 32-bit times never reach. Its text is
  // 24 characters and a newline; copying the 24 is far cheaper than formatting them,
  // and it happens for every record of a listing.
  std::size_t n = 0;
  for (; text != nullptr && n < 24 && text[n] != '\0'; ++n) buf[n] = text[n];
  buf[n] = '\0';
  return buf;
}

void sel_fprint_time_set(FILE* out, std::int32_t old_time, std::int32_t new_time) {
  char date[32];
  fprintf(out, "Set DXA time. Old time: ");
  fprintf(out, "%s. ", sel_ctime(old_time, date));
  fprintf(out, "New time: ");
  fprintf(out, "%s.", sel_ctime(new_time, date));
}

void sel_print_time_set(std::int32_t old_time, std::int32_t new_time) {
  sel_fprint_time_set(stdout, old_time, new_time);
}

void sel_fprint_rec(FILE* out, const SelRecord& rec) {
  char date[32];
  const std::string_view type = sel_type_label(rec);
  const std::string_view severity = sel_severity_label(rec);
  // The id, date and labels in one call: a listing prints thousands of lines, and each
  // call of the printf family costs more than the fields it formats.
  fprintf(out, "Record %d: %s [%.*s.%.*s]: ", sel_record_id(rec),
          sel_ctime(sel_timestamp(rec), date), static_cast<int>(type.size()), type.data(),
          static_cast<int>(severity.size()), severity.data());
  sel_fprint_rec_text(out, rec);
  fputc('\n', out);
}

void sel_print_rec(const SelRecord& rec) { sel_fprint_rec(stdout, rec); }
