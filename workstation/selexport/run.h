// What one run of selexport keeps across its inputs: the options, where the rows, the
// summaries and the report stand, and how each input went.
#pragma once

#include <memory>

#include "snapshot/meta.h"
#include "workstation/selexport/fleet_export.h"
#include "workstation/selexport/report.h"
#include "workstation/selexport/seen.h"
#include "workstation/selexport/selexport.h"
#include "workstation/selexport/summary.h"

// What the days and the dates are counted in: the zone of the process, and the name that
// the summary and the report give it.
struct Zones {
  char caller[256] = "";  // TZ as the caller set it
  bool caller_set = false;
  char shown[SNAPSHOT_VALUE_MAX + 1] = "UTC";  // a caller's TZ, or a snapshot's zone
};

struct Run {
  explicit Run(const ExportOptions& options)
      : o(options),
        several(options.n_stores > 1),
        rows(!options.summary &&
             (options.format == ExportFormat::jsonl || options.format == ExportFormat::csv)) {}
  const ExportOptions& o;
  bool several;  // rows, summaries and the report name their source
  bool rows;     // JSON Lines or CSV
  bool header_written = false;
  int summaries = 0;  // summaries written as text (a blank line between two)
  Zones zones;
  Summary summary;
  Report report;
  SeenRecords seen;   // records of earlier snapshots of a host
  int store = 0;      // the command line's input being read
  FleetExport fleet;  // the modules of the collected lines
  int done = 0, partial = 0, refused = 0;  // inputs, by how they went
};

enum class Outcome { done, partial, refused };
