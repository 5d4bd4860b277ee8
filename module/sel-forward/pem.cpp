#include "module/sel-forward/pem.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";

// What a character is to base64: its value (0 to 63), or one of these.
enum : unsigned char { kBlank = 64, kPad, kBad };

constexpr std::array<unsigned char, 256> make_table() {
  std::array<unsigned char, 256> t{};
  for (auto& v : t) v = kBad;
  constexpr std::string_view digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    t[static_cast<unsigned char>(digits[i])] = static_cast<unsigned char>(i);
  }
  for (const char c : {' ', '\t', '\r', '\n'}) t[static_cast<unsigned char>(c)] = kBlank;
  t['='] = kPad;
  return t;
}
constexpr auto kTable = make_table();
static_assert(kTable['A'] == 0 && kTable['a'] == 26 && kTable['0'] == 52 && kTable['/'] == 63);
static_assert(kTable['-'] == kBad && kTable['\r'] == kBlank);

bool begins(std::string_view s, std::string_view with) {
  return s.size() >= with.size() && memcmp(s.data(), with.data(), with.size()) == 0;
}

// The line that starts at `at`, without its '\n'; `*next`: where the one after starts.
std::string_view line_at(std::string_view text, std::size_t at, std::size_t* next) {
  std::size_t end = text.find('\n', at);
  if (end == std::string_view::npos) end = text.size();
  *next = end < text.size() ? end + 1 : end;
  return {text.data() + at, end - at};
}

// The label of a line "-----BEGIN LABEL-----" (`kind` kBegin) or "-----END LABEL-----"
// (blanks may follow), or an empty view.
std::string_view boundary(std::string_view line, std::string_view kind) {
  if (!begins(line, kind)) return {};
  std::size_t end = line.size();
  while (end > kind.size() && kTable[static_cast<unsigned char>(line[end - 1])] == kBlank) --end;
  if (end < kind.size() + kDashes.size() + 1) return {};
  const std::string_view tail(line.data() + end - kDashes.size(), kDashes.size());
  if (tail != kDashes) return {};
  return {line.data() + kind.size(), end - kDashes.size() - kind.size()};
}

// The base64 of one block, line by line, into the room given.
struct Base64 {
  unsigned char* out = nullptr;
  std::size_t room = 0;
  std::size_t size = 0;
  std::uint32_t bits = 0;
  int held = 0;   // bits in `bits`
  int chars = 0;  // digits and padding taken
  int pads = 0;

  int take(std::string_view line) {
    // "Name: value": a header line of the old form of encrypted keys.
    if (line.find(':') != std::string_view::npos) return FWD_PEM_HEADERS;
    for (const char c : line) {
      const unsigned char v = kTable[static_cast<unsigned char>(c)];
      if (v == kBlank) continue;
      // Padding only at the end of a group of four, at most two; nothing after it.
      if (v == kBad || (v == kPad && chars % 4 < 2) || (v != kPad && pads > 0)) {
        return FWD_PEM_BAD_BASE64;
      }
      ++chars;
      if (v == kPad) {
        ++pads;
        continue;
      }
      bits = (bits << 6) | v;
      held += 6;
      if (held < 8) continue;
      held -= 8;
      if (size == room) return FWD_PEM_TOO_LARGE;
      out[size++] = static_cast<unsigned char>(bits >> held);
      bits &= (1U << held) - 1;
    }
    return 0;
  }
};

}  // namespace

int fwd_pem_next(std::string_view text, std::size_t* at, unsigned char* der, std::size_t room,
                 FwdPemBlock* block) {
  std::size_t next = 0;
  std::string_view label;
  for (; *at < text.size() && label.empty(); *at = next) {
    label = boundary(line_at(text, *at, &next), kBegin);
  }
  if (label.empty()) return FWD_PEM_NONE;
  Base64 b64{der, room};
  for (; *at < text.size(); *at = next) {
    const std::string_view line = line_at(text, *at, &next);
    if (begins(line, kEnd)) {
      if (boundary(line, kEnd) != label) return FWD_PEM_UNENDED;
      if (b64.chars % 4 != 0) return FWD_PEM_BAD_BASE64;
      *at = next;
      *block = FwdPemBlock{label, b64.size};
      return FWD_PEM_BLOCK;
    }
    const int fault = b64.take(line);
    if (fault != 0) return fault;
  }
  return FWD_PEM_UNENDED;
}
