#include "snapshot/meta.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "lib/posix.h"

namespace {

struct Field {
  const char* key;
  std::size_t size;
  char* (*value)(SnapshotMeta& meta);
};
constexpr auto kFields = std::to_array<Field>({
    {"host", sizeof SnapshotMeta::host, [](SnapshotMeta& m) { return m.host; }},
    {"saved", sizeof SnapshotMeta::saved, [](SnapshotMeta& m) { return m.saved; }},
    {"zone", sizeof SnapshotMeta::zone, [](SnapshotMeta& m) { return m.zone; }},
    {"version", sizeof SnapshotMeta::version, [](SnapshotMeta& m) { return m.version; }},
});
static_assert(kFields.size() * (SNAPSHOT_VALUE_MAX + sizeof "version=\n") <= SNAPSHOT_META_MAX);

bool printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// `value` as it is written into `to` (`size` bytes, NUL included): printable ASCII, any
// other byte as \xHH. False, with `to` empty, when it does not fit.
bool written(std::string_view value, char* to, std::size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t n = 0;
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    const std::size_t len = printable(c) ? 1 : 4;
    if (n + len >= size) {
      to[0] = '\0';
      return false;
    }
    if (len == 1) {
      to[n++] = ch;
    } else {
      const char escaped[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
      memcpy(to + n, escaped, sizeof escaped);
      n += sizeof escaped;
    }
  }
  to[n] = '\0';
  return true;
}

// The field that the line's key names, or -1.
int field_of(std::string_view key) {
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (key == kFields[i].key) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::size_t snapshot_meta_format(const SnapshotMeta& meta, char* buf, std::size_t size) {
  std::size_t used = 0;
  SnapshotMeta m = meta;
  for (const Field& f : kFields) {
    const char* value = f.value(m);
    char text[SNAPSHOT_VALUE_MAX + 1];
    if (!written({value, strnlen(value, f.size)}, text, sizeof text) || text[0] == '\0') continue;
    const int n = snprintf(buf + used, size - used, "%s=%s\n", f.key, text);
    if (n < 0 || static_cast<std::size_t>(n) >= size - used) return 0;
    used += static_cast<std::size_t>(n);
  }
  return used;
}

Status snapshot_meta_parse(const char* text, std::size_t size, SnapshotMeta* meta) {
  *meta = SnapshotMeta{};
  unsigned seen = 0;
  // Without substr, which would bring the C++ library's exceptions into sel-save.
  // Lengths between two places in the text, never negative here.
  const auto span = [](const char* from, const char* to) {
    return static_cast<std::size_t>(to - from);
  };
  for (const char* line = text; line < text + size;) {
    const auto* end = static_cast<const char*>(memchr(line, '\n', size - span(text, line)));
    if (end == nullptr) end = text + size;
    const auto* eq = static_cast<const char*>(memchr(line, '=', span(line, end)));
    const int i = eq == nullptr ? -1 : field_of({line, span(line, eq)});
    if (i >= 0 && (seen & (1U << i)) != 0) {
      *meta = SnapshotMeta{};
      return fail_data(Step::repeated, kFields[static_cast<std::size_t>(i)].key);
    }
    if (i >= 0) {
      seen |= 1U << i;
      const Field& f = kFields[static_cast<std::size_t>(i)];
      // A stray byte reads as what sel-save would have written for it.
      (void)written({eq + 1, span(eq + 1, end)}, f.value(*meta), f.size);
    }
    line = end + 1;
  }
  return kDone;
}

Status snapshot_meta_read(const char* dir, SnapshotMeta* meta) {
  *meta = SnapshotMeta{};
  char path[PATH_MAX];
  if (snprintf(path, sizeof path, "%s/%s", dir, SNAPSHOT_META_NAME) >=
      static_cast<int>(sizeof path)) {
    return fail_data(Step::too_long, SNAPSHOT_META_NAME, PATH_MAX);
  }
  const FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) return errno == ENOENT ? kDone : fail_errno(Step::open, SNAPSHOT_META_NAME);
  char text[SNAPSHOT_META_MAX];
  const ssize_t n = read_full(fd.fd, text, sizeof text);
  if (n < 0) return fail_errno(Step::read, SNAPSHOT_META_NAME);
  return snapshot_meta_parse(text, static_cast<std::size_t>(n), meta);
}

bool snapshot_zone_usable(const char* zone) {
  if (zone[0] == '\0' || zone[0] == '/' || zone[0] == ':' || strstr(zone, "..") != nullptr)
    return false;
  return strspn(zone, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/_+-.,:<>") ==
         strlen(zone);
}
