// selexport: copied SEL stores as JSON Lines or CSV rows, a summary, an HTML report, or a
// check of their consistency.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

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
  std::int64_t newest = 0;  // the newest record time among the stores, where one counts back
  const char** stores = nullptr;  // room for every word of the command line
  int n_stores = 0;
  const char** sources = nullptr;  // --source: the modules kept (all when none)
  int n_sources = 0;
};

// Reads the command line into `o` with the option table (command_line.cpp): OPT_RUN, or
// the status to end with.
int options_parse(int argc, char** argv, ExportOptions* o);

// A record file of a range that could not be read whole: why (Step::not_regular,
// cut_short: shorter than the info file promises, or its open or seek with errno; the
// path is the file's name), and how many records the range wanted of it and how many
// of them were read.
struct FileGap {
  Status why;
  int wanted = 0;
  int read = 0;
};
struct RangeGaps {
  FileGap file[SEL_FILES + 1];
  int n = 0;
};

// Reads the records of `range` into `recs` (room for the whole ring) and their number
// into `*n`, file by file: all that is whole of a file that ends early, and nothing of
// one that cannot be read, which the walk passes over to the next. Those go to `*gaps`.
void read_range(const StoreDir& store, const SelRange& range, SelRecord* recs, int* n,
                RangeGaps* gaps);

// Says what read_range could not read, a line a file.
void say_read_gaps(const StoreDir& store, const RangeGaps& gaps);

// The CSV header (with a source column first when `with_source`); nothing for JSON Lines.
void write_rows_header(FILE* out, ExportFormat format, bool with_source);
// A row's leading field that names its source, with its separator: "dxa-17", in CSV.
std::string row_lead(ExportFormat format, std::string_view source);

// The rows of JSON Lines or CSV of one store's records; with `source` not null each row
// names it first.
void write_rows_of(FILE* out, ExportFormat format, std::span<const SelRecord> recs,
                   const char* source);

// Writes what is wrong with the store to `out`, then a verdict line. Whether the store is
// sound.
bool check_store(FILE* out, const StoreDir& store);
