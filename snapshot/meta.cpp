#include "snapshot/meta.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
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

}  // namespace

std::size_t snapshot_meta_format(SnapshotMeta meta, char* buf, std::size_t size) {
  std::size_t used = 0;
  for (const Field& f : kFields) {
    const char* value = f.value(meta);
    if (value[0] == '\0') continue;
    const int n = snprintf(buf + used, size - used, "%s=%.*s\n", f.key,
                           static_cast<int>(strnlen(value, f.size)), value);
    if (n < 0 || static_cast<std::size_t>(n) >= size - used) return 0;
    used += static_cast<std::size_t>(n);
  }
  return used;
}

SnapshotMeta snapshot_meta_parse(const char* text, std::size_t size) {
  SnapshotMeta meta{};
  // Without substr, which would bring the C++ library's exceptions into sel-save.
  // Lengths between two places in the text, never negative here.
  const auto span = [](const char* from, const char* to) {
    return static_cast<std::size_t>(to - from);
  };
  for (const char* line = text; line < text + size;) {
    const auto* end = static_cast<const char*>(memchr(line, '\n', size - span(text, line)));
    if (end == nullptr) end = text + size;
    const auto* eq = static_cast<const char*>(memchr(line, '=', span(line, end)));
    for (const Field& f : kFields) {
      if (eq == nullptr || std::string_view(line, span(line, eq)) != f.key) continue;
      const std::size_t n = std::min<std::size_t>(span(eq, end) - 1, f.size - 1);
      char* to = f.value(meta);
      for (std::size_t j = 0; j < n; ++j) {
        const auto c = static_cast<unsigned char>(eq[1 + j]);
        to[j] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
      }
      to[n] = '\0';
    }
    line = end + 1;
  }
  return meta;
}

bool snapshot_meta_read(const char* dir, SnapshotMeta* meta) {
  char path[PATH_MAX];
  if (snprintf(path, sizeof path, "%s/%s", dir, SNAPSHOT_META_NAME) >=
      static_cast<int>(sizeof path)) {
    return false;
  }
  const FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  char text[SNAPSHOT_META_MAX];
  const ssize_t n = fd.fd < 0 ? -1 : read_full(fd.fd, text, sizeof text);
  if (n < 0) return false;
  *meta = snapshot_meta_parse(text, static_cast<std::size_t>(n));
  return true;
}

bool snapshot_zone_usable(const char* zone) {
  if (zone[0] == '\0' || zone[0] == '/' || zone[0] == ':' || strstr(zone, "..") != nullptr)
    return false;
  return strspn(zone, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/_+-.,:<>") ==
         strlen(zone);
}
