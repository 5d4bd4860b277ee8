// The tar archive of a SEL store (POSIX ustar): sel-save writes one, the workstation
// tools read one as they read a copied directory. A member is a 512-byte header and
// its content padded to whole blocks; two zero blocks end the archive.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "lib/status.h"

inline constexpr std::size_t USTAR_BLOCK = 512;
// The most bytes of an archive that are read outside the store's files (the headers and
// content of other members): a snapshot holds a few blocks of them, and an archive that
// inflates to gigabytes of something else is no snapshot.
inline constexpr long long USTAR_OUTSIDE_MAX = 64LL << 20;

// The header of a regular file (`directory` false) or a directory member, named
// `name` (at most 99 bytes), with its permission bits, size and modification time.
// False when the name does not fit.
bool ustar_header(unsigned char (&block)[USTAR_BLOCK], const char* name, unsigned mode,
                  std::uint32_t size, std::int64_t mtime, bool directory);

// Whether `head` (the first `size` bytes of a file) begins with a tar header: what tells
// a snapshot from a file of another kind before it is unpacked.
bool ustar_begins(const unsigned char* head, std::size_t size);

// Extracts the store's files from the archive open on `fd` into the existing empty
// directory `dir`: each regular member named sel.inf, sel.0 to sel.3 or sel.meta (where
// the snapshot was taken), in whatever directory of the archive ("sel/sel.inf" as
// sel-save writes it, "./sel.inf" as tar makes of a copied directory; a pax or GNU
// extended header may name it). Every other member is skipped. A store member larger
// than such a file can be is refused before it is written, and so is a member that
// would take the bytes read outside the store's files past USTAR_OUTSIDE_MAX. Sizes in
// GNU's base-256 form are read, so that a huge member is named as such.
//
// What went wrong, as far as a member is involved, names it by its path in the archive,
// copied into `member` (the status's path then points there): not_archive (no header
// where the archive begins), bad_header (a later header; a pax header whose records
// are not its member's), cut_short (inside the member, `value` the bytes of it that
// arrived and were written; or at a header, without a member), too_large (the member,
// `value` its size), repeated (a store file's name, once more), too_long (`dir`: no
// room for a file name after it), or the read of a member (errno). A file of `dir` that
// cannot be made or written is Step::write with errno, its path copied into `member`.
// What it wrote stays in `dir` for the caller to remove.
Status ustar_extract_store(int fd, const char* dir, char (&member)[PATH_MAX]);

// The most bytes that the member at `path` may hold (the store file that its last
// component names: sel.inf or a record file; or USTAR_OUTSIDE_MAX for another), as
// ustar_extract_store refuses a larger one.
std::int64_t ustar_store_file_max(const char* path);

// Removes what ustar_extract_store may have written into `dir`, and `dir` itself.
// Only async-signal-safe calls: a signal handler may call it.
void ustar_remove_store(const char* dir);
