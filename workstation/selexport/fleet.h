// A fleet's records as collectors wrote them: the lines of a collector's files, each
// line to its module (its host), repeats that RELP's redelivery made dropped, and the
// reports of records lost counted per module. Lines are handed on as they are read, so
// that what is held is the hosts' windows and counts, never the lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lib/status.h"
#include "workstation/selexport/collected_line.h"
#include "workstation/selexport/line_reader.h"
#include "workstation/selexport/repeat_window.h"

// More modules than any site has: the lines of further hosts are passed over (a file
// of made-up host names must not take the memory of a window each).
inline constexpr int FLEET_HOSTS_MAX = 10000;
// The line numbers that a message names of an input's malformed lines.
inline constexpr int MALFORMED_SHOWN = 5;

// The records that a module's forwarder reported lost.
struct HostLost {
  std::int64_t records = 0;
  bool at_least = false;  // a report said that more may have been lost
  std::int64_t by_reason[LOST_REASONS] = {};
  int reports[LOST_REASONS] = {};  // the reports, by reason
};

struct FleetHost {
  std::string name;
  bool wanted = true;  // its lines are read (--source)
  RepeatWindow window;
  std::int64_t records = 0;  // lines of records kept
  std::int64_t repeats = 0;  // lines dropped as repeats
  HostLost lost;
};

struct HostNameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Fleet {
  std::vector<std::unique_ptr<FleetHost>> hosts;  // in the order first seen
  std::unordered_map<std::string_view, int, HostNameHash, std::equal_to<>> index;
  int last = -1;  // the host of the line before: lines come in runs of one host
};

// What was found in one input.
struct LineCounts {
  std::uint64_t lines = 0;
  std::uint64_t records = 0;  // lines of records kept
  std::uint64_t repeats = 0;
  std::uint64_t lost_reports = 0;
  std::uint64_t not_ours = 0;  // other programs' lines, and lines too long to be ours
  std::uint64_t too_long = 0;
  std::uint64_t malformed = 0;
  std::uint64_t unwanted = 0;    // lines of hosts that --source leaves out
  std::uint64_t hosts_over = 0;  // lines of hosts past FLEET_HOSTS_MAX
  std::uint64_t malformed_at[MALFORMED_SHOWN] = {};  // the first ones' line numbers
  LineFault malformed_fault[MALFORMED_SHOWN] = {};
};

// Where the records go.
struct FleetSink {
  void* ctx;
  // Whether a host's lines are wanted; asked once, when its first line comes.
  bool (*admit)(void* ctx, std::string_view host);
  // A record kept (not a repeat). False to stop: no memory was left for it.
  bool (*record)(void* ctx, int host, const SelRecord& rec);
};

// The host's number, a new one for a name not seen before; -1 past FLEET_HOSTS_MAX.
int fleet_host(Fleet* fleet, std::string_view name, const FleetSink& sink);

// Reads the lines of `reader` to their end into the fleet and the sink. A status not
// ok when the input ended early (the reader's) or no memory was left (memory).
Status fleet_read(LineReader* reader, Fleet* fleet, const FleetSink& sink, LineCounts* counts);

// The time of the first record among the first lines held (head()), without taking
// them; INT64_MIN when none of those lines is a record of ours.
std::int64_t fleet_first_time(LineReader* reader);
