// The records that sel-inject sends to seld or writes as a store: the demo set, cycled,
// or a random sequence. Both are deterministic: record `index` of a sequence is always
// the same record, so a test can tell which records a store must hold.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/sel_record.h"
#include "lib/status.h"
#include "standins/inject/scenario.h"

// Record `index` of the random sequence of `seed`: an event type of 0 to 15, a severity
// of 0 to 5, event version 0 (1 in about one record of eight), random payload bytes,
// and the timestamp 1000000000 + (seed mod 1000) x 1000000 + index, so that records of
// different seeds (below 1000) and indexes (below 1000000) never share a date. Its
// record_id is 0.
SelRecord inject_random_record(std::uint32_t seed, std::uint32_t index);

// A sequence of records: the demo set cycled from its record `start` (with timestamps
// a minute apart), the random sequence of `seed`, or a scenario's records; `count`
// records long.
struct InjectSource {
  bool demo = false;
  std::uint32_t count = 0;
  std::uint32_t start_or_seed = 0;
  std::vector<SelRecord> demo_set;  // filled by inject_demo_source
  std::vector<SelRecord> listed;    // a scenario's, as they are
};

InjectSource inject_demo_source(std::uint32_t count, std::uint32_t start);
InjectSource inject_random_source(std::uint32_t count, std::uint32_t seed);
InjectSource inject_scenario_source(const Scenario& scenario);
// The size of the demo set, the count of `sel-inject demo` without one.
std::uint32_t inject_demo_size();

SelRecord inject_record(const InjectSource& source, std::uint32_t index);

// Writes a store of the sequence's newest min(count, 4000) records into `dir` (made if
// missing), its ring starting at `oldest_file`. seld, which drops a whole file at a
// time, keeps the newest 3001 to 4000 once its ring has wrapped: the same records as
// the end of this store. What failed: the directory's creation (open) or the store's
// writing (store_write).
Status inject_offline(const char* dir, int oldest_file, const InjectSource& source);

// Sends the sequence to seld's queue in requests of up to `batch` records, pausing
// `delay_ms` milliseconds after each but the last. A send that fails (logged) stops it:
// Step::write, `value` the records sent before.
Status inject_send(const InjectSource& source, int batch, int delay_ms);
