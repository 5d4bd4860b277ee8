#include "workstation/selexport/text_pattern.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }
bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool hex(char c) { return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool word(char c) { return digit(c) || letter(c) || c == '_'; }

// "Fri Dec  5 16:00:00 2025": the 24 characters of a ctime date, checked by their kinds.
constexpr std::string_view kDateShape = "aaa_aaa_#d_dd:dd:dd_dddd";
constexpr std::size_t kDateLength = kDateShape.size();
static_assert(kDateLength == 24);

bool date_at(std::string_view s, std::size_t at) {
  if (s.size() - at < kDateLength) return false;
  for (std::size_t i = 0; i < kDateLength; ++i) {
    const char c = s[at + i];
    const char want = kDateShape[i];
    const bool fits = want == 'a'   ? letter(c)
                      : want == 'd' ? digit(c)
                      : want == '#' ? digit(c) || c == ' '
                      : want == '_' ? c == ' '
                                    : c == want;
    if (!fits) return false;
  }
  return true;
}

// "<U+202E>": how a hidden character is shown; its digits are no number.
constexpr std::size_t kMarkLength = 8;
bool mark_at(std::string_view s, std::size_t at) {
  if (s.size() - at < kMarkLength || s.substr(at, 3) != "<U+" || s[at + 7] != '>') return false;
  for (std::size_t i = 3; i < 7; ++i) {
    if (!hex(s[at + i])) return false;
  }
  return true;
}

// The length of the hex code "0x1f" at `at`, or 0.
std::size_t hex_at(std::string_view s, std::size_t at) {
  if (s.size() - at < 3 || s[at] != '0' || (s[at + 1] != 'x' && s[at + 1] != 'X') ||
      !hex(s[at + 2])) {
    return 0;
  }
  std::size_t end = at + 2;
  while (end < s.size() && hex(s[end])) ++end;
  return end - at;
}

}  // namespace

int text_masks(std::string_view text, TextMask (&masks)[TEXT_MASKS_MAX]) {
  int n = 0;
  std::size_t at = 0;
  while (at < text.size() && n < TEXT_MASKS_MAX) {
    const bool starts_word = at == 0 || !word(text[at - 1]);
    std::size_t skip = 1;
    if (starts_word && date_at(text, at)) {
      masks[n++] = {at, kDateLength, true};
      skip = kDateLength;
    } else if (mark_at(text, at)) {
      skip = kMarkLength;
    } else if (starts_word && hex_at(text, at) != 0) {
      skip = hex_at(text, at);
    } else if (starts_word && digit(text[at])) {
      skip = 0;
      while (at + skip < text.size() && digit(text[at + skip])) ++skip;
      masks[n++] = {at, skip, false};
    }
    at += skip;
  }
  return n;
}

std::string text_pattern(std::string_view text) {
  TextMask masks[TEXT_MASKS_MAX];
  const int n = text_masks(text, masks);
  std::string out;
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) {
    out.append(text.substr(at, masks[i].start - at));
    out.append(masks[i].date ? "<date>" : "#");
    at = masks[i].start + masks[i].length;
  }
  out.append(text.substr(at));
  return out;
}
