// seld's handling of one request, apart from its queue loop, so that tests and fuzz
// targets can drive it with any bytes.
//
// The store lives under /mnt/logs/sel (the info file and the ring of four record
// files), its locks under /velmar/run. Every call reads the store afresh, so the store
// on disk is the only state: nothing is cached between calls.
#pragma once

#include <signal.h>

#include <cstddef>

#include "lib/sel_request.h"

// What seld_handle_message did with a message.
inline constexpr int SELD_APPLIED = 0;    // the store now holds the request's effect
inline constexpr int SELD_REJECTED = 1;   // malformed: one log line, the store untouched
inline constexpr int SELD_FAILED = -1;    // the store could not be read or written (logged);
                                          // what it promises is still true

// Handles one message as msgrcv() returned it: `msg` starts at the long mtype, `len`
// is msgrcv's result + sizeof(long); `msg` need not be aligned and may be null when
// `len` is 0. A SelRequest (type 6) whose `size` is len - sizeof(long) and whose count
// is 1 to SEL_REQUEST_MAX_BODIES with exactly that many 60-byte bodies is appended to the
// store; a count of -1 in an 84-byte request (size 80) empties it. Anything else is
// rejected. A missing store is created first; an info file that does not say what the
// record files show is rewritten from them (standins/seld/seld_ring.h); a store whose
// files show no ring, or that has a link or another file that is not regular at one
// of its paths, is left alone and the request fails (a clear needs only the latter).
// Returns SELD_APPLIED, SELD_REJECTED or SELD_FAILED.
int seld_handle_message(const unsigned char* msg, std::size_t len);

// Makes sure a sound store exists before seld serves: creates /mnt/logs/sel and an
// empty store when there is none, and rewrites the info file as above. 0, or
// SELD_FAILED (logged) when the store cannot be used as it is, or when seld was asked
// to stop while it waited for a lock.
int seld_open_store();

// Set (by a signal handler) to make seld stop: a wait for a lock then ends, and the
// request in hand stops short, the store sound.
extern volatile sig_atomic_t seld_stopping;
