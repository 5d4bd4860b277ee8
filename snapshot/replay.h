// An archive whose first bytes were read already (to tell what it is) from a pipe, which
// gives nothing twice, made whole again for a reader that wants it from its start: those
// bytes and the rest of the pipe, in a temporary file that no name leads to.
#pragma once

#include <cstdint>
#include <string_view>

#include "lib/posix.h"
#include "lib/status.h"

// More than any snapshot archive can be (a store is at most 260 KB before compression).
inline constexpr std::int64_t REPLAY_MAX = std::int64_t{64} << 20;

// `head`, then what is left of `fd`, into `*replayed`, positioned at its start. Fails
// with open or write (errno) for the temporary file (in TMPDIR, else /tmp), read
// (errno), or too_large past REPLAY_MAX bytes.
Status replay_input(int fd, std::string_view head, FdGuard* replayed);
