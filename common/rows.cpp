// The JSON and CSV writers. Record texts are 8-bit bytes as the logging services
// copied them; valid UTF-8 passes through, and every other byte is taken as Latin-1
// (JSON "\u00XX", CSV the character's UTF-8), so both outputs are valid UTF-8 and
// say the same text.
#include "common/rows.h"

#include <cstdlib>
#include <ctime>

#include "decode/sel_print.h"

namespace {

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when its first byte
// does not begin one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8_sequence(std::string_view s) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = at(0);
  if (b < 0x80) return 1;
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < len || at(1) < lo || at(1) > hi) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return len;
}

void json_string(FILE* out, std::string_view s) {
  fputc('"', out);
  while (!s.empty()) {
    const std::size_t len = utf8_sequence(s);
    const auto b = static_cast<unsigned char>(s[0]);
    if (len > 1) {
      (void)fwrite(s.data(), 1, len, out);  // output, as printf
    } else if (len == 0) {
      fprintf(out, "\\u%04x", b);
    } else {
      switch (b) {
        case '"': fputs("\\\"", out); break;
        case '\\': fputs("\\\\", out); break;
        case '\n': fputs("\\n", out); break;
        case '\r': fputs("\\r", out); break;
        case '\t': fputs("\\t", out); break;
        default:
          if (b < 0x20) {
            fprintf(out, "\\u%04x", b);
          } else {
            fputc(b, out);
          }
      }
    }
    s.remove_prefix(len == 0 ? 1 : len);
  }
  fputc('"', out);
}

// A CSV text field, always quoted; quotes inside are doubled and line ends kept.
void csv_string(FILE* out, std::string_view s) {
  fputc('"', out);
  while (!s.empty()) {
    const std::size_t len = utf8_sequence(s);
    const auto b = static_cast<unsigned char>(s[0]);
    if (len == 0) {
      fputc(0xC0 | (b >> 6), out);
      fputc(0x80 | (b & 0x3F), out);
    } else if (b == '"') {
      fputs("\"\"", out);
    } else {
      (void)fwrite(s.data(), 1, len, out);
    }
    s.remove_prefix(len == 0 ? 1 : len);
  }
  fputc('"', out);
}

void hex(FILE* out, const SelRecord& rec) {
  for (unsigned char b : rec.bytes) fprintf(out, "%02x", b);
}

}  // namespace

RecordText::RecordText(const SelRecord& rec) {
  if (FILE* mem = open_memstream(&data, &size)) {
    sel_fprint_rec_text(mem, rec);
    (void)fclose(mem);  // a memory stream only fails to grow, and then holds less
  }
}

RecordText::~RecordText() { free(data); }

void iso_time(std::int32_t when, char (&buf)[32]) {
  const std::time_t t = when;
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr || strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
    buf[0] = '\0';
}

void write_jsonl(FILE* out, const SelRecord& rec) {
  char time[32];
  iso_time(sel_timestamp(rec), time);
  const RecordText text(rec);
  fprintf(out, "{\"id\":%d,\"time\":\"%s\",\"timestamp\":%d,\"type\":%u,\"type_label\":",
          sel_record_id(rec), time, sel_timestamp(rec), sel_event_type(rec));
  json_string(out, sel_type_label(rec));
  fprintf(out, ",\"severity\":%u,\"severity_label\":", sel_severity(rec));
  json_string(out, sel_severity_label(rec));
  fputs(",\"text\":", out);
  json_string(out, text.view());
  fputs(",\"raw\":\"", out);
  hex(out, rec);
  fputs("\"}\n", out);
}

// Lines end with CRLF, as RFC 4180 has them; line ends inside a text stay LF.
void write_csv_header(FILE* out) {
  fputs("id,time,timestamp,type,type_label,severity,severity_label,text,raw\r\n", out);
}

void write_csv(FILE* out, const SelRecord& rec) {
  char time[32];
  iso_time(sel_timestamp(rec), time);
  const RecordText text(rec);
  fprintf(out, "%d,%s,%d,%u,", sel_record_id(rec), time, sel_timestamp(rec),
          sel_event_type(rec));
  csv_string(out, sel_type_label(rec));
  fprintf(out, ",%u,", sel_severity(rec));
  csv_string(out, sel_severity_label(rec));
  fputc(',', out);
  csv_string(out, text.view());
  fputc(',', out);
  hex(out, rec);
  fputs("\r\n", out);
}

