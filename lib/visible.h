// Text that came from outside (a file name, a collector's answer, an archive's member
// name, a snapshot's metadata) as it may be shown on a terminal or in the system log:
// every byte that a terminal could take as a command is written as \xHH: the C0 and
// C1 controls, DEL, and bytes that are not valid UTF-8. The characters that change how
// the text around them is laid out (text_char_hidden) are shown as marks, "<U+202E>",
// so that no name reads backwards. Everything else, backslashes included, stays as it
// is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// The bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) and the line and paragraph separators (U+2028, U+2029): a name could show
// "rat.71-axd" for "dxa-17.tar".
constexpr bool text_char_hidden(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// The most bytes that one byte of text becomes: \xHH, or a mark of eight for a
// character of two bytes.
inline constexpr std::size_t VISIBLE_MAX = 4;

// Copies `text` into `buf` as it is shown, cut at a whole character to fit `size`
// (its NUL included); returns the length written.
std::size_t visible_copy(std::string_view text, char* buf, std::size_t size);

// Writes `text` to `out` as it is shown.
void visible_write(FILE* out, std::string_view text);
