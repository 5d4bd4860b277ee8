// The snapshot on its way out: a tar archive on a descriptor, or a new directory that
// appears only once it is whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/status.h"

// A member's content, as it goes out.
struct SnapshotMember {
  const char* name;  // "sel.inf", "sel.0", ..., "sel.meta"
  const void* bytes;
  std::size_t size;
  std::int64_t mtime;
};

// The members under the archive's directory "sel/", then the end blocks.
Status output_tar(int fd, const SnapshotMember* members, int n);

// Makes the directory that the snapshot is written into beside `dir`, named
// "<dir>.partial-<pid>", after refusing a `dir` that exists (EEXIST). From here on
// SIGTERM, SIGINT and SIGHUP remove it before they end the program, so that an
// interrupted run leaves nothing that a rerun trips on (SIGKILL leaves the partial
// directory, never `dir`). A failure names `dir`: Step::too_long, or Step::open (EEXIST:
// `dir` is there already; else the partial directory cannot be made).
Status output_dir_begin(const char* dir);

// Writes the members into the partial directory and renames it to `dir`. A failure names
// `dir`; the partial directory is removed then.
Status output_dir_finish(const SnapshotMember* members, int n);

// Removes the partial directory (no snapshot to write after all).
void output_dir_abandon();
