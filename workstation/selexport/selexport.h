// selexport: a copied SEL store as JSON Lines or CSV, and a check of its consistency.
#pragma once

#include <cstdio>

#include "store/sel_range.h"
#include "workstation/selexport/filter.h"
#include "workstation/selexport/store_dir.h"

enum class ExportFormat { jsonl, csv };

struct ExportOptions {
  ExportFormat format = ExportFormat::jsonl;
  ExportFilter filter;
  bool reverse = false;  // newest first
};

// Writes the records of `range` that pass the filter to `out`, oldest first (newest
// first when reversed). Returns 0, or 1 after saying on `err` why the store could not
// be read to the range's end; the records before that point are written.
int export_records(FILE* out, FILE* err, const StoreDir& store, const SelRange& range,
                   const ExportOptions& options);

// Writes what is wrong with the store to `out`, then a verdict line. Returns 0 when
// the store is sound, 1 when not.
int check_store(FILE* out, const StoreDir& store);
