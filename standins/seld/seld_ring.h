// What the record files say about seld's ring. seld trusts them over the info file:
// it writes a record before the info file promises it, and it empties files only
// whole and in ring order (the oldest when the ring moves on, all of them from the
// oldest on at a clear). So the files show the ring at every moment, after a power cut
// too: from the oldest file on, full files, then the newest, then empty ones. Only
// when all four are full do they not show which one is the oldest.
#pragma once

#include "lib/status.h"
#include "store/sel_format.h"

// How seld numbers its records: by slot (position p of file f holds f * 1000 + p + 1, the
// default), or on and on across the ring's wrap (4001 in sel.0 after 4000 in sel.3; 1
// again after a clear), as another daemon may. A store is served with the numbering it
// was written with: a written record is told from the zeros that a power cut can leave
// by its id (its slot's, or any but 0).
extern bool seld_number_on;

// The records in each record file of the module's store: whole records (at most 1000)
// up to the last written one; a missing file holds none. 0; -1 when one
// of the store's five paths is there but is not a regular file (a link, a FIFO, a
// directory) or cannot be examined or read, after logging it.
int seld_record_counts(int counts[SEL_FILES]);

// The ring that `counts` show. Of four full files, the oldest is the one that at least
// two of the info file's numbers point at: `oldest_file` itself, the file after
// `latest_file`, the file after the one whose last record `latest_id` is (`info` as
// read; its `fields_read` says how many it holds). Writes `ring` (with `version`); or
// bad_format when the counts show no ring, with the info file's path when it is that
// file that does not tell the oldest of four full files.
Status seld_ring_from_counts(const int counts[SEL_FILES], const SelInfo& info, int version,
                             SelInfo* ring);

// The id of the newest record of `ring` as its file holds it (0 for an empty ring) into
// `id`. 0; -1 when it cannot be read (logged).
int seld_newest_id(const SelInfo& ring, std::int32_t* id);
