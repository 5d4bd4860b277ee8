// Where and when a snapshot is taken, as sel-save records it beside the store's files.
#pragma once

#include <ctime>

#include "snapshot/meta.h"

// The module's host name, `now` in UTC, the module's zone and this program's version.
// The zone is TZ's (a leading ':' dropped; a zone file's path named by the part after
// "zoneinfo/"), or the zone file's name that /etc/localtime links to; "" when neither
// names one. No zone file is opened.
SnapshotMeta snapshot_origin(std::time_t now);
