// What makes two messages "the same": a record's text with its decimal numbers and its
// dates masked, so that "Fan 3 failed" and "Fan 4 failed" are one message. Hex codes
// ("Agent 0x51") are kept: they name things, not amounts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One masked part of a text: `length` bytes from `start`, a date or a number.
struct TextMask {
  std::size_t start;
  std::size_t length;
  bool date;
};
inline constexpr int TEXT_MASKS_MAX = 32;  // past these, the rest of a text is kept as it is

// The masks of `s`, in order: each date as `sel` prints it ("Fri Dec  5 16:00:00
// 2025"), each run of decimal digits that begins a word (not one inside "eth0" or a hex
// code "0x1f"), and never a mark of a hidden character ("<U+202E>"). Returns how many.
int text_masks(std::string_view text, TextMask (&masks)[TEXT_MASKS_MAX]);

// The text with its masks written as "#" (a number) and "<date>".
std::string text_pattern(std::string_view text);
