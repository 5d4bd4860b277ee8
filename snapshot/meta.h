// Where and when a snapshot was taken: a small text member that sel-save writes beside
// the store's files (sel/sel.meta in the archive, sel.meta in a directory), one
// "key=value" line each for the module's host name, the time of the snapshot (UTC), the
// module's time zone and sel-save's version. Readers that do not know the member pass
// over it as over any other file; those that do show it and date in the module's zone.
#pragma once

#include <cstddef>

inline constexpr const char* SNAPSHOT_META_NAME = "sel.meta";
// The most of the member that is read; four short lines take a few dozen bytes.
inline constexpr std::size_t SNAPSHOT_META_MAX = 1024;

// Every field is printable ASCII ("" where the snapshot does not say).
struct SnapshotMeta {
  char host[65];
  char saved[32];  // "2025-12-05T16:00:00Z"
  char zone[64];   // as TZ takes it: "Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"
  char version[32];
};

// The member's text for `meta` (a field that is "" is left out) into `buf`: its length,
// or 0 when it does not fit.
std::size_t snapshot_meta_format(SnapshotMeta meta, char* buf, std::size_t size);

// Reads the member's text: the keys above, each value cut to its field and every byte
// outside printable ASCII taken as '?'. Other keys and lines are passed over: a later
// version may say more.
SnapshotMeta snapshot_meta_parse(const char* text, std::size_t size);

// Reads "<dir>/sel.meta" (a regular file only). False when there is none to read.
bool snapshot_meta_read(const char* dir, SnapshotMeta* meta);

// Whether `zone` can be handed to TZ here as a zone name or a POSIX rule: not empty, no
// path of its own (no leading '/' or ':', no ".."), only the characters of zone names
// and rules.
bool snapshot_zone_usable(const char* zone);
