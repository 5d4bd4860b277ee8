// selexport --format html: one page that stands on its own (its style, its script and
// its data inside it, nothing fetched), to be opened from a mail or a ticket at any size.
// The records travel as columns of compact data with their texts interned; the page's
// script draws the timeline, the counts and only the rows in view from them. Without
// scripts the page shows the summary and the newest rows as plain tables.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decode/sel_record.h"
#include "snapshot/source.h"

// A store as the page names it, and what the page says of it beside its records.
struct ReportStore {
  std::string label;  // the snapshot's host name, else the store as given
  std::string name, host, saved, zone;
  std::string dates_zone;  // what its times are counted in with --local
  int records = 0;
  int dropped = 0;  // records already read from an earlier snapshot of its host
};

// The texts, each once, in the order first seen.
struct TextTable {
  std::unordered_map<std::string, std::uint32_t> index;
  std::vector<const std::string*> texts;
};

struct Report {
  bool several = false;  // rows name their store
  bool local = false;
  std::vector<ReportStore> stores;
  // The records, a column each, in the order added: the store's, stores in turn.
  std::vector<std::int32_t> time;
  std::vector<std::int32_t> id;
  std::vector<std::int32_t> offset;  // seconds that the store's zone is ahead of UTC
  std::vector<std::uint8_t> severity;
  std::vector<std::uint8_t> type;
  std::vector<std::uint32_t> text;
  std::vector<std::string_view> types;  // the type labels, each once (constants)
  TextTable texts;
};

// The page's zone: the stores' own with --local when they share one, else UTC, with
// why not theirs.
struct ReportZone {
  std::string name;
  std::string note;  // empty unless --local could not be followed
  bool offsets;      // the records' offsets apply
};

// Starts the store of `source`; `zone` names the zone that its dates are in.
void report_source(Report* report, const Source& source, const char* zone);

// Adds a record of the current store (its dates inside the text in the process's TZ).
void report_record(Report* report, const SelRecord& rec);

// Records of the current store left out as already read from an earlier snapshot.
void report_dropped(Report* report, int dropped);

// The page.
void report_write(FILE* out, const Report& report);

// The page's parts (report_data.cpp, report_static.cpp).
ReportZone report_zone(const Report& report);
// The records as the data block's JSON object.
void report_data(FILE* out, const Report& report, const ReportZone& zone);
// What the page shows without scripts: a note, the counts, the repeating messages and
// the newest rows.
void report_static(FILE* out, const Report& report, const ReportZone& zone);
// "100,000": a count as the page writes it.
std::string report_count(long long n);
// A record's time in the page's zone, as UTC would be written.
std::int64_t report_local(const Report& report, const ReportZone& zone, std::size_t i);
