// The message of a record, as the repeating messages group it: the pattern of its text
// (text_pattern of record_text), kept for the records met again. A fleet's modules log
// the same few hundred events over and over, and decoding and masking a text costs more
// than reading the line it came in.
#pragma once

#include <string_view>

#include "decode/sel_record.h"

// Valid until the next call. The same for two records that differ in their id and time
// alone: no text holds its record's id, and a time in a text is masked.
std::string_view record_pattern(const SelRecord& rec);
