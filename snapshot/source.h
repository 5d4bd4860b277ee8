// One store as a command line names it, made ready to read: a directory that holds a
// store, a folder that holds exactly one such directory (what `tar -x` made of a
// snapshot: its sel/), or an archive (a file, a pipe, or standard input as "-"), plain
// or gzip-compressed, unpacked into a private temporary directory (unpack.h).
#pragma once

#include <climits>
#include <string_view>

#include "lib/status.h"
#include "snapshot/meta.h"

struct Source {
  const char* name;       // as given ("standard input" for "-")
  char dir[PATH_MAX];     // where its files are read
  SnapshotMeta meta;      // where and when the snapshot was taken, as far as it says
  Status meta_read;       // done, or why sel.meta was not taken (snapshot_meta_read)
  Status cut;             // done, or how the archive ended early (its directory then
                          // holds what was whole of the store: see source_open)
  char member[PATH_MAX];  // the archive's member that a refusal names
};

// Makes `operand` ready to read; an archive's directory is named after `program`.
// A status whose path is null is of the operand itself: stat or open (errno),
// not_regular (neither a directory nor an archive), too_long (its path), empty (no
// store in it), repeated (`value` folders that hold a store). Any other is the
// unpacking's (unpack_archive).
//
// An archive that ends early (cut_short, gzip_cut_short, gzip_damaged) after some of the
// store arrived is made ready all the same, with source->cut saying how it ended: a
// reader may take what is whole of it, or refuse it.
Status source_open(const char* operand, const char* program, Source* source);

// As source_open, for the archive open on `fd` whose first bytes, `head`, were read from
// it already to tell what it is (a pipe gives nothing twice). Beside source_open's
// results, replay_input's (snapshot/replay.h) when they cannot be given again.
Status source_open_read(const char* name, int fd, std::string_view head, const char* program,
                        Source* source);

// What rows and reports call the source among several: the snapshot's host name, else
// the name it was given by.
const char* source_label(const Source& source);
