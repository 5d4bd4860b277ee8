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
  // A module of collected lines: the records that its forwarder reported lost (at
  // least: some more may have been), by reason ("overrun 1,000"), and its repeats.
  long long lost = 0;
  bool lost_at_least = false;
  std::string lost_how;
  long long repeats = 0;
};

// The texts, each once, in the order first seen.
struct TextTable {
  std::unordered_map<std::string, std::uint32_t> index;
  std::vector<const std::string*> texts;
};

struct Report {
  bool several = false;  // rows name their store
  bool fleet = false;    // the stores are the modules of collected lines
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
// The records as the data's JSON object.
void report_data(FILE* out, const Report& report, const ReportZone& zone);
// The texts, `between` written after every REPORT_TEXTS_PIECE of them (the page's
// script cuts a piece into its texts only when one of them is first shown or searched).
inline constexpr std::size_t REPORT_TEXTS_PIECE = 1024;
void report_texts(FILE* out, const Report& report, std::string_view between);
// The texts' messages, for the repeating ones, as a JSON object.
void report_groups(FILE* out, const Report& report);
// What the page shows without scripts: a note, the counts, the repeating messages and
// the newest rows.
void report_static(FILE* out, const Report& report, const ReportZone& zone);
// A module of the fleet without a record in the last REPORT_SILENT_DAYS of the data,
// while others have some, went silent.
inline constexpr std::int64_t REPORT_SILENT_DAYS = 7;
// Per store: the time of its last record, INT64_MIN for none; whether it went silent.
struct StoreLast {
  std::int64_t last = INT64_MIN;
  bool silent = false;
};
std::vector<StoreLast> report_silent(const Report& report);
// "none since 2025-11-28": what the table of modules says of one that went silent,
// `last` its last record's time (UTC), INT64_MIN for none.
std::string report_silent_text(std::int64_t last);
// The stores, worst first: the most emergencies, then criticals, then warnings, then
// records lost, then by label.
std::vector<std::size_t> report_worst_first(const Report& report);
// "100,000": a count as the page writes it.
std::string report_count(long long n);
// A record's time in the page's zone, as UTC would be written.
std::int64_t report_local(const Report& report, const ReportZone& zone, std::size_t i);
