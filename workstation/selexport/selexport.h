// selexport: copied SEL stores as JSON Lines or CSV rows, a summary, an HTML report, or a
// check of their consistency.
#pragma once

#include <cstdio>
#include <span>

#include "common/options.h"
#include "snapshot/store_dir.h"
#include "store/sel_range.h"
#include "workstation/selexport/filter.h"

enum class ExportFormat { jsonl, csv, json, html };
enum class Selection { all, first, last };

// What the command line asks for.
struct ExportOptions {
  bool check = false;
  bool summary = false;
  bool local = false;
  bool reverse = false;
  bool format_given = false;
  ExportFormat format = ExportFormat::jsonl;
  Selection selection = Selection::all;
  int count = 0;
  ExportFilter filter;
  const char** stores = nullptr;  // room for every word of the command line
  int n_stores = 0;
};

// Reads the command line into `o` with the option table (command_line.cpp): OPT_RUN, or
// the status to end with.
int options_parse(int argc, char** argv, ExportOptions* o);

// Reads the records of `range` into `recs` (room for the whole ring) and their number
// into `*n`; the records before a failure are kept. What failed is in the record file
// that the status's path names: not_regular, cut_short (shorter than the info file
// promises), or its open, seek or read (errno).
Status read_range(const StoreDir& store, const SelRange& range, SelRecord* recs, int* n);

// Says why read_range stopped.
void say_read_refused(const StoreDir& store, const Status& status);

// The CSV header (with a source column first when `with_source`); nothing for JSON Lines.
void write_rows_header(FILE* out, ExportFormat format, bool with_source);

// The rows of JSON Lines or CSV of one store's records; with `source` not null each row
// names it first.
void write_rows_of(FILE* out, ExportFormat format, std::span<const SelRecord> recs,
                   const char* source);

// Writes what is wrong with the store to `out`, then a verdict line. Whether the store is
// sound.
bool check_store(FILE* out, const StoreDir& store);
