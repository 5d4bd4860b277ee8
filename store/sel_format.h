// The SEL store as files: an info file of five numbers and a ring of four record files
// of at most 1000 64-byte records (sel_ring.h), in one directory. This is the one place
// that knows their names and the info file's text; `sel` passes the module's directory,
// the tools a copy's.
#pragma once

#include <cstddef>
#include <cstdio>

#include "lib/status.h"
#include "store/sel_ring.h"

inline constexpr const char* SEL_STORE_DIR = "/mnt/logs/sel";
inline constexpr const char* SEL_INFO_FILE = "/mnt/logs/sel/sel.inf";

inline constexpr std::size_t SEL_PATH_MAX = 100;  // sel's own path buffer
// The version that the stores we write carry in their info files (our seld stand-in and
// the store writer); a reader only prints it.
inline constexpr int SEL_STORE_VERSION = 1;

// The store's files by their names in the directory, as the paths below are built: the
// info file, then the record files 0 to 3 (for copies of the store and archives of it).
inline constexpr const char* SEL_FILE_NAMES[1 + SEL_FILES] = {"sel.inf", "sel.0", "sel.1", "sel.2",
                                                              "sel.3"};

// "<dir>/sel.inf" and "<dir>/sel.<file>" into `buf`; false when the path does not fit.
bool sel_info_path(char* buf, std::size_t size, const char* dir);
bool sel_record_path(char* buf, std::size_t size, const char* dir, int file);

// Reads the five numbers from `in` as "%d %d %d %d %d" does on the module (an overlong
// number is held at the nearest int); the fields not supplied keep what they held.
void sel_info_parse(FILE* in, SelInfo* info);

// Whether a failure names the module's info file (and not, say, one of the locks taken
// to read it). Compared by the text: the same path may have another address elsewhere.
bool sel_at_info_file(const Status& failed);

// Opens and parses the info file at `path`, without any lock. A failed Step::open (a
// file that is not regular fails it with EINVAL: it is never waited on) leaves `info` as
// it was.
Status sel_read_info(const char* path, SelInfo* info);

// Replaces "<dir>/sel.inf" durably: written beside it, flushed to the disk, renamed over
// it and the directory flushed, so that a power cut leaves the old or the new file, never
// an empty one. Nothing is left behind when it fails; the Status names `dir`.
Status sel_write_info(const char* dir, const SelInfo& info);

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
