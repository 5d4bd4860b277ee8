// The records of collected lines as selexport writes them: rows as they are read (each
// naming its module), a summary per module with its repeats and its records lost, the
// report's stores one per module. Only the report holds the records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "decode/sel_record.h"
#include "workstation/selexport/fleet.h"

struct Summary;
struct Run;
struct Input;
enum class Outcome;

// What is written of one module.
struct HostOutput {
  std::string lead;                  // a row's first field: its source
  std::unique_ptr<Summary> summary;  // --summary
  std::vector<SelRecord> held;       // the report's
};

struct FleetExport {
  Fleet fleet;
  std::vector<HostOutput> out;  // by host number
  std::vector<std::pair<const char*, LineCounts>> inputs;  // for the summary
  std::int64_t since = INT64_MIN, until = INT64_MAX;      // the filters' time window
  FleetExport();
  ~FleetExport();
  FleetExport(const FleetExport&) = delete;
  FleetExport& operator=(const FleetExport&) = delete;
  FleetExport(FleetExport&&) = delete;
  FleetExport& operator=(FleetExport&&) = delete;
};

struct ExportOptions;
// Whether --source leaves the records of the module or store `name` in.
bool source_wanted(const ExportOptions& o, std::string_view name);

// Whether the options can be followed with collected lines among the inputs; false
// after saying why not.
bool fleet_options_fit(const Run& run);

// The lines of one input. Says what was wrong with them.
Outcome export_lines(Run& run, Input* input);

// After the last input: the summaries of the modules, or their part of the report.
void fleet_finish(Run& run);
