// Integers as "%u" and "%d" write them, into a buffer: a line of thousands of records
// would spend more on the printf family's calls than on all the fields it formats.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

// "00" to "99": two digits at a time halve the divisions.
inline constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> t{};
  for (std::size_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();
static_assert(kDigitPairs[94] == '4' && kDigitPairs[95] == '7');

inline constexpr std::array<std::uint32_t, 9> kPowersOf10{
    10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// Writes the digits of `value` at `out` and returns their end (at most 10 characters).
inline char* put_unsigned(char* out, std::uint32_t value) {
  std::size_t n = 1;
  while (n < 10 && value >= kPowersOf10[n - 1]) ++n;
  char* const end = out + n;
  char* p = end;
  for (; value >= 100; value /= 100) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[2 * std::size_t{value % 100}], 2);
  }
  if (value >= 10) {
    std::memcpy(p - 2, &kDigitPairs[2 * std::size_t{value}], 2);
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return end;
}

// A minus sign, then the digits of the magnitude, which for the most negative value
// only the unsigned type holds (at most 11 characters).
inline char* put_decimal(char* out, std::int32_t value) {
  auto magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0U - magnitude;
  }
  return put_unsigned(out, magnitude);
}
