// Where a module's clock went back: records in ring order whose time is before that of
// the record before them (a flat battery or a firmware reset dates records 2001 after
// others of 2025). A warning for the reader of the times, not a fault of the store.
#pragma once

#include <cstdint>

struct TimeBack {
  int times = 0;
  std::int32_t first_id = 0;      // the first record whose time went back
  std::int32_t first_time = 0;    // its time
  std::int32_t first_after = 0;   // the time of the record before it
  int first_ordinal = -1;         // its place in ring order
  bool started = false;
  std::int32_t last = 0;          // the time of the record before the next
};

// The next record in ring order (its place among those given, its id and its time).
inline void time_back_add(TimeBack* b, int ordinal, std::int32_t id, std::int32_t time) {
  if (b->started && time < b->last && b->times++ == 0) {
    b->first_id = id;
    b->first_time = time;
    b->first_after = b->last;
    b->first_ordinal = ordinal;
  }
  b->started = true;
  b->last = time;
}
