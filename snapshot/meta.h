// Where and when a snapshot was taken: a small text member that sel-save writes beside
// the store's files (sel/sel.meta in the archive, sel.meta in a directory), one
// "key=value" line each for the module's host name, the time of the snapshot (UTC), the
// module's time zone and sel-save's version. Readers that do not know the member pass
// over it as over any other file; those that do show it and date in the module's zone.
//
// A value is printable ASCII: every other byte of it is written as \xHH, so that a host
// name or a zone holding a line break cannot add lines of its own, and the readers show
// the value as it is written. Every program reads the member with
// snapshot_meta_read, by one rule.
#pragma once

#include <cstddef>

#include "lib/status.h"

inline constexpr const char* SNAPSHOT_META_NAME = "sel.meta";
// The longest value written, and the most of the member that is read.
inline constexpr std::size_t SNAPSHOT_VALUE_MAX = 256;
inline constexpr std::size_t SNAPSHOT_META_MAX = 4 * (SNAPSHOT_VALUE_MAX + 10);

// As sel-save takes them: bytes as the system gave them. As read: printable ASCII, ""
// where the snapshot does not say.
struct SnapshotMeta {
  char host[SNAPSHOT_VALUE_MAX + 1];  // any host name that Linux allows (64 bytes)
  char saved[32];                     // "2025-12-05T16:00:00Z"
  char zone[SNAPSHOT_VALUE_MAX + 1];  // as TZ takes it: "Europe/Berlin", "CET-1CEST,..."
  char version[32];
};

// The member's text for `meta` (a field that is "" is left out, and so is one whose
// written value would be longer than SNAPSHOT_VALUE_MAX) into `buf`: its length, or 0
// when it does not fit.
std::size_t snapshot_meta_format(const SnapshotMeta& meta, char* buf, std::size_t size);

// Reads the member's text into `*meta`: the keys above, each value as it is written
// (a byte outside printable ASCII taken as its \xHH); a value too long for its field is
// left out. Other keys and lines are passed over: a later version may say more. A key
// given twice makes the whole member unusable, as two readers could take either: then
// `*meta` says nothing and the status is Step::repeated with the key as its path.
Status snapshot_meta_parse(const char* text, std::size_t size, SnapshotMeta* meta);

// Reads "<dir>/sel.meta" (a regular file only) as snapshot_meta_parse does. Done, with
// `*meta` empty, when there is none.
Status snapshot_meta_read(const char* dir, SnapshotMeta* meta);

// Whether `zone` can be handed to TZ here as a zone name or a POSIX rule: not empty, no
// path of its own (no leading '/' or ':', no ".."), only the characters of zone names
// and rules.
bool snapshot_zone_usable(const char* zone);
