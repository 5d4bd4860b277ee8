// The forwarder's messages: one per record, and the report of records lost, as RFC 5424
// syslog messages or as the JSON Lines rows of selexport; and their framing on the way
// out: octet counting (RFC 6587) or one message a line.
//
// A record's syslog message: facility user, the record's severity mapped to a syslog
// one, the record's time in UTC, APP-NAME "sel", the record's fields as structured data
// [sel@32473 id=".." type=".." type_label=".." severity=".."] and the text that `sel`
// prints after "]: " as MSG (its dates in the process's TZ).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/sel_record.h"
#include "module/sel-forward/follow.h"

enum class FwdFormat { syslog, jsonl };
enum class FwdFraming { octets, lines, none };

inline constexpr std::size_t FWD_MSG_MAX = 2048;  // far above the longest message
// A host name and its NUL: 255 characters is the most that syslog's HOSTNAME and DNS take.
inline constexpr std::size_t FWD_HOST_MAX = 256;

// The syslog severity (0 emergency to 7 debug) of a record's severity.
int fwd_syslog_severity(std::uint32_t severity);

// One message into `buf` (FWD_MSG_MAX bytes), without framing. Returns its length.
std::size_t fwd_format_record(char* buf, FwdFormat format, const char* host, const SelRecord& rec);
// The report of the records that `plan` lost (FWD_OVERRUN or FWD_CLEARED), at `now`.
std::size_t fwd_format_loss(char* buf, FwdFormat format, const char* host, std::int32_t now,
                            const FwdPlan& plan);

// Appends `msg` framed to `dst`: "LEN SP MSG", or the message with each line break
// written as "#012" and a line end after it, or as it is (a protocol that frames each
// message itself). Returns the bytes appended, or 0 when they do not fit in `room`.
std::size_t fwd_frame(char* dst, std::size_t room, FwdFraming framing, std::string_view msg);

// Our host's name as a syslog HOSTNAME: printable ASCII without blanks, else "-".
void fwd_host_name(char (&buf)[FWD_HOST_MAX]);
