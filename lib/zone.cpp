#include "lib/zone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// The file that the C library reads for `tz`, or false where `tz` names none (a POSIX
// rule such as "EST5EDT" that is no file): "" and ":" are /etc/localtime, an absolute
// path is itself, any other name lies under TZDIR (/usr/share/zoneinfo).
bool zone_file(const char* tz, char (&path)[PATH_MAX]) {
  if (tz[0] == ':') ++tz;
  if (tz[0] == '\0') tz = "/etc/localtime";
  if (tz[0] == '/') return snprintf(path, sizeof path, "%s", tz) < static_cast<int>(sizeof path);
  const char* dir = getenv("TZDIR");
  if (dir == nullptr || dir[0] == '\0') dir = "/usr/share/zoneinfo";
  return snprintf(path, sizeof path, "%s/%s", dir, tz) < static_cast<int>(sizeof path);
}

}  // namespace

bool zone_load() {
  (void)setenv("TZ", ":/etc/localtime", 0);
  const char* tz = getenv("TZ");
  char path[PATH_MAX];
  struct stat st {};
  // Looked at without opening it: an open of a FIFO would wait for a writer.
  if (tz != nullptr && zone_file(tz, path) && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    (void)setenv("TZ", "UTC0", 1);
    tzset();
    return false;
  }
  tzset();
  return true;
}
