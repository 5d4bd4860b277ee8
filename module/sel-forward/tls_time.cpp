#include "module/sel-forward/tls_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>

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
  // The civil date of a day count, with years of 400 (146097 days) starting on 1 March
  // so that the leap day comes last.
  const long z = static_cast<long>(t.days) - 60;  // days since 1 March 0
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long day = doy - (153 * mp + 2) / 5 + 1;
  const long month = mp < 10 ? mp + 3 : mp - 9;
  const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  const std::uint32_t s = t.seconds % kDaySeconds;
  // Written whole first: the compiler cannot tell that each number fits its field.
  char text[64];
  (void)snprintf(text, sizeof text, "%04ld-%02ld-%02ldT%02u:%02u:%02uZ", year % 10000, month, day,
                 s / 3600, s / 60 % 60, s % 60);
  memcpy(out, text, FWD_TLS_TIME_LEN);
  out[FWD_TLS_TIME_LEN] = '\0';
}
