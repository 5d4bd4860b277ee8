// The record line: "Record %d: ", the ctime date, "[type.severity]: ", the decoded
// text of the event type, and a newline. Printers never fail; values outside the
// tables print fallback texts. Each writes to `out`: standard output for `sel`, a row's
// text or a message for the other programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "decode/sel_record.h"

void sel_print_rec(const SelRecord& rec, FILE* out = stdout);

// The parts of the record line, for readers that lay a record out otherwise: the type
// label (the sub-label for type 14), the severity label, and the decoded text that
// follows "]: ", without the newline that ends the line. The labels are constants of
// at most SEL_LABEL_MAX printable ASCII characters without '"', '\\' or ']', so that
// JSON, CSV and syslog fields take them as they are.
inline constexpr std::size_t SEL_LABEL_MAX = 16;
std::string_view sel_type_label(const SelRecord& rec);
std::string_view sel_severity_label(const SelRecord& rec);
// The label of a severity value, as a record of that severity is labelled: the first
// SEL_SEVERITY_LABELS values ("normal" to "emergency") have their own, any other
// "unknown-severity".
inline constexpr std::uint32_t SEL_SEVERITY_LABELS = 5;
std::string_view sel_severity_name(std::uint32_t severity);
void sel_print_rec_text(const SelRecord& rec, FILE* out);

// "Set DXA time. Old time: <date>. New time: <date>." with no newline. The times are
// the module's 32-bit seconds, so a value past 2038 is a date before 1970 everywhere.
void sel_print_time_set(std::int32_t old_time, std::int32_t new_time, FILE* out = stdout);
