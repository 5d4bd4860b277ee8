// A record's text and time as strings, for writers that lay a record out otherwise than
// the record line (rows, syslog messages, pages): the text that `sel` prints after "]: ",
// and the time as ISO 8601 in UTC.
//
// Not thread-safe: the text's stream is kept across records.
#pragma once

#include <cstdint>
#include <string_view>

#include "decode/sel_record.h"

// The record's decoded text, as `sel` prints it after "]: " (its dates in the process's
// TZ). It stays valid until the next call; empty when no memory could be had for it.
std::string_view record_text(const SelRecord& rec);

// "2025-12-05T16:00:00Z": ISO 8601 in UTC; the module's time is 32-bit, so every value
// has a date.
void iso_time(std::int32_t when, char (&buf)[32]);
