// selexport --format html: one page that stands on its own (its style, its script and
// its drawing inside it, nothing fetched), to be opened from a mail or a ticket: the
// snapshots' heads, the summary, a timeline drawn at export time (so that it shows with
// scripts off) and the records as a table that a few lines of script filter.
#pragma once

#include <cstddef>
#include <cstdio>

#include "decode/sel_record.h"
#include "snapshot/source.h"
#include "workstation/selexport/summary.h"

struct Report {
  Summary summary;
  bool several = false;  // rows name their source
  bool local = false;
  int stores = 0;
  const char* first_name = nullptr;  // the title's, when there is one store
  char first_host[sizeof SnapshotMeta::host] = {};
  // The snapshots' rows of the head and the records' rows, kept until the page is
  // written: the summary and the timeline stand above them.
  FILE* heads = nullptr;
  char* heads_text = nullptr;
  std::size_t heads_size = 0;
  FILE* rows = nullptr;
  char* rows_text = nullptr;
  std::size_t rows_size = 0;
  Report() = default;
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;
  Report(Report&&) = delete;
  Report& operator=(Report&&) = delete;
};

// Gets the report ready. False when there is no memory for it.
bool report_begin(Report* report, bool several, bool local);

// The source's row of the head.
void report_source(Report* report, const Source& source);

// The record's row (its dates inside the text in the process's TZ) and its counts.
// False when there is no memory for it.
bool report_record(Report* report, const SelRecord& rec, const Source& source);

// The page. `zone` names the zone of the days, the hours and the dates in the texts.
void report_write(FILE* out, Report* report, const char* zone);
