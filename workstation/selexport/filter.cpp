#include "workstation/selexport/filter.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "decode/sel_print.h"

namespace {

constexpr std::uint32_t kSeverities = 5;  // "normal" to "emergency"
// Records that show every type label: each event type, the sub-labels of the generic
// type (its byte 16: 0, 1, other) and a type past the table.
constexpr int kLabelledTypes = SEL_TYPE_COUNT + 3;

SelRecord labelled(int i) {
  SelRecord rec{};
  const int type = i < SEL_TYPE_COUNT        ? i
                   : i == kLabelledTypes - 1 ? SEL_TYPE_COUNT
                                             : SEL_TYPE_GENERIC_TEXT;
  store_be16(rec.bytes.data() + SEL_OFF_EVENT_TYPE, static_cast<std::uint16_t>(type));
  rec.bytes[SEL_OFF_SUBLABEL] = static_cast<unsigned char>(i < SEL_TYPE_COUNT ? 0 : i - SEL_TYPE_COUNT + 1);
  return rec;
}

SelRecord with_severity(std::uint32_t severity) {
  SelRecord rec{};
  store_be32(rec.bytes.data() + SEL_OFF_SEVERITY, severity);
  return rec;
}

bool same_label(std::string_view label, const char* text) {
  return label.size() == strlen(text) && strncasecmp(label.data(), text, label.size()) == 0;
}

// Each label once, in the order of the table.
void print_labels(FILE* out, int n, std::string_view (*label)(int)) {
  for (int i = 0; i < n; ++i) {
    bool seen = false;
    for (int j = 0; j < i; ++j) seen = seen || label(j) == label(i);
    if (!seen)
      fprintf(out, "%s%.*s", i == 0 ? "" : ", ", static_cast<int>(label(i).size()),
              label(i).data());
  }
}

}  // namespace

bool filter_parse_time(const char* text, std::int64_t* when) {
  char* end = nullptr;
  errno = 0;
  const long long seconds = strtoll(text, &end, 10);
  if ((isdigit(static_cast<unsigned char>(text[0])) != 0 || text[0] == '-') && *end == '\0' &&
      errno == 0) {
    *when = seconds;
    return true;
  }
  // Exactly YYYY-MM-DDTHH:MM:SSZ: twenty characters, digits where the form has them.
  constexpr std::string_view kForm = "0000-00-00T00:00:00Z";
  if (strlen(text) != kForm.size()) return false;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kForm[i] == '0' ? !digit : text[i] != kForm[i]) return false;
  }
  const auto number = [&](std::size_t at, std::size_t width) {
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  using namespace std::chrono;
  const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                            day{static_cast<unsigned>(number(8, 2))}};
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return false;
  const int day_seconds = hour * 3600 + minute * 60 + second;
  *when =
      static_cast<std::int64_t>(sys_days{date}.time_since_epoch().count()) * 86400 + day_seconds;
  return true;
}

bool filter_parse_severity(const char* text, std::uint32_t* severity) {
  for (std::uint32_t s = 0; s < kSeverities; ++s) {
    if (same_label(sel_severity_label(with_severity(s)), text)) {
      *severity = s;
      return true;
    }
  }
  return false;
}

bool filter_parse_type(const char* text, ExportFilter* filter) {
  char* end = nullptr;
  errno = 0;
  const long number = strtol(text, &end, 10);
  if (isdigit(static_cast<unsigned char>(text[0])) != 0 && *end == '\0' && errno == 0 &&
      number <= UINT16_MAX) {
    filter->type_number = static_cast<int>(number);
    filter->type_label = nullptr;
    return true;
  }
  for (int i = 0; i < kLabelledTypes; ++i) {
    if (same_label(sel_type_label(labelled(i)), text)) {
      filter->type_number = -1;
      filter->type_label = text;
      return true;
    }
  }
  return false;
}

void filter_print_types(FILE* out) {
  print_labels(out, kLabelledTypes, [](int i) { return sel_type_label(labelled(i)); });
}

void filter_print_severities(FILE* out) {
  print_labels(out, static_cast<int>(kSeverities), [](int i) {
    return sel_severity_label(with_severity(static_cast<std::uint32_t>(i)));
  });
}

bool filter_match(const ExportFilter& filter, const SelRecord& rec) {
  const std::int64_t when = sel_timestamp(rec);
  if (when < filter.since || when > filter.until) return false;
  if (sel_severity(rec) < filter.least_severity) return false;
  if (filter.type_number >= 0 && sel_event_type(rec) != filter.type_number) return false;
  return filter.type_label == nullptr || same_label(sel_type_label(rec), filter.type_label);
}
