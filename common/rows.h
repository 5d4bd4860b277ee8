// One record as a row: JSON Lines and CSV (selexport), and the pieces that other
// writers of records share (sel-forward): the record's text and its UTC date.
//
// A row holds the id, the date in UTC ("time") and in seconds ("timestamp"), the type
// and severity with their labels, the text that `sel` prints after "]: " (its dates
// in the process's TZ) and the raw record in hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "lib/sel_record.h"

void write_jsonl(FILE* out, const SelRecord& rec);
void write_csv_header(FILE* out);
void write_csv(FILE* out, const SelRecord& rec);

// The record's decoded text, as `sel` prints it after "]: ".
struct RecordText {
  char* data = nullptr;
  std::size_t size = 0;
  explicit RecordText(const SelRecord& rec);
  ~RecordText();
  RecordText(const RecordText&) = delete;
  RecordText& operator=(const RecordText&) = delete;
  RecordText(RecordText&&) = delete;
  RecordText& operator=(RecordText&&) = delete;
  std::string_view view() const { return {data, data != nullptr ? size : 0}; }
};

// "2025-12-05T16:00:00Z": ISO 8601 in UTC; the module's time is 32-bit, so every value
// has a date.
void iso_time(std::int32_t when, char (&buf)[32]);
