// The JSON and CSV writers, escaping texts as escape.h says.
//
// A row costs about what `sel` spends on its record line: the text is written once
// into a stream kept across records, and everything around it is put together here
// by table; a call of the printf family would cost more than the field it formats.
#include "common/rows.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/escape.h"
#include "decode/record_text.h"
#include "decode/sel_date.h"
#include "decode/sel_print.h"
#include "lib/decimal.h"

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// The fixed parts of a row: its start (where the caller's leading fields go), before
// each of its own fields (id, time, timestamp, type, type label, severity, severity
// label, text, raw) and after the last.
using RowParts = std::array<std::string_view, 11>;
constexpr RowParts kJsonParts{"{",
                              "\"id\":",
                              ",\"time\":\"",
                              "\",\"timestamp\":",
                              ",\"type\":",
                              ",\"type_label\":\"",
                              "\",\"severity\":",
                              ",\"severity_label\":\"",
                              "\",\"text\":\"",
                              "\",\"raw\":\"",
                              "\"}\n"};
// Lines end with CRLF, as RFC 4180 has them; line ends inside a text stay LF.
constexpr RowParts kCsvParts{"", "", ",", ",", ",", ",\"", "\",", ",\"", "\",\"", "\",", "\r\n"};

// The two hex digits of every byte.
constexpr std::array<char, 512> kHex = [] {
  std::array<char, 512> t{};
  for (std::size_t b = 0; b < 256; ++b) {
    t[2 * b] = kHexDigits[b >> 4];
    t[2 * b + 1] = kHexDigits[b & 15];
  }
  return t;
}();
static_assert(kHex[0x14A] == 'a' && kHex[0x14B] == '5');  // 0xA5

// The rows being put together, written to `out` when the buffer runs short of room and
// at the end. A row starts only with room for all of it but its text, and a text is
// escaped a piece at a time, each with room for itself and what follows the text.
constexpr std::size_t kRowSize = 65536;
constexpr std::size_t kPiece = 1024;    // bytes of a text (and up to 3 more, a UTF-8 sequence)
constexpr std::size_t kFixedMax = 256;  // what comes before a row's text, or after it
constexpr std::size_t kRoom = (kPiece + 3) * ESCAPED_MAX + kFixedMax;
static_assert(kRoom <= kRowSize && 2 * kFixedMax <= kRoom);
char g_row[kRowSize];

struct Row {
  FILE* out;
  char* end;
};

void write_out(Row& row) {
  // Output, as printf: a failed write has nowhere to be reported.
  (void)fwrite(g_row, 1, static_cast<std::size_t>(row.end - g_row), row.out);
  row.end = g_row;
}

void make_room(Row& row) {
  if (static_cast<std::size_t>(g_row + kRowSize - row.end) < kRoom) write_out(row);
}

char* put(char* out, std::string_view s) {
  std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

// Bytes as they are, a piece at a time.
void put_raw(Row& row, std::string_view s) {
  for (std::size_t at = 0; at < s.size(); at += kPiece) {
    make_room(row);
    row.end = put(row.end, {s.data() + at, std::min(kPiece, s.size() - at)});
  }
}

template <const Escaping& escaping>
void put_text(Row& row, std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    make_room(row);
    at = escape_text<escaping>(row.end, s, at, std::min(at + kPiece, s.size()));
  }
}

char* put_hex(char* out, const SelRecord& rec) {
  static_assert(SEL_RECORD_SIZE % 8 == 0);
  for (std::size_t i = 0; i < SEL_RECORD_SIZE; i += 8) {
    for (std::size_t j = i; j < i + 8; ++j) {  // unrolled
      std::memcpy(out + 2 * j, &kHex[2 * std::size_t{rec.bytes[j]}], 2);
    }
  }
  return out + 2 * SEL_RECORD_SIZE;
}

// Before the text (after the caller's leading fields): at most 94 bytes of fixed parts,
// 57 of numbers and the date, the labels, which need no escaping (sel_print.h), and a
// CSV cell's leading ' for each of them and the text;
// after it, a fixed part, the record in hex and the row's end.
static_assert(94 + 57 + 2 * SEL_LABEL_MAX + 3 <= kFixedMax && 12 + 2 * SEL_RECORD_SIZE <= kFixedMax);

// A text cell's start: in CSV, the ' that keeps a risky text a text (escape.h).
template <const Escaping& escaping>
char* put_cell_start(char* out, std::string_view text) {
  if (&escaping == &ESCAPE_CSV && csv_risky(text)) *out++ = '\'';
  return out;
}

template <const Escaping& escaping, const RowParts& parts>
void put_row(Row& row, const SelRecord& rec, std::string_view lead) {
  const std::string_view text = record_text(rec);
  const std::string_view type = sel_type_label(rec), severity = sel_severity_label(rec);
  row.end = put(row.end, parts[0]);
  put_raw(row, lead);
  row.end = put_decimal(put(row.end, parts[1]), sel_record_id(rec));
  row.end = sel_iso_utc(sel_timestamp(rec), put(row.end, parts[2]));
  row.end = put_decimal(put(row.end, parts[3]), sel_timestamp(rec));
  row.end = put_unsigned(put(row.end, parts[4]), sel_event_type(rec));
  row.end = put(put_cell_start<escaping>(put(row.end, parts[5]), type), type);
  row.end = put_unsigned(put(row.end, parts[6]), sel_severity(rec));
  row.end = put(put_cell_start<escaping>(put(row.end, parts[7]), severity), severity);
  row.end = put_cell_start<escaping>(put(row.end, parts[8]), text);
  put_text<escaping>(row, text);
  row.end = put(put_hex(put(row.end, parts[9]), rec), parts[10]);
}

}  // namespace

void write_rows(FILE* out, RowFormat format, std::span<const SelRecord> recs,
                std::string_view lead) {
  Row row{out, g_row};
  for (const SelRecord& rec : recs) {
    make_room(row);
    switch (format) {
      case RowFormat::jsonl: put_row<ESCAPE_JSON, kJsonParts>(row, rec, lead); break;
      case RowFormat::csv: put_row<ESCAPE_CSV, kCsvParts>(row, rec, lead); break;
    }
  }
  write_out(row);
}

void write_jsonl(FILE* out, const SelRecord& rec, std::string_view lead) {
  write_rows(out, RowFormat::jsonl, {&rec, 1}, lead);
}

void write_record_hex(const SelRecord& rec, char (&hex)[ROW_HEX_SIZE]) { put_hex(hex, rec); }

void write_csv_header(FILE* out) {
  fputs("id,time,timestamp,type,type_label,severity,severity_label,text,raw\r\n", out);
}
