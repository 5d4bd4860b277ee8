// Text that came from outside (a file name, a collector's answer, an archive's member
// name, a snapshot's metadata) as it may be shown on a terminal or in the system log:
// every byte that a terminal could take as a command is written as \xHH: the C0 and
// C1 controls, DEL, and bytes that are not valid UTF-8. Everything else, backslashes
// included, stays as it is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// The most bytes that one byte of text becomes.
inline constexpr std::size_t VISIBLE_MAX = 4;

// Copies `text` into `buf` as it is shown, cut at a whole character to fit `size`
// (its NUL included); returns the length written.
std::size_t visible_copy(std::string_view text, char* buf, std::size_t size);

// Writes `text` to `out` as it is shown.
void visible_write(FILE* out, std::string_view text);
