// Writes a SEL store as `seld` leaves it, the info file and the four record files of
// the ring, into any directory (the module's /mnt/logs/sel or a copy), for tests and
// for sel-inject's offline stores.
#pragma once

#include "decode/sel_record.h"
#include "lib/status.h"
#include "store/sel_format.h"

// The record with ring index `index` (0 is the oldest); its record_id is set by the writer.
using RecordSource = SelRecord (*)(int index, void* ctx);

// Writes the info file (as given, so that a test can make it disagree with the ring)
// and all four record files: the ring that `rec_count` and `oldest_file` describe, each
// record with its slot's id, or with `first_id` numbering on from the oldest record
// across the wrap (as a daemon may number them); files outside the ring are empty.
// What failed: the open or the write of a record file (its path in `dir` too long:
// too_long), or the info file's (write).
Status store_write(const char* dir, const SelInfo& info, RecordSource source, void* ctx,
                   std::uint32_t first_id = 0);

// A record that every reader prints without a decoder: event type 15, severity 0,
// the ring index as its timestamp.
SelRecord store_plain_record(int index, void* ctx);
