// One record as a row: JSON Lines and CSV (selexport; sel-forward sends the JSON).
//
// A row holds the id, the date in UTC ("time") and in seconds ("timestamp"), the type
// and severity with their labels, the text that `sel` prints after "]: " (its dates
// in the process's TZ) and the raw record in hex. Rows are put together in memory and
// written with one call for as many as a buffer of 64 KiB holds.
//
// Not thread-safe: the text's stream and the rows' buffer are kept across records.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

#include "decode/sel_record.h"

enum class RowFormat { jsonl, csv };

// The rows of `recs` in their order; a CSV's header line is the caller's to write first.
// `lead` is put in each row before the record's fields as it is: fields of the caller's,
// escaped, each with its separator after it ("source":"dxa-17", in JSON).
void write_rows(FILE* out, RowFormat format, std::span<const SelRecord> recs,
                std::string_view lead = {});
void write_jsonl(FILE* out, const SelRecord& rec);
void write_csv_header(FILE* out);
