// One STORE of selexport's command line, made ready to read: a directory that holds a
// store, a folder that holds exactly one such directory (what `tar -x` made of a
// snapshot: its sel/), or an archive (a file, a pipe or standard input), unpacked.
#pragma once

#include <climits>
#include <cstdio>

#include "common/snapshot_meta.h"

struct Source {
  const char* name;    // as given ("standard input" for "-")
  char dir[PATH_MAX];  // where its files are read
  SnapshotMeta meta;   // where and when the snapshot was taken, as far as it says
};

// Makes `operand` ready to read. False after a message on `err`.
bool source_open(const char* operand, Source* source, FILE* err);

// What rows and reports call the source among several: the snapshot's host name, else
// the name it was given by.
const char* source_label(const Source& source);
