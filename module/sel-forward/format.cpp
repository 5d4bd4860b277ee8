#include "module/sel-forward/format.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "decode/sel_print.h"
#include "module/sel-forward/follow.h"
#include "common/rows.h"
#include "decode/record_text.h"

namespace {

constexpr int kFacilityUser = 1;
// The structured data's id: ours, under the private enterprise number it names.
constexpr const char* kSdId = "sel@32473";
constexpr int kWarning = 4;

// By record severity: normal, notice, warning, critical, emergency. A record's
// emergency is the appliance's, not the collector's: it goes as alert, which a
// collector does not broadcast to every terminal as it does an emergency.
constexpr auto kSyslogSeverities = std::to_array<int>({6, 5, 4, 2, 1});
static_assert(kSyslogSeverities.size() == 5);
constexpr int kUnknownSeverity = 5;  // notice

// Lets `write` fill `buf` through a stream; returns the length, cut to FWD_MSG_MAX - 1.
template <typename Write>
std::size_t into(char* buf, Write write) {
  FILE* out = fmemopen(buf, FWD_MSG_MAX, "w");
  if (out == nullptr) return 0;
  write(out);
  const long len = ftell(out);
  (void)fclose(out);  // a memory stream: cut at its end, nothing to lose
  return len < 0 ? 0
                 : (static_cast<std::size_t>(len) < FWD_MSG_MAX ? static_cast<std::size_t>(len)
                                                                : FWD_MSG_MAX - 1);
}

std::string_view without_line_end(const char* buf, std::size_t len) {
  return {buf, len > 0 && buf[len - 1] == '\n' ? len - 1 : len};
}

}  // namespace

int fwd_syslog_severity(std::uint32_t severity) {
  return severity < kSyslogSeverities.size() ? kSyslogSeverities[severity] : kUnknownSeverity;
}

std::size_t fwd_format_record(char* buf, FwdFormat format, const char* host, const SelRecord& rec) {
  const std::size_t len = into(buf, [&](FILE* out) {
    switch (format) {
      case FwdFormat::jsonl: write_jsonl(out, rec); break;
      case FwdFormat::syslog: {
        char time[32];
        iso_time(sel_timestamp(rec), time);
        // The labels are constants without '"', '\' or ']', which a value would escape.
        const std::string_view type = sel_type_label(rec);
        const std::string_view severity = sel_severity_label(rec);
        fprintf(out,
                "<%d>1 %s %s sel - - [%s id=\"%d\" type=\"%u\" type_label=\"%.*s\" "
                "severity=\"%.*s\"] ",
                kFacilityUser * 8 + fwd_syslog_severity(sel_severity(rec)), time, host, kSdId,
                sel_record_id(rec), sel_event_type(rec), static_cast<int>(type.size()), type.data(),
                static_cast<int>(severity.size()), severity.data());
        sel_print_rec_text(rec, out);
        break;
      }
    }
  });
  return without_line_end(buf, len).size();
}

std::size_t fwd_format_loss(char* buf, FwdFormat format, const char* host, std::int32_t now,
                            const FwdPlan& plan) {
  const char* reason = plan.lost == FWD_CLEARED ? "cleared" : "overrun";
  const char* at_least = plan.at_least ? "true" : "false";
  char text[128];
  if (plan.lost == FWD_CLEARED) {
    (void)snprintf(text, sizeof text,
                   "The SEL was cleared; at least %d records in it had not been sent", plan.missed);
  } else {
    (void)snprintf(text, sizeof text,
                   "%s%d records were dropped from the SEL before they could "
                   "be sent",
                   plan.at_least ? "At least " : "", plan.missed);
  }
  char time[32];
  iso_time(now, time);
  return into(buf, [&](FILE* out) {
    switch (format) {
      case FwdFormat::jsonl:
        fprintf(out,
                "{\"missed\":%d,\"at_least\":%s,\"reason\":\"%s\",\"time\":\"%s\","
                "\"timestamp\":%d,\"text\":\"%s\"}",
                plan.missed, at_least, reason, time, now, text);
        break;
      case FwdFormat::syslog:
        fprintf(out,
                "<%d>1 %s %s sel - missed [%s missed=\"%d\" at_least=\"%s\" "
                "reason=\"%s\"] %s",
                kFacilityUser * 8 + kWarning, time, host, kSdId, plan.missed, at_least, reason,
                text);
        break;
    }
  });
}

std::size_t fwd_frame(char* dst, std::size_t room, FwdFraming framing, std::string_view msg) {
  std::size_t n = 0;
  const auto put = [&](std::string_view s) {
    if (n <= room && s.size() <= room - n) memcpy(dst + n, s.data(), s.size());
    n += s.size();
  };
  switch (framing) {
    case FwdFraming::octets: {
      char count[24];
      (void)snprintf(count, sizeof count, "%zu ", msg.size());
      put(count);
      put(msg);
      break;
    }
    case FwdFraming::none: put(msg); break;
    case FwdFraming::lines:
      for (std::size_t at = 0; at < msg.size();) {
        const std::size_t end = std::min(msg.find('\n', at), msg.size());
        // Not substr(): its range check would link in libstdc++.
        put(std::string_view(msg.data() + at, end - at));
        if (end < msg.size()) put("#012");
        at = end + 1;
      }
      put("\n");
      break;
  }
  return n <= room ? n : 0;
}

void fwd_host_name(char (&buf)[FWD_HOST_MAX]) {
  if (gethostname(buf, sizeof buf - 1) != 0) buf[0] = '\0';
  buf[sizeof buf - 1] = '\0';
  bool ok = buf[0] != '\0';
  for (const char* p = buf; *p != '\0'; ++p) ok = ok && *p > ' ' && *p < 127;
  if (!ok) memcpy(buf, "-", 2);
}
