// The private temporary directory that an archive is unpacked into: one at a time, gone
// again when the next archive is unpacked, when it is released, or when the program
// ends, also on a signal (an interrupt, a closed pipe).
#pragma once

#include <climits>

#include "lib/status.h"

// Unpacks the store's files of the archive open on `fd` (plain or gzip-compressed) into
// a new directory "$TMPDIR/<prefix>.XXXXXX" (else under /tmp), whose path goes to `*dir`.
// Beside archive_extract_store's results: open, path $TMPDIR (or /tmp), when the
// directory cannot be made there; too_long, path $TMPDIR, when its path does not fit.
Status unpack_archive(int fd, const char* prefix, const char** dir, char (&member)[PATH_MAX]);

// Removes the directory of the archive unpacked last, if any.
void unpack_release();
