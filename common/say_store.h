// What the programs that read copied stores and snapshots (selexport, sel-view) say
// when one cannot be read: the same words from both, one text for each refusal.
#pragma once

#include "lib/status.h"
#include "snapshot/source.h"
#include "snapshot/store_dir.h"

// Why the store named on the command line could not be made ready (source_open).
void say_source_refused(const Source& source, const Status& status);

// Why the records of a store cannot be read (store_usable, store_files_readable).
void say_store_refused(const StoreDir& store, const Status& status);

// Warns that the snapshot's sel.meta was not taken (source.meta_read), if so.
void say_meta_ignored(const Source& source);
