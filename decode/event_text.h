// Small pieces shared by the event decoders: code/text tables and their lookup.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// One row of a table that maps an event's code to its text. Codes are compared as the
// 32 bits of the record's word, whether the field is signed or not.
struct SelCodeText {
  std::uint32_t code;
  std::string_view text;
};

// The text of `code`, or an empty view when the table has no row for it.
template <std::size_t N>
constexpr std::string_view sel_find_text(const std::array<SelCodeText, N>& table,
                                         std::uint32_t code) {
  for (const SelCodeText& row : table) {
    if (row.code == code) return row.text;
  }
  return {};
}

// The text of `index` in a table indexed from 0, or an empty view when out of range.
template <std::size_t N>
constexpr std::string_view sel_index_text(const std::array<std::string_view, N>& table,
                                          std::uint32_t index) {
  return index < N ? table[index] : std::string_view{};
}

inline void sel_put(FILE* out, std::string_view text) {
  // Output, as printf: a failed write has nowhere to be reported.
  if (!text.empty()) (void)fwrite(text.data(), 1, text.size(), out);
}
