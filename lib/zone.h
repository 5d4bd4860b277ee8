// The process's time zone, loaded once at start, before any lock is taken or any
// signal blocked: the C library reads the zone file at the first date it converts, and a
// zone file that blocks (a FIFO, a file on a hung mount) would then hold the store's
// locks, and seld with them, for as long as it blocks.
#pragma once

// Loads the zone that TZ names (":/etc/localtime" when TZ is unset: naming the zone file
// keeps the C library from looking at it again for every date). The zone file is read
// only when it is a regular file; a TZ that names anything else (a FIFO, a device, a
// directory) is taken as an unknown zone, as the C library takes a missing one: UTC.
// Returns true when TZ was left as it was, false when it was replaced by UTC.
bool zone_load();
