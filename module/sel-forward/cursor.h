// The forwarder's cursor: the last record that the collector accepted, and the ring in
// which it was last seen, kept in a state file that is replaced durably.
//
// Ids follow the slot and come back as the ring turns, so a record is known by its id,
// its time and a checksum of its 64 bytes; the ring seen (record count and oldest file)
// tells a cleared store from one that moved on.
#pragma once

#include <cstdint>
#include <cstdio>

#include "lib/sel_record.h"

struct FwdCursor {
  std::int32_t id;           // slot id of the last record sent; 0: none of the ring
  std::int32_t time;         // its timestamp
  std::uint32_t sum;         // its checksum (fwd_record_sum)
  std::int32_t seen_count;   // the ring as last seen with the cursor in it
  std::int32_t seen_oldest;  // -1: no ring seen yet, everything in the store is new
};

// A fresh start: every record in the store is to be sent.
inline constexpr FwdCursor FWD_CURSOR_FRESH{0, 0, 0, 0, -1};

// FNV-1a over the record's 64 bytes.
std::uint32_t fwd_record_sum(const SelRecord& rec);

// The cursor after `rec` has been accepted, in the ring of `rec_count` records from
// `oldest_file`.
FwdCursor fwd_cursor_at(const SelRecord& rec, std::int32_t rec_count, std::int32_t oldest_file);

// Reads the state file. 0; 1 when there is none (`c` is then FWD_CURSOR_FRESH); -1 with
// errno set when it cannot be read, or EINVAL when it is not a cursor of ours.
int fwd_cursor_read(const char* path, FwdCursor* c);
int fwd_cursor_parse(FILE* in, FwdCursor* c);  // 0, or -1 (EINVAL)

// Replaces the state file durably (a power cut leaves the old or the new cursor).
// 0, or -1 with errno set.
int fwd_cursor_write(const char* path, const FwdCursor& c);
