#include "workstation/selexport/repeat_window.h"

#include <cstring>

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// The key's eight words mixed: a repeat of a line is found by one probe or two.
std::uint64_t hash_of(const SelRecord& key, std::uint8_t kind) {
  std::uint64_t h = kind;
  for (std::size_t i = 0; i < SEL_RECORD_SIZE; i += 8) {
    std::uint64_t w = 0;
    memcpy(&w, key.bytes.data() + i, 8);
    h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 31;
  }
  return h;
}

}  // namespace

std::uint32_t RepeatWindow::find(std::uint64_t hash, const SelRecord& key,
                                 std::uint8_t kind) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const std::uint32_t at = slots_[i] - 1U;
    if (hashes_[at] == hash && kinds_[at] == kind && keys_[at].bytes == key.bytes) return at;
  }
  return kNone;
}

void RepeatWindow::insert(std::uint64_t hash, std::uint32_t at) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = static_cast<std::size_t>(hash) & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<std::uint16_t>(at + 1);
}

// Takes the key at `at` out of the slots, moving back the keys after it that their own
// slot would no longer lead to.
void RepeatWindow::erase(std::uint32_t at) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = static_cast<std::size_t>(hashes_[at]) & mask;
  while (slots_[hole] != at + 1) hole = (hole + 1) & mask;
  for (std::size_t j = (hole + 1) & mask; slots_[j] != 0; j = (j + 1) & mask) {
    const std::size_t home = static_cast<std::size_t>(hashes_[slots_[j] - 1U]) & mask;
    // Whether home lies cyclically in (hole, j]: then the key stays where it is.
    const bool stays = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (!stays) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = 0;
}

void RepeatWindow::grow() {
  std::size_t size = slots_.empty() ? 64 : 2 * slots_.size();
  while (size < 2 * (keys_.size() + 1)) size *= 2;
  slots_.assign(size, 0);
  for (std::uint32_t at = 0; at < keys_.size(); ++at) insert(hashes_[at], at);
}

bool RepeatWindow::repeat(const SelRecord& key, std::uint8_t kind) {
  const std::uint64_t hash = hash_of(key, kind);
  if (!slots_.empty() && find(hash, key, kind) != kNone) return true;
  if (keys_.size() < REPEAT_WINDOW) {
    if (2 * (keys_.size() + 1) > slots_.size()) grow();
    keys_.push_back(key);
    kinds_.push_back(kind);
    hashes_.push_back(hash);
    insert(hash, static_cast<std::uint32_t>(keys_.size() - 1));
    return false;
  }
  const auto at = static_cast<std::uint32_t>(next_);
  erase(at);
  keys_[at] = key;
  kinds_[at] = kind;
  hashes_[at] = hash;
  insert(hash, at);
  next_ = (next_ + 1) % REPEAT_WINDOW;
  return false;
}
