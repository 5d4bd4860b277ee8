// The ring of record files as seld keeps it and every reader assumes it, and the info
// file's description of it: `rec_count` records (0 to 4000) from position 0 of
// `oldest_file` (0 to 3) on, every file up to the newest full, file 3 followed by file 0.
// This is the one place that does the ring's arithmetic; a reader or writer of ours asks
// here for every slot, ordinal, wrap and distance.
//
// Words used: a position is a record's place in its file (0 to 999); a slot is a place
// in the whole ring, file * 1000 + position (0 to 3999), which a record keeps while it
// is in the ring; an ordinal counts a record from the ring's oldest (0 ...), whatever
// ids the records carry.
#pragma once

#include <cstdint>

inline constexpr int SEL_FILES = 4;
inline constexpr int SEL_RECS_PER_FILE = 1000;
inline constexpr int SEL_MAX_RECS = SEL_FILES * SEL_RECS_PER_FILE;
// The fewest records that a ring holds once seld has dropped its oldest file: it drops
// one only when all four are full, so a ring that merely moved on holds at least these.
inline constexpr int SEL_RING_AFTER_DROP = SEL_MAX_RECS - SEL_RECS_PER_FILE;

// The info file's numbers, in its field order.
inline constexpr int SEL_INFO_FIELDS = 5;
struct SelInfo {
  std::int32_t version;
  std::int32_t rec_count;
  std::int32_t oldest_file;
  std::int32_t latest_file;
  std::int32_t latest_id;
  // Ours, beside the file's five: how many of them the file supplied. The fields it did
  // not supply keep what they held, so only this tells a file cut short from one whose
  // numbers are the ones it was read over.
  int fields_read;
};

// What a reader reads the info file over: a field the file does not supply stays outside
// every range, and no reader goes by it.
inline constexpr SelInfo SEL_INFO_UNREAD{-1, -1, -1, -1, -1, 0};

// The slot of position `pos` of file `file`, and back.
inline constexpr int sel_slot(int file, int pos) { return file * SEL_RECS_PER_FILE + pos; }
inline constexpr int sel_slot_file(int slot) { return slot / SEL_RECS_PER_FILE; }
inline constexpr int sel_slot_pos(int slot) { return slot % SEL_RECS_PER_FILE; }

// The id that seld gives the record in a slot when it numbers by slot (the slot counted
// from 1). The sum wraps as the module's 32-bit arithmetic does, since `sel info` states
// the oldest id of any file an info file names.
inline constexpr int sel_slot_id(int file, int pos) {
  return static_cast<int>(static_cast<unsigned>(file) * static_cast<unsigned>(SEL_RECS_PER_FILE) +
                          static_cast<unsigned>(pos) + 1U);
}

// Any count of slots, negative too, brought round the ring into 0 to 3999.
inline constexpr int sel_ring_wrap(int slots) {
  return ((slots % SEL_MAX_RECS) + SEL_MAX_RECS) % SEL_MAX_RECS;
}

// The file `n` (0 ...) files after `file` in the ring.
inline constexpr int sel_file_after(int file, int n) { return (file + n) % SEL_FILES; }

// How many files on from `from` the ring reaches `to` (0 to 3).
inline constexpr int sel_files_between(int from, int to) {
  return (to - from + SEL_FILES) % SEL_FILES;
}

// The ordinal of the first record of the file `files` files after the oldest: every file
// before the newest is full.
inline constexpr int sel_file_first_ordinal(int files) { return files * SEL_RECS_PER_FILE; }

// Whether the record of `ordinal` is the last of a full file.
inline constexpr bool sel_ordinal_ends_file(int ordinal) {
  return (ordinal + 1) % SEL_RECS_PER_FILE == 0;
}

int sel_ring_latest_file(int rec_count, int oldest_file);  // `oldest_file` when empty
int sel_ring_latest_id(int rec_count, int oldest_file);    // 0 when empty, ids by slot
int sel_ring_records_in(int rec_count, int oldest_file, int file);

// The file and position of the ring's record `ordinal`.
void sel_ring_position(const SelInfo& info, int ordinal, int* file, int* pos);
// The slot of the ring's record `ordinal`.
int sel_ring_slot(const SelInfo& info, int ordinal);
// The ordinal of the record in `slot`, or -1 when the ring does not hold that slot.
int sel_ring_ordinal(const SelInfo& info, int slot);

// The info file that describes such a ring: all five fields, ids by slot.
SelInfo sel_ring_info(std::int32_t version, std::int32_t rec_count, std::int32_t oldest_file);
