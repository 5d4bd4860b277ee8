// The floor for `sel rd_all`: the least work that reads and prints the store in the
// same way. It keeps the reader's pattern (the info file read once; per chunk of at
// most 20 records one open, seek, read and close; a 10 us pause after each chunk with
// a 1 ns timer slack) and, per record, the same ctime text, made the cheapest way the C
// library offers (localtime_r and asctime_r, without ctime's look at TZ at every call),
// and one printf of a line of about the same length. It takes no locks and decodes
// nothing else.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kChunk = 20;
constexpr int kPerFile = 1000;
constexpr int kRecSize = 64;

constexpr auto kTypes = std::to_array<const char*>({"DXA", "Agent Event", "Agent Error",
                                                    "DXA CLI", "Fud", "DXA Temperature",
                                                    "KALDO", "CFE", "BIOS", "BIOS",
                                                    "Boot Loader", "Heartbeat", "Trap Event",
                                                    "BIOS", "DXA Generic", "unknown-type"});
static_assert(kTypes.size() == 16);
constexpr auto kSeverities = std::to_array<const char*>(
    {"normal", "notice", "warning", "critical", "emergency", "unknown-severity"});
static_assert(kSeverities.size() == 6);
// Stand-ins for the decoded payload, about as long as the tool's texts on average.
constexpr auto kTexts = std::to_array<const char*>({
    "Watchdog timer expired, appliance reset by agent.",
    "Temperature 41 C (WL 5, WH 60, CH 70): normal.",
    "Power button pressed while appliance was off.",
    "Firmware update failed: image checksum mismatch.",
});
static_assert(kTexts.size() == 4);

int be32(const unsigned char* p) {
  return static_cast<int>((static_cast<unsigned>(p[0]) << 24) |
                          (static_cast<unsigned>(p[1]) << 16) |
                          (static_cast<unsigned>(p[2]) << 8) | static_cast<unsigned>(p[3]));
}
unsigned be16(const unsigned char* p) { return (static_cast<unsigned>(p[0]) << 8) | p[1]; }

}  // namespace

int main() {
  int version = 0, count = 0, oldest = 0, latest = 0, latest_id = 0;
  FILE* info = fopen("/mnt/logs/sel/sel.inf", "r");
  if (info == nullptr) return 1;
  const int fields = fscanf(info, "%d %d %d %d %d", &version, &count, &oldest, &latest,
                            &latest_id);
  fclose(info);
  if (fields != 5 || oldest < 0 || oldest > 3) return 1;

  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  setenv("TZ", ":/etc/localtime", 0);  // as the reader
  alignas(16) unsigned char chunk[kChunk * kRecSize];
  char path[100];
  int file = oldest;
  int pos = 0;
  while (count > 0) {
    int want = count < kChunk ? count : kChunk;
    if (want > kPerFile - pos) want = kPerFile - pos;
    snprintf(path, sizeof path, "/mnt/logs/sel/sel.%d", file);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    lseek(fd, static_cast<off_t>(pos) * kRecSize, SEEK_SET);
    const ssize_t got = read(fd, chunk, static_cast<size_t>(want) * kRecSize);
    close(fd);
    if (got != static_cast<ssize_t>(want) * kRecSize) return 1;
    for (int i = 0; i < want; ++i) {
      const unsigned char* rec = chunk + i * kRecSize;
      const time_t when = be32(rec + 4);
      struct tm tm {};
      char date[26];
      const unsigned type = be16(rec + 14);
      const auto severity = static_cast<unsigned>(be32(rec + 8));
      printf("Record %d: %.24s [%s.%s]: %s\n", be32(rec),
             asctime_r(localtime_r(&when, &tm), date),
             kTypes[type < 15 ? type : 15], kSeverities[severity < 5 ? severity : 5],
             kTexts[type % kTexts.size()]);
    }
    pos += want;
    if (pos >= kPerFile) {
      file = (file + 1) % 4;
      pos = 0;
    }
    count -= want;
    usleep(10);
  }
  return 0;
}
