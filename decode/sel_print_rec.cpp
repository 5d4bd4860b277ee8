#include "decode/sel_print.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "decode/sel_date.h"
#include "decode/sel_decoders.h"
#include "decode/sel_record.h"
#include "lib/decimal.h"

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
static_assert(kSeverities.size() == SEL_SEVERITY_LABELS);

constexpr std::string_view kUnknownType = "unknown-type";
constexpr std::string_view kUnknownSeverity = "unknown-severity";

// Labels go into the record line's head and, as they are, into other formats' fields.
constexpr bool fits(std::string_view label) {
  return label.size() <= SEL_LABEL_MAX && std::all_of(label.begin(), label.end(), [](char c) {
           return c >= ' ' && c <= '~' && c != '"' && c != '\\' && c != ']';
         });
}
static_assert(std::all_of(kEventTypes.begin(), kEventTypes.end(),
                          [](const EventType& t) { return fits(t.label); }));
static_assert(std::all_of(kSubLabels.begin(), kSubLabels.end(), fits));
static_assert(std::all_of(kSeverities.begin(), kSeverities.end(), fits));
static_assert(fits(kUnknownType) && fits(kUnknownSeverity));

constexpr std::string_view kRecordWord = "Record ";
constexpr std::string_view kTimeSetOld = "Set DXA time. Old time: ";
constexpr std::string_view kTimeSetNew = "New time: ";
constexpr std::size_t kDecimalMax = 11;  // "-2147483648"

char* put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

void write_all(FILE* out, const char* begin, const char* end) {
  // Output, as printf: a failed write has nowhere to be reported.
  (void)fwrite(begin, 1, static_cast<std::size_t>(end - begin), out);
}

}  // namespace

std::string_view sel_type_label(const SelRecord& rec) {
  const std::size_t type = sel_event_type(rec);
  if (type == SEL_TYPE_GENERIC_TEXT) {
    const std::size_t sub = sel_u8(rec, SEL_OFF_SUBLABEL);
    return sub < kSubLabels.size() ? kSubLabels[sub] : kUnknownType;
  }
  return type < kEventTypes.size() ? kEventTypes[type].label : kUnknownType;
}

std::string_view sel_severity_name(std::uint32_t severity) {
  return severity < kSeverities.size() ? kSeverities[severity] : kUnknownSeverity;
}

std::string_view sel_severity_label(const SelRecord& rec) {
  return sel_severity_name(sel_severity(rec));
}

void sel_print_rec_text(const SelRecord& rec, FILE* out) {
  const std::size_t event_type = sel_event_type(rec);
  if (event_type < kEventTypes.size()) {
    kEventTypes[event_type].decode(out, rec);
  } else {
    fputs("Don't know how to decode this record.", out);
  }
}

void sel_print_time_set(std::int32_t old_time, std::int32_t new_time, FILE* out) {
  // Put together and written at once, as the record line's head is.
  char text[kTimeSetOld.size() + kTimeSetNew.size() + 2 * SEL_DATE_LEN + 4];
  char* end = put(text, kTimeSetOld);
  end = put(sel_date(old_time, end), ". ");
  end = put(end, kTimeSetNew);
  end = put(sel_date(new_time, end), ".");
  write_all(out, text, end);
}

void sel_print_rec(const SelRecord& rec, FILE* out) {
  // The head "Record %d: <date> [<type>.<severity>]: " is put together here and written
  // with one call: a listing prints thousands of lines, and a call of the printf family
  // costs more than all the fields it would format.
  char head[kRecordWord.size() + kDecimalMax + SEL_DATE_LEN + 2 * SEL_LABEL_MAX + 8];
  const std::int32_t record_id = sel_record_id(rec);
  char* end = put_decimal(put(head, kRecordWord), record_id);
  end = put(sel_date(sel_timestamp(rec), put(end, ": ")), " [");
  end = put(put(put(end, sel_type_label(rec)), "."), sel_severity_label(rec));
  end = put(end, "]: ");
  write_all(out, head, end);
  sel_print_rec_text(rec, out);
  fputc('\n', out);
}
