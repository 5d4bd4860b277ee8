#include "module/sel-save/origin.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void module_zone(char* buf, std::size_t size) {
  buf[0] = '\0';
  const char* tz = getenv("TZ");
  if (tz != nullptr && tz[0] == ':') ++tz;
  char link[PATH_MAX];
  if (tz == nullptr || tz[0] == '\0' || strcmp(tz, "/etc/localtime") == 0) {
    const ssize_t n = readlink("/etc/localtime", link, sizeof link - 1);
    if (n <= 0) return;
    link[n] = '\0';
    tz = link;
  }
  if (tz[0] == '/') {
    const char* in_zoneinfo = strstr(tz, "zoneinfo/");
    if (in_zoneinfo == nullptr) return;
    tz = in_zoneinfo + strlen("zoneinfo/");
  }
  // A zone cut short would name another, or none: one too long is left out.
  const std::size_t length = strlen(tz);
  if (length < size) memcpy(buf, tz, length + 1);
}

}  // namespace

SnapshotMeta snapshot_origin(std::time_t now) {
  SnapshotMeta meta{};
  // Room for the longest name Linux allows (64 bytes) and its NUL.
  if (gethostname(meta.host, sizeof meta.host) != 0) meta.host[0] = '\0';
  std::tm tm{};
  if (gmtime_r(&now, &tm) == nullptr ||
      strftime(meta.saved, sizeof meta.saved, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0) {
    meta.saved[0] = '\0';
  }
  module_zone(meta.zone, sizeof meta.zone);
  (void)snprintf(meta.version, sizeof meta.version, "%s", SEL_VERSION);
  return meta;
}
