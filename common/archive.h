// A store's tar archive as it arrives on a workstation: plain, or compressed with gzip
// (SNAPSHOT.tar.gz, as a mail or a ticket carries it). A compressed one is inflated by a
// child process into a pipe that the tar reader reads, so that no member is ever held
// whole and the reader's own limits apply to what comes out.
#pragma once

#include <cstddef>

// Extracts the store's files from the archive open on `fd` into the empty directory
// `dir`, as ustar_extract_store does, the archive plain or gzip-compressed. 0, or -1
// with the reason in `why` (what it wrote stays in `dir` for the caller to remove).
// Where this build has no zlib, a compressed archive reads as what it then is: not a tar
// archive.
int archive_extract_store(int fd, const char* dir, char* why, std::size_t why_size);
