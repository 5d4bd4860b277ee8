// The SEL store as files: an info file of five numbers and a ring of four record files
// of at most 1000 64-byte records, in one directory. This is the one place that knows
// their names, the ring's shape, the ids that seld gives and the info file's text;
// `sel` passes the module's directory, the tools a copy's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr const char* SEL_STORE_DIR = "/mnt/logs/sel";
inline constexpr const char* SEL_INFO_FILE = "/mnt/logs/sel/sel.inf";

inline constexpr int SEL_FILES = 4;
inline constexpr int SEL_RECS_PER_FILE = 1000;
inline constexpr int SEL_MAX_RECS = SEL_FILES * SEL_RECS_PER_FILE;
inline constexpr std::size_t SEL_PATH_MAX = 100;  // sel's own path buffer
// The version that the stores we write carry in their info files (our seld stand-in and
// the store writer); a reader only prints it.
inline constexpr int SEL_STORE_VERSION = 1;

// The info file, in its field order. `fields_read` is ours: how many of the five the
// file supplied (the fields it did not supply keep what they held).
struct SelInfo {
  std::int32_t version;
  std::int32_t rec_count;
  std::int32_t oldest_file;
  std::int32_t latest_file;
  std::int32_t latest_id;
  int fields_read;
};

// The store's files by their names in the directory, as the paths below are built: the
// info file, then the record files 0 to 3 (for copies of the store and archives of it).
inline constexpr const char* SEL_FILE_NAMES[1 + SEL_FILES] = {"sel.inf", "sel.0", "sel.1", "sel.2",
                                                              "sel.3"};

// "<dir>/sel.inf" and "<dir>/sel.<file>" into `buf`; false when the path does not fit.
bool sel_info_path(char* buf, std::size_t size, const char* dir);
bool sel_record_path(char* buf, std::size_t size, const char* dir, int file);

// The ring as seld keeps it and every reader assumes it: `rec_count` records (0 to
// 4000) from position 0 of `oldest_file` (0 to 3) on, every file up to the newest full.
// Record `pos` of file `file` has the id of its slot. The sum wraps as the module's 32-bit
// arithmetic does, since `sel info` states the oldest id of any file an info file names.
inline constexpr int sel_slot_id(int file, int pos) {
  return static_cast<int>(static_cast<unsigned>(file) * static_cast<unsigned>(SEL_RECS_PER_FILE) +
                          static_cast<unsigned>(pos) + 1U);
}
int sel_ring_latest_file(int rec_count, int oldest_file);  // `oldest_file` when empty
int sel_ring_latest_id(int rec_count, int oldest_file);    // 0 when empty
int sel_ring_records_in(int rec_count, int oldest_file, int file);
// The file and position of the ring's record `ordinal`, counted from its oldest record
// (0 ...), whatever ids the records carry.
void sel_ring_position(const SelInfo& info, int ordinal, int* file, int* pos);
// The ordinal of the record in the slot whose id is `id`, or -1 when the ring does not
// hold that slot: for a store whose daemon gives each slot its own id (as our stand-in
// does). A daemon may number on across the wrap instead, and then an id says nothing of
// where its record lies.
int sel_slot_ordinal(const SelInfo& info, int id);
// The info file that describes such a ring: all five fields.
SelInfo sel_ring_info(std::int32_t version, std::int32_t rec_count, std::int32_t oldest_file);

// Reads the five numbers from `in` as "%d %d %d %d %d" does on the module (an overlong
// number is held at the nearest int); the fields not supplied keep what they held.
void sel_info_parse(FILE* in, SelInfo* info);

// Opens and parses the info file at `path`, without any lock. 0, or -1 with errno set
// when it cannot be opened (EINVAL: not a regular file, which is never waited on);
// `info` is then not written.
int sel_read_info(const char* path, SelInfo* info);

// Replaces "<dir>/sel.inf" durably: written beside it, flushed to the disk, renamed over
// it and the directory flushed, so that a power cut leaves the old or the new file, never
// an empty one. 0, or -1 with errno set (nothing is left behind).
int sel_write_info(const char* dir, const SelInfo& info);

// What can be wrong with an info file. The first four make it unusable for a reader
// (no record file is opened from it); the last says it disagrees with its own ring. The
// latest id is not judged here: it depends on how seld numbers its records, which only
// the records show.
enum : unsigned {
  SEL_INFO_SHORT = 1U << 0,         // fewer than five numbers
  SEL_INFO_BAD_COUNT = 1U << 1,     // rec_count outside 0 to 4000
  SEL_INFO_BAD_OLDEST = 1U << 2,    // oldest_file outside 0 to 3
  SEL_INFO_BAD_LATEST = 1U << 3,    // latest_file outside 0 to 3
  SEL_INFO_OTHER_LATEST = 1U << 4,  // latest_file is not where the ring ends
};
inline constexpr unsigned SEL_INFO_UNUSABLE =
    SEL_INFO_SHORT | SEL_INFO_BAD_COUNT | SEL_INFO_BAD_OLDEST | SEL_INFO_BAD_LATEST;

// The faults of `info`. A short file has only SEL_INFO_SHORT; the ring is compared only
// when the numbers are usable and the store is not empty.
unsigned sel_info_faults(const SelInfo& info);

// Writes the text of the first of `faults` (bits of sel_info_faults; the lowest is the
// first) into `buf`, cut to `size`.
void sel_info_fault_text(unsigned faults, const SelInfo& info, char* buf, std::size_t size);
