#include "module/sel-forward/tls_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "decode/sel_date.h"

namespace {

constexpr std::uint32_t kDaysTo1970 = 719528;  // from 1 January 0 to 1 January 1970
constexpr std::uint32_t kDaySeconds = 86400;

long long seconds_of(const FwdTlsTime& t) {
  return static_cast<long long>(t.days) * kDaySeconds + t.seconds;
}

}  // namespace

FwdTlsTime fwd_tls_now() {
  // A clock set before 1970 is taken as 1970.
  const long long now = time(nullptr);
  const auto since = static_cast<unsigned long long>(now > 0 ? now : 0);
  return {static_cast<std::uint32_t>(since / kDaySeconds + kDaysTo1970),
          static_cast<std::uint32_t>(since % kDaySeconds)};
}

bool fwd_tls_before(const FwdTlsTime& a, const FwdTlsTime& b) {
  return seconds_of(a) < seconds_of(b);
}

bool fwd_tls_within(const FwdTlsValidity& v, const FwdTlsTime& t) {
  return !fwd_tls_before(t, v.from) && !fwd_tls_before(v.to, t);
}

long fwd_tls_days_between(const FwdTlsTime& a, const FwdTlsTime& b) {
  return static_cast<long>((seconds_of(b) - seconds_of(a)) / kDaySeconds);
}

void fwd_tls_time_text(const FwdTlsTime& t, char* out) {
  // A certificate's day, counted from 1970 as the record dates' calendar counts them.
  char text[64];
  char* at = sel_iso_date(static_cast<std::int32_t>(t.days) - static_cast<std::int32_t>(kDaysTo1970), text);
  const std::uint32_t s = t.seconds % kDaySeconds;
  // Written whole first: the compiler cannot tell that each number fits its field.
  (void)snprintf(at, sizeof text - SEL_ISO_DATE_LEN, "T%02u:%02u:%02uZ", s / 3600, s / 60 % 60, s % 60);
  memcpy(out, text, FWD_TLS_TIME_LEN);
  out[FWD_TLS_TIME_LEN] = '\0';
}
