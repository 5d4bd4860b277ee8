// Times as certificates and BearSSL count them, for what sel-forward says of a
// certificate's dates: days since 1 January of the year 0 (of the proleptic Gregorian
// calendar) and seconds into the day, UTC. Years past 2038 included, also where the C
// library's time is 32 bits wide.
#pragma once

#include <cstddef>
#include <cstdint>

struct FwdTlsTime {
  std::uint32_t days;
  std::uint32_t seconds;
};
struct FwdTlsValidity {
  FwdTlsTime from, to;
};

// The time of the module's clock.
FwdTlsTime fwd_tls_now();
// Whether `a` is earlier than `b`.
bool fwd_tls_before(const FwdTlsTime& a, const FwdTlsTime& b);
// Whether `t` is within `v`, both ends included.
bool fwd_tls_within(const FwdTlsValidity& v, const FwdTlsTime& t);
// Whole days from `a` to `b` (negative when b is earlier).
long fwd_tls_days_between(const FwdTlsTime& a, const FwdTlsTime& b);
// "2026-03-01T12:00:00Z" into `out` (at least FWD_TLS_TIME_LEN + 1 bytes).
inline constexpr std::size_t FWD_TLS_TIME_LEN = 20;
void fwd_tls_time_text(const FwdTlsTime& t, char* out);
