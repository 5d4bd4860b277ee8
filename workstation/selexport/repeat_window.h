// The lines of one module that a collector wrote again: RELP delivers at least once, so a
// forwarder or a relay that reconnects sends again what was not yet answered (a window
// of up to a hundred messages, or what a relay's queue held). A line whose record (its
// 64 bytes) equals one of the last REPEAT_WINDOW lines kept of its host is such a
// repeat. Memory grows with the lines kept, up to the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/sel_record.h"

inline constexpr std::size_t REPEAT_WINDOW = 1000;

class RepeatWindow {
 public:
  // Whether `key` (a record's bytes, or a report's, told apart by `kind`) equals one of
  // the last REPEAT_WINDOW keys kept. If not, it is kept, and the oldest one leaves.
  bool repeat(const SelRecord& key, std::uint8_t kind);

 private:
  std::uint32_t find(std::uint64_t hash, const SelRecord& key, std::uint8_t kind) const;
  void insert(std::uint64_t hash, std::uint32_t at);
  void erase(std::uint32_t at);
  void grow();

  // The keys kept, oldest at next_ once the ring is full, with their kinds and hashes.
  std::vector<SelRecord> keys_;
  std::vector<std::uint8_t> kinds_;
  std::vector<std::uint64_t> hashes_;
  std::size_t next_ = 0;
  // Open addressing with linear probing: 1 + a key's place in the ring, 0 for none; at
  // least twice as many slots as keys.
  std::vector<std::uint16_t> slots_;
};
static_assert(REPEAT_WINDOW < UINT16_MAX);
