// Writes a SEL store as `seld` leaves it: the info file and the four record files of
// the ring, big-endian, into any directory (the module's /mnt/logs/sel or a copy).
//
// A ring of `rec_count` records starts at position 0 of `oldest_file`; every file from
// there up to the newest is full (1000 records), the newest holds the rest. The record
// at position p of file f has the id f * 1000 + p + 1, so the oldest record's id is
// oldest_file * 1000 + 1 as the readers assume.
#pragma once

#include <cstdint>

#include "lib/sel_record.h"

// The record with ring index `index` (0 is the oldest); its record_id is set by the writer.
using RecordSource = SelRecord (*)(int index, void* ctx);

struct StoreShape {
  std::int32_t version;
  std::int32_t rec_count;    // 0 to 4000
  std::int32_t oldest_file;  // 0 to 3
};

// The file that holds the newest record, and that record's id.
std::int32_t store_latest_file(const StoreShape& shape);
std::int32_t store_latest_id(const StoreShape& shape);

// Writes "<dir>/sel.inf" with the five numbers. Returns 0, or -1 (errno set).
int store_write_info(const char* dir, std::int32_t version, std::int32_t rec_count,
                     std::int32_t oldest_file, std::int32_t latest_file, std::int32_t latest_id);

// Writes the info file and all four record files (those outside the ring empty).
// Returns 0, or -1 (errno set).
int store_write(const char* dir, const StoreShape& shape, RecordSource source, void* ctx);

// A record that every reader prints without a decoder: event type 15, severity 0,
// the ring index as its timestamp.
SelRecord store_plain_record(int index, void* ctx);
