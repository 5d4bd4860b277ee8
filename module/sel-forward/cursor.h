// The forwarder's cursor: the last record that the collector accepted, and the ring in
// which it was last seen, kept in a state file that is replaced durably and that one
// forwarder at a time may use.
//
// The daemon numbers its records as it likes (by slot, or on and on across the ring's
// wrap), so a record is known by what it is: the slot that holds it (a record never
// moves while it is in the ring) and the checksum of its 64 bytes, id and time
// included. The ring seen (record count and oldest file) tells a cleared store from one
// that moved on.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>

#include "decode/sel_record.h"
#include "lib/posix.h"
#include "lib/status.h"

struct FwdCursor {
  std::int32_t slot;  // file * 1000 + position of the last record sent; -1: none
                      // of the ring seen
  std::int32_t id;    // that record's id and time, as it holds them
  std::int32_t time;
  std::uint32_t sum;         // its checksum (fwd_record_sum)
  std::int32_t seen_count;   // the ring as last seen with the cursor in it
  std::int32_t seen_oldest;  // -1: no ring seen yet, everything in the store is new
};

// A fresh start: every record in the store is to be sent.
inline constexpr FwdCursor FWD_CURSOR_FRESH{-1, 0, 0, 0, 0, -1};

// FNV-1a over the record's 64 bytes.
std::uint32_t fwd_record_sum(const SelRecord& rec);

// The cursor after `rec`, read from `slot`, has been accepted, in the ring of
// `rec_count` records from `oldest_file`.
FwdCursor fwd_cursor_at(const SelRecord& rec, int slot, std::int32_t rec_count,
                        std::int32_t oldest_file);

// The state file that `path` names, found once at the start so that every later step
// works on that file: links followed (a link to a partition that survives a reboot
// stays a link, and its target is what is replaced), and the lock and the new file
// made beside the target. `path` need not exist, but its directory must. A failure
// names `path`: Step::resolve (ENOENT: a link that points nowhere, or ELOOP), Step::
// repeated (a file of more than one name: another forwarder could take it under
// another, `value` the names), Step::open (its directory cannot be found, errno), or
// Step::too_long.
Status fwd_state_resolve(const char* path, char (&resolved)[PATH_MAX]);

// Takes the state file at `path` for this process: an exclusive lock on "<path>.lock"
// (created if missing) into `*lock`, to be held until the process ends, since the state
// file itself is replaced at every save. A failure names `path`: Step::open or
// Step::too_long for the lock file, or Step::lock with EAGAIN and the pid of the
// forwarder that holds it as its value.
Status fwd_state_take(const char* path, FdGuard* lock);

// Reads the state file into `c`; FWD_CURSOR_FRESH when there is none. A failure names
// `path`: Step::not_regular (EISDIR for a directory, EINVAL for anything else that is not
// a regular file), Step::bad_format (no cursor of ours), or Step::open.
Status fwd_cursor_read(const char* path, FwdCursor* c);
Status fwd_cursor_parse(FILE* in, FwdCursor* c);  // Step::bad_format when it is none

// Replaces the state file durably (a power cut leaves the old or the new cursor).
Status fwd_cursor_write(const char* path, const FwdCursor& c);
