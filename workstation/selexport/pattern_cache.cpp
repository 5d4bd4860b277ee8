#include "workstation/selexport/pattern_cache.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "decode/record_text.h"
#include "workstation/selexport/text_pattern.h"

namespace {

// A record's bytes past its id and its time: what its message depends on.
constexpr std::size_t kKeyFrom = 8;
constexpr std::size_t kKeySize = SEL_RECORD_SIZE - kKeyFrom;
// Direct-mapped: a slot a key, the newest one taking it.
constexpr std::size_t kSlots = 4096;
static_assert((kSlots & (kSlots - 1)) == 0);

struct Slot {
  bool used = false;
  std::array<unsigned char, kKeySize> key{};
  std::string pattern;
};

std::size_t slot_of(const unsigned char* key) {
  std::uint64_t h = 0;
  for (std::size_t i = 0; i < kKeySize; i += 8) {
    std::uint64_t w = 0;
    memcpy(&w, key + i, 8);
    h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
  }
  return static_cast<std::size_t>(h >> 52) & (kSlots - 1);
}

}  // namespace

std::string_view record_pattern(const SelRecord& rec) {
  static std::vector<Slot> slots(kSlots);
  const unsigned char* key = rec.bytes.data() + kKeyFrom;
  Slot& s = slots[slot_of(key)];
  if (!s.used || memcmp(s.key.data(), key, kKeySize) != 0) {
    s.pattern = text_pattern(record_text(rec));
    memcpy(s.key.data(), key, kKeySize);
    s.used = true;
  }
  return s.pattern;
}
