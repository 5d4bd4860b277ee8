// The page's data: one JSON object whose records are columns, the texts, and the texts'
// messages (report.js reads them).
//
//   zone, zoneNote   the zone of the page's times, and why not the stores' own
//   sevs, types      the labels; a record's severity and type are indexes into them
//   fleet            whether the stores are the modules of collected lines
//   stores           label, name, host, saved, zone, n (its records, which follow those
//                    of the stores before it), dropped, and for a module lost, lostHow,
//                    repeats and silent (empty unless it went silent); rank, its place
//                    worst first; storeCols names those of these
//                    that the table of stores shows beside the counts it makes itself,
//                    as {key, label, kind}, kind "n" for a number
//   texts, piece     how many texts there are, and how many a piece of them holds
//   t, id            a record's time (UTC seconds) and id, each as its difference from
//                    the record before, modulo 2^32
//   sev, type        one character a record: '0' + its index
//   text             a record's text: 0 for the next one not used before, else 1 + its
//                    index
//   off              the zone's offsets, as runs: a count of records, then their offset
//
// The texts (report_texts): as shown, each once, in the order first used, each ended by
// a record separator (0x1E), "<" written as a file separator (0x1C), REPORT_TEXTS_PIECE
// of them a piece. A shown text holds neither separator (control characters are shown
// as their pictures), and without "<" none can end its element; they need no JSON, the
// slowest part of the page to read.
//
// The messages (report_groups), a JSON object:
//   pat              a text's message: 0 for one not met before (numbered on), else
//                    1 + the number of the message
//   masks            where the numbers and dates of the texts are, for the messages'
//                    patterns: for each text that has any, how many texts after the last
//                    one listed it is (the first: its index + 1), how many masks, and
//                    each mask's start and length in UTF-16 units, a date's length
//                    negative
//
// Texts are shown as the report shows them (control characters as pictures, hidden
// characters as marks); in JSON "<" is escaped, so no text can end its element.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "lib/decimal.h"
#include "decode/sel_print.h"
#include "common/escape.h"
#include "workstation/selexport/shown.h"
#include "workstation/selexport/report.h"
#include "workstation/selexport/summary.h"
#include "workstation/selexport/text_pattern.h"

namespace {

// Integers, comma-separated, through a buffer.
struct Numbers {
  FILE* out;
  char buf[4096];
  char* end = buf;
  bool first = true;

  explicit Numbers(FILE* o) : out(o), buf{} {}
  Numbers(const Numbers&) = delete;
  Numbers& operator=(const Numbers&) = delete;
  Numbers(Numbers&&) = delete;
  Numbers& operator=(Numbers&&) = delete;
  ~Numbers() { (void)fwrite(buf, 1, static_cast<std::size_t>(end - buf), out); }
  void put(std::int32_t value) {
    if (end > buf + sizeof buf - 16) {
      (void)fwrite(buf, 1, static_cast<std::size_t>(end - buf), out);
      end = buf;
    }
    if (!first) *end++ = ',';
    first = false;
    end = put_decimal(end, value);
  }
};

void key(FILE* out, const char* name) { fprintf(out, ",\"%s\":", name); }

void string_of(FILE* out, std::string_view raw) { json_script_text(out, shown_text(raw)); }

void strings(FILE* out, const std::vector<std::string_view>& list) {
  fputc('[', out);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) fputc(',', out);
    string_of(out, list[i]);
  }
  fputc(']', out);
}

// A column of differences from the value before, modulo 2^32.
void deltas(FILE* out, const std::vector<std::int32_t>& values) {
  fputc('[', out);
  {
    Numbers n(out);
    std::uint32_t before = 0;
    for (const std::int32_t v : values) {
      n.put(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - before));
      before = static_cast<std::uint32_t>(v);
    }
  }
  fputc(']', out);
}

// A column of small indexes (below 40: the labels are few) as one character each.
void characters(FILE* out, const std::vector<std::uint8_t>& values) {
  fputc('"', out);
  for (const std::uint8_t v : values) putc_unlocked('0' + v, out);
  fputc('"', out);
}

// The masks of a text, in the UTF-16 units in which the script counts.
void masks_of(Numbers* n, std::string_view shown, const TextMask* masks, int count) {
  n->put(count);
  std::size_t byte = 0, unit = 0;
  for (int i = 0; i < count; ++i) {
    for (; byte < masks[i].start; ++byte) {
      const auto b = static_cast<unsigned char>(shown[byte]);
      if ((b & 0xC0) != 0x80) unit += b >= 0xF0 ? 2 : 1;
    }
    // A mask holds ASCII only: its bytes are its units.
    const auto length = static_cast<std::int32_t>(masks[i].length);
    n->put(static_cast<std::int32_t>(unit));
    n->put(masks[i].date ? -length : length);
  }
}


// The columns that the table of stores shows beside its own counts: where and when
// each snapshot was taken, or what each module lost, repeated and whether it went silent.
void store_cols(FILE* out, const Report& r) {
  int dropped = 0;
  for (const ReportStore& s : r.stores) dropped += s.dropped;
  key(out, "storeCols");
  if (r.fleet) {
    fputs("[{\"key\":\"lost\",\"label\":\"Lost\",\"kind\":\"n\"},"
          "{\"key\":\"lostHow\",\"label\":\"Lost how\"},"
          "{\"key\":\"repeats\",\"label\":\"Repeats dropped\",\"kind\":\"n\"},"
          "{\"key\":\"silent\",\"label\":\"Silent\"}",
          out);
  } else {
    fputs("[{\"key\":\"saved\",\"label\":\"Saved\"},{\"key\":\"zone\",\"label\":\"Zone\"}", out);
  }
  if (dropped > 0) fputs(",{\"key\":\"dropped\",\"label\":\"Read before\",\"kind\":\"n\"}", out);
  fputc(']', out);
}

void stores(FILE* out, const Report& r) {
  store_cols(out, r);
  const std::vector<StoreLast> last = report_silent(r);
  const std::vector<std::size_t> worst = report_worst_first(r);
  std::vector<std::size_t> rank(worst.size());
  for (std::size_t k = 0; k < worst.size(); ++k) rank[worst[k]] = k;
  fprintf(out, ",\"fleet\":%s", r.fleet ? "true" : "false");
  key(out, "stores");
  fputc('[', out);
  for (std::size_t i = 0; i < r.stores.size(); ++i) {
    const ReportStore& s = r.stores[i];
    fputs(i == 0 ? "{" : ",{", out);
    const std::string silent = last[i].silent ? report_silent_text(last[i].last) : std::string();
    const std::pair<const char*, const std::string*> fields[] = {
        {"label", &s.label}, {"name", &s.name}, {"host", &s.host}, {"saved", &s.saved},
        {"zone", &s.zone}, {"lostHow", &s.lost_how}, {"silent", &silent}};
    for (const auto& [name, value] : fields) {
      fprintf(out, "\"%s\":", name);
      string_of(out, *value);
      fputc(',', out);
    }
    fprintf(out, "\"n\":%d,\"dropped\":%d,\"lost\":%lld,\"repeats\":%lld,\"rank\":%zu}",
            s.records, s.dropped, s.lost, s.repeats, rank[i]);
  }
  fputc(']', out);
}

// The offsets as runs, only where the page's times are in the stores' zone.
void offsets(FILE* out, const Report& r, const ReportZone& zone) {
  if (!zone.offsets) return;
  key(out, "off");
  fputc('[', out);
  {
    Numbers n(out);
    for (std::size_t i = 0; i < r.offset.size();) {
      std::size_t end = i;
      while (end < r.offset.size() && r.offset[end] == r.offset[i]) ++end;
      n.put(static_cast<std::int32_t>(end - i));
      n.put(r.offset[i]);
      i = end;
    }
  }
  fputc(']', out);
}

}  // namespace

void report_data(FILE* out, const Report& r, const ReportZone& zone) {
  fputs("{\"v\":1,\"zone\":", out);
  string_of(out, zone.name);
  key(out, "zoneNote");
  string_of(out, zone.note);
  key(out, "sevs");
  std::vector<std::string_view> sevs;
  sevs.reserve(SUMMARY_SEVERITIES);
  for (int slot = 0; slot < SUMMARY_SEVERITIES; ++slot) sevs.push_back(summary_severity_label(slot));
  strings(out, sevs);
  key(out, "types");
  strings(out, r.types);
  stores(out, r);
  fprintf(out, ",\"texts\":%zu,\"piece\":%zu", r.texts.texts.size(), REPORT_TEXTS_PIECE);
  key(out, "t");
  deltas(out, r.time);
  key(out, "id");
  deltas(out, r.id);
  key(out, "sev");
  characters(out, r.severity);
  key(out, "type");
  characters(out, r.type);
  key(out, "text");
  fputc('[', out);
  {
    Numbers n(out);
    std::uint32_t next = 0;  // texts are numbered as first used
    for (const std::uint32_t t : r.text) {
      n.put(t == next ? 0 : static_cast<std::int32_t>(t + 1));
      if (t == next) ++next;
    }
  }
  fputc(']', out);
  offsets(out, r, zone);
  fputc('}', out);
}

// Each text's message, numbered as first met; the masks of the texts.
void report_groups(FILE* out, const Report& r) {
  std::vector<std::string> shown;
  shown.reserve(r.texts.texts.size());
  for (const std::string* t : r.texts.texts) shown.push_back(shown_text(*t));
  std::unordered_map<std::string, std::int32_t> messages;
  fputs("{\"pat\":[", out);
  {
    Numbers n(out);
    for (const std::string& text : shown) {
      const auto [at, added] =
          messages.try_emplace(text_pattern(text), static_cast<std::int32_t>(messages.size()));
      n.put(added ? 0 : at->second + 1);
    }
  }
  fputs("]", out);
  key(out, "masks");
  fputc('[', out);
  {
    Numbers n(out);
    std::size_t last = SIZE_MAX;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      TextMask masks[TEXT_MASKS_MAX];
      const int count = text_masks(shown[i], masks);
      if (count == 0) continue;
      n.put(static_cast<std::int32_t>(i - last));
      last = i;
      masks_of(&n, shown[i], masks, count);
    }
  }
  fputs("]}", out);
}

void report_texts(FILE* out, const Report& r, std::string_view between) {
  std::size_t count = 0;
  for (const std::string* t : r.texts.texts) {
    if (count > 0 && count % REPORT_TEXTS_PIECE == 0) (void)fwrite(between.data(), 1, between.size(), out);
    ++count;
    for (const char c : shown_text(*t)) putc_unlocked(c == '<' ? '\x1c' : c, out);
    putc_unlocked('\x1e', out);
  }
}
