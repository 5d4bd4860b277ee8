// Both ways of writing a line are read by hand, a field at a time, without copying the
// line: a collector's file of a large fleet holds millions of them, and what a line
// costs here is most of what reading the file costs.
#include "workstation/selexport/collected_line.h"

#include <array>
#include <cstring>

namespace {

using Text = std::string_view;

// The fields of ours that a line is read for: each at most once.
enum Field : unsigned {
  kId = 1,
  kRaw = 2,
  kMissed = 4,
  kAtLeast = 8,
  kReason = 16,
  kHost = 32,
  kTime = 64,
};

// What was found of the fields, before the line's kind is settled.
struct Found {
  unsigned fields = 0;
  bool repeated = false;  // a field of ours given twice
  bool bad = false;       // a value of ours that is not what it must be
  bool bad_host = false;  // a host name that JSON escaped into what no host name holds
  std::int64_t id = 0;
  Text raw;
  std::int64_t missed = 0;
  bool at_least = false;
  int reason = -1;
  Text stamp;
  Text host;
};

constexpr std::array<Text, LINE_FAULTS> kFaultTexts{
    "",
    "cut short",
    "no host name",
    "a host name with blanks or control characters, or too long",
    "no raw record (sent by a sel-forward before 1.1?)",
    "the raw record is not 128 hex digits",
    "its id is not the raw record's",
    "a report of records lost without a number or with an unknown reason",
    "a field given twice or of the wrong kind",
};
static_assert(kFaultTexts[static_cast<std::size_t>(LineFault::bad_field)].starts_with("a field"));

constexpr std::array<Text, LOST_REASONS> kReasons{"overrun", "cleared"};

// The value of a hex digit, or 0xFF.
constexpr std::array<std::uint8_t, 256> kHexValue = [] {
  std::array<std::uint8_t, 256> t{};
  t.fill(0xFF);
  for (int d = 0; d < 10; ++d) t['0' + d] = static_cast<std::uint8_t>(d);
  for (int d = 0; d < 6; ++d) {
    t['a' + d] = static_cast<std::uint8_t>(10 + d);
    t['A' + d] = static_cast<std::uint8_t>(10 + d);
  }
  return t;
}();
static_assert(kHexValue['f'] == 15 && kHexValue['G'] == 0xFF && kHexValue['9'] == 9);

// Two ASCII characters, the first in the low seven bits of the index, to the byte that
// they write as hex digits, or 0x100 where either is no hex digit: a record's 128 digits
// are read a pair at a time, once for every line of a collector's file.
constexpr std::size_t kAsciiPairs = std::size_t{1} << 14;
constexpr std::array<std::uint16_t, kAsciiPairs> kHexPairs = [] {
  std::array<std::uint16_t, kAsciiPairs> t{};
  for (unsigned second = 0; second < 128; ++second) {
    for (unsigned first = 0; first < 128; ++first) {
      const unsigned hi = kHexValue[first], lo = kHexValue[second];
      t[first | second << 7] = static_cast<std::uint16_t>(15 < (hi | lo) ? 0x100 : hi << 4 | lo);
    }
  }
  return t;
}();
static_assert(kHexPairs['7' | 'f' << 7] == 0x7F && kHexPairs['A' | '0' << 7] == 0xA0 &&
              kHexPairs['g' | '0' << 7] == 0x100);

bool read_hex(Text hex, SelRecord* rec) {
  if (hex.size() != 2 * SEL_RECORD_SIZE) return false;
  const auto* digits = reinterpret_cast<const unsigned char*>(hex.data());
  unsigned bad = 0;
  for (std::size_t i = 0; i < SEL_RECORD_SIZE; ++i) {
    const unsigned first = digits[2 * i], second = digits[2 * i + 1];
    const unsigned byte = kHexPairs[(first | second << 7) & (kAsciiPairs - 1)];
    bad |= byte | ((first | second) & 0x80) << 1;  // a byte past ASCII is no digit
    rec->bytes[i] = static_cast<unsigned char>(byte);
  }
  return bad <= 0xFF;
}

// A whole decimal number in [low, high], a sign allowed where low is negative.
bool read_number(Text t, std::int64_t low, std::int64_t high, std::int64_t* value) {
  const bool negative = !t.empty() && t[0] == '-' && low < 0;
  if (negative) t.remove_prefix(1);
  if (t.empty() || t.size() > 12) return false;
  std::int64_t v = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = negative ? -v : v;
  return *value >= low && *value <= high;
}

bool valid_host(Text host) {
  if (host.empty() || host.size() > HOST_NAME_MAX_LEN) return false;
  for (const char c : host) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

// How a value was written: a string, a string with escapes, or a bare word or number.
enum class Written : unsigned char { quoted, escaped, bare };

// One field of ours by name; a field of any other name is passed over. Our values have
// nothing to escape.
void take_field(Found* f, Text name, Text value, Written written) {
  const bool quoted = written == Written::quoted;
  Field field{};
  if (name == "id") {
    field = kId;
    f->bad |= !read_number(value, INT32_MIN, INT32_MAX, &f->id);
  } else if (name == "raw") {
    field = kRaw;
    f->raw = value;
    f->bad |= !quoted;
  } else if (name == "missed") {
    field = kMissed;
    f->bad |= !read_number(value, 0, INT32_MAX, &f->missed);
  } else if (name == "at_least") {
    field = kAtLeast;
    f->at_least = value == "true";
    f->bad |= !f->at_least && value != "false";
  } else if (name == "time") {
    field = kTime;
    f->stamp = value;
  } else if (name == "reason") {
    field = kReason;
    for (std::size_t r = 0; r < kReasons.size(); ++r) {
      if (value == kReasons[r]) f->reason = static_cast<int>(r);
    }
  } else {
    return;
  }
  f->bad |= written == Written::escaped;
  f->repeated |= (f->fields & field) != 0;
  f->fields |= field;
}

// The line's kind once its fields are known.
CollectedLine settle(const Found& f) {
  CollectedLine line;
  line.kind = LineKind::malformed;
  line.host = f.host;
  const auto fault = [&](LineFault why) {
    line.fault = why;
    return line;
  };
  if (f.host.empty() || f.host == "-") return fault(LineFault::no_host);
  if (f.bad_host || !valid_host(f.host)) return fault(LineFault::bad_host);
  if (f.repeated || f.bad || (f.fields & (kRaw | kMissed)) == (kRaw | kMissed)) {
    return fault(LineFault::bad_field);
  }
  if ((f.fields & kMissed) != 0) {
    if (f.reason < 0) return fault(LineFault::bad_lost);
    line.kind = LineKind::lost;
    line.lost = {f.missed, f.at_least, static_cast<LostReason>(f.reason), f.stamp};
    return line;
  }
  if ((f.fields & kRaw) == 0) return fault(LineFault::no_raw);
  if (!read_hex(f.raw, &line.rec)) return fault(LineFault::bad_raw);
  if ((f.fields & kId) != 0 && f.id != sel_record_id(line.rec)) {
    return fault(LineFault::id_mismatch);
  }
  line.kind = LineKind::record;
  line.time = sel_timestamp(line.rec);
  return line;
}

CollectedLine malformed(LineFault why, Text host = {}) {
  CollectedLine line;
  line.kind = LineKind::malformed;
  line.fault = why;
  line.host = host;
  return line;
}

// --- RFC 5424 ---

// The word at `at` up to the next blank; `at` moves past the blank. False at the end of
// the line (no blank after the word).
bool word(Text s, std::size_t* at, Text* w) {
  const std::size_t end = s.find(' ', *at);
  if (end == Text::npos) return false;
  *w = s.substr(*at, end - *at);
  *at = end + 1;
  return true;
}

// The SD-PARAMs of our element from `at` (after its id) to its ']'. False when the
// line ends first.
bool sd_params(Text s, std::size_t at, Found* f) {
  while (at < s.size() && s[at] == ' ') {
    const std::size_t eq = s.find('=', ++at);
    if (eq == Text::npos || eq + 1 >= s.size()) return false;
    if (s[eq + 1] != '"') {
      f->bad = true;
      return true;
    }
    // The value ends at the first '"' that no backslash escapes.
    std::size_t end = eq + 1;
    bool escaped = false;
    for (std::size_t slashes = 1; slashes % 2 != 0;) {
      end = s.find('"', end + 1);
      if (end == Text::npos) return false;
      for (slashes = 0; s[end - 1 - slashes] == '\\';) ++slashes;
      escaped = escaped || slashes > 0;
    }
    take_field(f, s.substr(at, eq - at), s.substr(eq + 2, end - eq - 2),
               escaped ? Written::escaped : Written::quoted);
    at = end + 1;
  }
  return at < s.size() && s[at] == ']';
}

CollectedLine syslog_line(Text s) {
  // <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID [sel@32473 ...] MSG
  std::size_t at = 1;
  while (at < s.size() && at < 4 && s[at] >= '0' && s[at] <= '9') ++at;
  if (at == 1 || s.substr(at, 3) != ">1 ") return {};
  at += 3;
  Text time, host, app, procid, msgid;
  if (!word(s, &at, &time) || !word(s, &at, &host) || !word(s, &at, &app) || app != "sel" ||
      !word(s, &at, &procid) || !word(s, &at, &msgid)) {
    return {};
  }
  constexpr Text kSdId = "[sel@32473";
  if (s.substr(at, kSdId.size()) != kSdId || at + kSdId.size() >= s.size() ||
      (s[at + kSdId.size()] != ' ' && s[at + kSdId.size()] != ']')) {
    return {};
  }
  Found f;
  f.host = host;
  f.stamp = time;
  if (!sd_params(s, at + kSdId.size(), &f)) return malformed(LineFault::cut_short, host);
  return settle(f);
}

// --- JSON ---

constexpr bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A JSON string from the '"' at `at`: its content (escapes as written) and whether it
// holds any; `at` moves past its end. False when the line ends first.
bool json_string(Text s, std::size_t* at, Text* content, bool* escaped) {
  const char* begin = s.data() + *at + 1;
  const char* end = s.data() + s.size();
  *escaped = false;
  for (const char* from = begin; from < end;) {
    const auto* quote = static_cast<const char*>(memchr(from, '"', static_cast<std::size_t>(end - from)));
    if (quote == nullptr) return false;
    const auto* slash =
        static_cast<const char*>(memchr(from, '\\', static_cast<std::size_t>(quote - from)));
    if (slash == nullptr) {
      *content = Text(begin, static_cast<std::size_t>(quote - begin));
      *at = static_cast<std::size_t>(quote + 1 - s.data());
      return true;
    }
    *escaped = true;
    from = slash + 2;
  }
  return false;
}

// Passes over an object or an array at `at`. False when the line ends first.
bool json_nested(Text s, std::size_t* at) {
  int depth = 0;
  for (std::size_t i = *at; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      Text content;
      bool escaped = false;
      if (!json_string(s, &i, &content, &escaped)) return false;
      --i;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      *at = i + 1;
      return true;
    }
  }
  return false;
}

// A host name that JSON escaped, into `buf`. False when an escape makes a character
// that no host name holds, or the name is too long.
bool json_host(Text content, char (&buf)[HOST_NAME_MAX_LEN], Text* host) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c == '\\' && i + 1 < content.size()) {
      c = content[++i];
      if (c == 'u') {
        unsigned code = 0;
        const Text digits = content.substr(i + 1, 4);
        for (const char d : digits) code = code * 16 + kHexValue[static_cast<unsigned char>(d)];
        if (digits.size() != 4 || code <= ' ' || code > '~') return false;
        c = static_cast<char>(code);
        i += 4;
      } else if (c != '"' && c != '\\' && c != '/') {
        return false;
      }
    }
    if (n == sizeof buf) return false;
    buf[n++] = c;
  }
  *host = {buf, n};
  return true;
}

// The value at `at` (a string, a word or a number, a nested object or array), taken as
// a field. False when the line ends or breaks first.
bool json_value(Text s, std::size_t* at, Text key, Found* f, char (&host_buf)[HOST_NAME_MAX_LEN]) {
  const char c = s[*at];
  if (c == '"') {
    Text content;
    bool escaped = false;
    if (!json_string(s, at, &content, &escaped)) return false;
    if (key == "host") {
      f->repeated |= (f->fields & kHost) != 0;
      f->fields |= kHost;
      f->host = content;
      f->bad_host = escaped && !json_host(content, host_buf, &f->host);
    } else {
      take_field(f, key, content, escaped ? Written::escaped : Written::quoted);
    }
    return true;
  }
  if (c == '{' || c == '[') return json_nested(s, at);
  std::size_t end = *at;
  while (end < s.size() && s[end] != ',' && s[end] != '}' && s[end] != ']' && !blank(s[end])) ++end;
  if (end == s.size() || end == *at) return false;
  take_field(f, key, s.substr(*at, end - *at), Written::bare);
  *at = end;
  return true;
}

// The members of the object from `at`, after its '{'. False when the line ends or
// breaks before its '}' and nothing but blanks after it.
bool json_members(Text s, std::size_t at, Found* f, bool* host_first,
                  char (&host_buf)[HOST_NAME_MAX_LEN]) {
  const auto skip = [&] {
    while (at < s.size() && blank(s[at])) ++at;
    return at < s.size();
  };
  for (bool first = true;; first = false) {
    if (!skip()) return false;
    if (first && s[at] == '}') break;
    Text key;
    bool escaped = false;
    if (s[at] != '"' || !json_string(s, &at, &key, &escaped) || !skip() || s[at] != ':') {
      return false;
    }
    ++at;
    if (first) *host_first = key == "host";
    if (!skip() || !json_value(s, &at, escaped ? Text{} : key, f, host_buf) || !skip()) {
      return false;
    }
    if (s[at] == '}') break;
    if (s[at++] != ',') return false;
  }
  ++at;
  while (at < s.size() && blank(s[at])) ++at;
  return at == s.size();
}

CollectedLine json_line(Text s, char (&host_buf)[HOST_NAME_MAX_LEN]) {
  Found f;
  bool host_first = false;
  const bool whole = json_members(s, 1, &f, &host_first, host_buf);
  const bool ours_by_fields = (f.fields & (kRaw | kMissed)) != 0;
  if (!whole) {
    if (!ours_by_fields && !host_first) return {};
    return malformed(LineFault::cut_short, f.host);
  }
  return ours_by_fields ? settle(f) : CollectedLine{};
}

}  // namespace

std::string_view line_fault_text(LineFault fault) {
  return kFaultTexts[static_cast<std::size_t>(fault)];
}

std::string_view lost_reason_text(LostReason reason) {
  return kReasons[static_cast<std::size_t>(reason)];
}

CollectedLine collected_line(std::string_view line, char (&host_buf)[HOST_NAME_MAX_LEN]) {
  if (line.empty()) return {};
  if (line[0] == '<') return syslog_line(line);
  if (line[0] == '{') return json_line(line, host_buf);
  return {};
}
