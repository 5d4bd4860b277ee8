// One line of what a log collector wrote of sel-forward's messages, read back: an RFC
// 5424 line as rsyslog writes it with RSYSLOG_SyslogProtocol23Format, or a JSON Lines row
// as sel-forward sends it with --format jsonl. The record comes from its 64 bytes in hex
// (`raw`), never from the text, whose dates were written in the module's zone; the
// module is the line's host.
//
//   <10>1 2025-12-05T16:00:00Z dxa-17 sel - - [sel@32473 id="2001" ... raw="000007d1..."] ...
//   {"host":"dxa-17","id":2001,...,"raw":"000007d1..."}
//
// A line is ours when it carries our structured data (`sel@32473`) after the APP-NAME
// `sel`, or is a JSON object with a `raw` or `missed` member, or one that begins with
// `"host"` as sel-forward's rows do and breaks off. Anything else is another program's
// and is passed over. A line of ours that cannot be read whole is malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/sel_record.h"

enum class LineKind : std::uint8_t {
  record,     // a record: `host` and `rec`
  lost,       // a report of records lost: `host` and `lost`
  not_ours,   // another program's line
  malformed,  // ours, but not whole: `fault` says what
};

// What is wrong with a malformed line, as selexport names it.
enum class LineFault : std::uint8_t {
  none,
  cut_short,    // it ends before its structured data or its object does
  no_host,      // no host name, or "-"
  bad_host,     // blanks, control characters, more than 255 characters
  no_raw,       // a record's line without `raw` (a forwarder before it sent one)
  bad_raw,      // not 128 hex digits
  id_mismatch,  // the `id` field is not the id in `raw`
  bad_lost,     // a report of losses without a number, or with a reason we do not know
  bad_field,    // a field given twice, or a value that is not what it must be
};
inline constexpr std::size_t LINE_FAULTS = 9;

// What the line's fault is called in a message: "cut short", ...
std::string_view line_fault_text(LineFault fault);

enum class LostReason : std::uint8_t { overrun, cleared };
inline constexpr std::size_t LOST_REASONS = 2;
std::string_view lost_reason_text(LostReason reason);

struct LostReport {
  std::int64_t missed;
  bool at_least;
  LostReason reason;
  std::string_view stamp;  // its time as written: two reports alike but for it are two
};

// The most a host name may be (RFC 5424's HOSTNAME).
inline constexpr std::size_t HOST_NAME_MAX_LEN = 255;

struct CollectedLine {
  LineKind kind = LineKind::not_ours;
  LineFault fault = LineFault::none;
  std::string_view host;  // into the line, or into the caller's buffer (an escaped name)
  SelRecord rec{};
  LostReport lost{};
  std::int64_t time = INT64_MIN;  // a record's time
};

// Reads one line (without its line end). `host_buf` holds a host name that JSON escaped.
CollectedLine collected_line(std::string_view line, char (&host_buf)[HOST_NAME_MAX_LEN]);
