// selexport: copied SEL stores as JSON Lines or CSV rows, a summary, an HTML report, or a
// check of their consistency.
#pragma once

#include <cstdio>
#include <span>

#include "store/sel_range.h"
#include "workstation/selexport/filter.h"
#include "workstation/selexport/store_dir.h"

enum class ExportFormat { jsonl, csv, json, html };

// Reads the records of `range` into `recs` (room for the whole ring) and their number
// into `*n`. Returns 0, or 1 after saying on `err` why the store could not be read to
// the range's end; the records before that point are kept.
int read_records(FILE* err, const StoreDir& store, const SelRange& range, SelRecord* recs, int* n);

// The CSV header (with a source column first when `with_source`); nothing for JSON Lines.
void write_rows_header(FILE* out, ExportFormat format, bool with_source);

// The rows of JSON Lines or CSV of one store's records; with `source` not null each row
// names it first.
void write_rows_of(FILE* out, ExportFormat format, std::span<const SelRecord> recs,
                   const char* source);

// Writes what is wrong with the store to `out`, then a verdict line. Returns 0 when
// the store is sound, 1 when not.
int check_store(FILE* out, const StoreDir& store);
