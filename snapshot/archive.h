// A store's tar archive as it arrives on a workstation: plain, or compressed with gzip
// (SNAPSHOT.tar.gz, as a mail or a ticket carries it). A compressed one is inflated by a
// child process into a pipe that the tar reader reads, so that no member is ever held
// whole and the reader's own limits apply to what comes out.
#pragma once

#include <climits>

#include "lib/status.h"

// Extracts the store's files from the archive open on `fd` into the empty directory
// `dir`, as ustar_extract_store does, the archive plain or gzip-compressed. Beside its
// results: gzip_damaged and gzip_cut_short (what made the archive end early), a read
// (without errno) of a stream that cannot be read, and `process` (errno) when no child
// could inflate it. What it wrote stays in `dir` for the caller to remove. Where this
// build has no zlib, a compressed archive reads as what it then is: not a tar archive.
Status archive_extract_store(int fd, const char* dir, char (&member)[PATH_MAX]);
