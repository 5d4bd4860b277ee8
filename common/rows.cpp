// The JSON and CSV writers. Record texts are 8-bit bytes as the logging services
// copied them; valid UTF-8 passes through, and every other byte is taken as Latin-1
// (JSON "\u00XX", CSV the character's UTF-8), so both outputs are valid UTF-8 and
// say the same text.
//
// A row costs about what `sel` spends on its record line: the text is written once
// into a stream kept across records, and everything around it is put together here
// by table; a call of the printf family would cost more than the field it formats.
#include "common/rows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "decode/sel_date.h"
#include "decode/sel_print.h"
#include "lib/decimal.h"
#include "lib/utf8.h"

namespace {

// What one byte of a text becomes: itself (len 0; runs of those are copied at once)
// or the `len` bytes of `text`. A byte past ASCII is checked first (`utf8`): one that
// begins a valid UTF-8 sequence passes with it, and `text` is what any other becomes.
struct Escape {
  std::uint8_t len;
  bool utf8;
  std::array<char, 6> text;
};
using EscapeTable = std::array<Escape, 256>;
constexpr std::size_t kEscapedMax = 6;  // the most bytes that one byte becomes

constexpr std::string_view kHexDigits = "0123456789abcdef";

// JSON strings: quote, backslash and the control characters escaped, the short forms
// where JSON has one; a byte outside UTF-8 as "\u00XX".
constexpr EscapeTable json_table() {
  EscapeTable t{};
  for (std::size_t b = 0; b < 256; ++b) {
    if (b < 0x20 || b >= 0x80) {
      t[b] = {6, b >= 0x80, {'\\', 'u', '0', '0', kHexDigits[b >> 4], kHexDigits[b & 15]}};
    }
  }
  t['"'] = {2, false, {'\\', '"'}};
  t['\\'] = {2, false, {'\\', '\\'}};
  t['\n'] = {2, false, {'\\', 'n'}};
  t['\r'] = {2, false, {'\\', 'r'}};
  t['\t'] = {2, false, {'\\', 't'}};
  return t;
}

// CSV fields, always quoted: quotes doubled, line ends kept; a byte outside UTF-8 as
// the UTF-8 of its Latin-1 character.
constexpr EscapeTable csv_table() {
  EscapeTable t{};
  for (int b = 0x80; b < 256; ++b) {
    t[static_cast<std::size_t>(b)] = {
        2, true, {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))}};
  }
  t['"'] = {2, false, {'"', '"'}};
  return t;
}

// A row format: how a text is escaped (its table, and for a test of eight bytes at once
// the bytes that the table does not pass as they are: those below `below`, `a` and
// `b`, and all past ASCII), and the fixed parts of a row: its start (where the caller's
// leading fields go), before each of its own fields (id, time, timestamp, type, type
// label, severity, severity label, text, raw) and after the last.
struct Style {
  EscapeTable table{};
  unsigned char below = 0;
  unsigned char a = 0;
  unsigned char b = 0;
  std::array<std::string_view, 11> parts{};
};

constexpr Style kJson{
    json_table(),
    0x20,
    '"',
    '\\',
    {"{", "\"id\":", ",\"time\":\"", "\",\"timestamp\":", ",\"type\":", ",\"type_label\":\"",
     "\",\"severity\":", ",\"severity_label\":\"", "\",\"text\":\"", "\",\"raw\":\"", "\"}\n"}};
// Lines end with CRLF, as RFC 4180 has them; line ends inside a text stay LF.
constexpr Style kCsv{
    csv_table(), 0, '"', '"', {"", "", ",", ",", ",", ",\"", "\",", ",\"", "\",\"", "\",", "\r\n"}};

constexpr bool escapes(const Style& style, int b) {
  return b < style.below || b == style.a || b == style.b || b >= 0x80;
}
constexpr bool table_agrees(const Style& style) {
  for (int b = 0; b < 256; ++b) {
    if ((style.table[static_cast<std::size_t>(b)].len != 0) != escapes(style, b)) return false;
  }
  return true;
}
static_assert(table_agrees(kJson) && table_agrees(kCsv));
static_assert(kJson.table['"'].len == 2 && kJson.table[0x1F].text[5] == 'f');
static_assert(kCsv.table[0xE9].text[0] == '\xC3' && kCsv.table[0xE9].text[1] == '\xA9');

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = kOnes * 0x80;

// The bytes of the eight in `w` that `style` escapes, each marked by its high bit: a byte
// of w below n sets it in (w - n * ones) & ~w, and so does a zero byte of w ^ (c * ones),
// a byte equal to c. A borrow may mark more bytes, but only above one rightly marked,
// so that the lowest mark is always right.
template <const Style& style>
constexpr std::uint64_t escaped_bytes(std::uint64_t w) {
  const std::uint64_t xa = w ^ (kOnes * style.a);
  const std::uint64_t xb = w ^ (kOnes * style.b);
  return (((w - kOnes * style.below) & ~w) | ((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb) | w) &
         kHighBits;
}
static_assert(escaped_bytes<kJson>(0x2120417a7e5b5d7f) == 0);
static_assert(escaped_bytes<kJson>(0x2120417a7e5b5d1f) == 0x80);
static_assert(escaped_bytes<kJson>(0x41414141415c2041) == 0x800000);
static_assert(escaped_bytes<kCsv>(0x41414141415c2041) == 0);
static_assert(escaped_bytes<kCsv>(0xC141414141414122) == 0x8000000000000080);

// How many of the eight bytes loaded into a word with these marks come before the
// first escaped one. On a big-endian machine the first in memory is the highest,
// where a mark may be wrong: none is counted, and the bytes go one at a time.
constexpr std::size_t plain_prefix(std::uint64_t marks) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  } else {
    return 0;
  }
}

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
constexpr std::size_t kRoom = (kPiece + 3) * kEscapedMax + kFixedMax;
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

// Escapes the bytes of `s` from `at` on into `out` until `stop` (a UTF-8 sequence is
// taken whole); returns where it stopped in `s`. Eight bytes that need nothing are
// copied at once.
template <const Style& style>
std::size_t escape(char*& out, std::string_view s, std::size_t at, std::size_t stop) {
  char* p = out;
  while (at < stop) {
    for (std::uint64_t w = 0; stop - at >= 8; at += 8, p += 8) {
      std::memcpy(&w, s.data() + at, 8);
      std::memcpy(p, &w, 8);
      if (const std::uint64_t marks = escaped_bytes<style>(w); marks != 0) {
        at += plain_prefix(marks);
        p += plain_prefix(marks);
        break;
      }
    }
    if (at == stop) break;
    const Escape& e = style.table[static_cast<unsigned char>(s[at])];
    if (e.len == 0) {
      *p++ = s[at++];
      continue;
    }
    const std::size_t len = e.utf8 ? utf8_sequence(s.data() + at, s.size() - at) : 0;
    if (len != 0) {
      std::memcpy(p, s.data() + at, len);
      p += len;
      at += len;
    } else {
      std::memcpy(p, e.text.data(), kEscapedMax);
      p += e.len;
      ++at;
    }
  }
  out = p;
  return at;
}

// Bytes as they are, a piece at a time.
void put_raw(Row& row, std::string_view s) {
  for (std::size_t at = 0; at < s.size(); at += kPiece) {
    make_room(row);
    row.end = put(row.end, {s.data() + at, std::min(kPiece, s.size() - at)});
  }
}

template <const Style& style>
void put_text(Row& row, std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    make_room(row);
    at = escape<style>(row.end, s, at, std::min(at + kPiece, s.size()));
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

// The memory stream that takes the texts, one after the other; it goes back to its
// start only every few dozen records, as a seek costs more than a short text.
constexpr std::size_t kRewindPast = 4096;
struct TextStream {
  FILE* file;
  char* data;
  std::size_t size;  // up to the stream's position at its last flush
};
TextStream g_text{nullptr, nullptr, 0};

// Before the text (after the caller's leading fields): at most 94 bytes of fixed parts,
// 57 of numbers and the date, and the labels, which need no escaping (sel_print.h);
// after it, a fixed part, the record in hex and the row's end.
static_assert(94 + 57 + 2 * SEL_LABEL_MAX <= kFixedMax && 12 + 2 * SEL_RECORD_SIZE <= kFixedMax);

template <const Style& style>
void put_row(Row& row, const SelRecord& rec, std::string_view lead) {
  const std::string_view text = record_text(rec);
  const auto& parts = style.parts;
  row.end = put(row.end, parts[0]);
  put_raw(row, lead);
  row.end = put_decimal(put(row.end, parts[1]), sel_record_id(rec));
  row.end = sel_iso_utc(sel_timestamp(rec), put(row.end, parts[2]));
  row.end = put_decimal(put(row.end, parts[3]), sel_timestamp(rec));
  row.end = put_unsigned(put(row.end, parts[4]), sel_event_type(rec));
  row.end = put(put(row.end, parts[5]), sel_type_label(rec));
  row.end = put_unsigned(put(row.end, parts[6]), sel_severity(rec));
  row.end = put(put(row.end, parts[7]), sel_severity_label(rec));
  row.end = put(row.end, parts[8]);
  put_text<style>(row, text);
  row.end = put(put_hex(put(row.end, parts[9]), rec), parts[10]);
}

}  // namespace

std::string_view record_text(const SelRecord& rec) {
  if (g_text.file == nullptr &&
      (g_text.file = open_memstream(&g_text.data, &g_text.size)) == nullptr) {
    return {};
  }
  std::size_t start = g_text.size;
  if (start >= kRewindPast) {
    rewind(g_text.file);
    start = 0;
  }
  sel_print_rec_text(rec, g_text.file);
  // Sets data and size; a memory stream only fails to grow, and then holds less.
  (void)fflush(g_text.file);
  if (g_text.data == nullptr || g_text.size < start) return {};
  return {g_text.data + start, g_text.size - start};
}

void iso_time(std::int32_t when, char (&buf)[32]) { *sel_iso_utc(when, buf) = '\0'; }

void write_rows(FILE* out, RowFormat format, std::span<const SelRecord> recs,
                std::string_view lead) {
  Row row{out, g_row};
  for (const SelRecord& rec : recs) {
    make_room(row);
    switch (format) {
      case RowFormat::jsonl: put_row<kJson>(row, rec, lead); break;
      case RowFormat::csv: put_row<kCsv>(row, rec, lead); break;
    }
  }
  write_out(row);
}

void write_jsonl(FILE* out, const SelRecord& rec) { write_rows(out, RowFormat::jsonl, {&rec, 1}); }

void write_csv_header(FILE* out) {
  fputs("id,time,timestamp,type,type_label,severity,severity_label,text,raw\r\n", out);
}

void write_csv(FILE* out, const SelRecord& rec) { write_rows(out, RowFormat::csv, {&rec, 1}); }
