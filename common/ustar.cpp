#include "common/ustar.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/snapshot_meta.h"
#include "lib/posix.h"
#include "decode/sel_record.h"
#include "store/sel_format.h"

namespace {

// Field offsets and sizes of the header.
constexpr std::size_t kName = 0, kNameSize = 100;
constexpr std::size_t kMode = 100, kUid = 108, kGid = 116, kIdSize = 8;
constexpr std::size_t kSize = 124, kMtime = 136, kNumberSize = 12;
constexpr std::size_t kChecksum = 148, kChecksumSize = 8;
constexpr std::size_t kType = 156;
constexpr std::size_t kMagic = 257;  // "ustar\0" and version "00" (GNU: "ustar  \0")
constexpr std::size_t kPrefix = 345, kPrefixSize = 155;
constexpr long long kBlock = USTAR_BLOCK;

// The header's sum with the checksum field taken as blanks.
unsigned checksum(const unsigned char* block) {
  unsigned sum = ' ' * kChecksumSize;
  for (std::size_t i = 0; i < USTAR_BLOCK; ++i) {
    if (i < kChecksum || i >= kChecksum + kChecksumSize) sum += block[i];
  }
  return sum;
}

// An octal field: digits, ended by a NUL or a blank, leading blanks allowed. -1 when
// it is not one (GNU's base-256 form for huge numbers included: no store file is huge).
long long octal(const unsigned char* field, std::size_t size) {
  std::size_t i = 0;
  while (i < size && field[i] == ' ') ++i;
  long long value = 0;
  for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i) {
    if (value > (LLONG_MAX >> 3)) return -1;
    value = value * 8 + (field[i] - '0');
  }
  return i < size && field[i] != '\0' && field[i] != ' ' ? -1 : value;
}

// `width` - 1 octal digits and a NUL; the callers' values fit.
void put_octal(unsigned char* field, std::size_t width, unsigned long long value) {
  field[width - 1] = '\0';
  for (std::size_t i = width - 1; i-- > 0; value >>= 3) {
    field[i] = static_cast<unsigned char>('0' + (value & 7U));
  }
}

// The files taken from an archive: the store's, then what the snapshot says of itself.
constexpr int kTakenFiles = 1 + SEL_FILES + 1;
const char* taken_name(int i) { return i <= SEL_FILES ? SEL_FILE_NAMES[i] : SNAPSHOT_META_NAME; }

// The file taken that a member's path names (its last component), or -1.
int store_file_of(const char* path) {
  std::size_t end = strlen(path);
  while (end > 0 && path[end - 1] == '/') --end;
  std::size_t start = end;
  while (start > 0 && path[start - 1] != '/') --start;
  for (int i = 0; i < kTakenFiles; ++i) {
    const char* name = taken_name(i);
    if (strlen(name) == end - start && memcmp(path + start, name, end - start) == 0) {
      return i;
    }
  }
  return -1;
}

// "dir/name" with async-signal-safe calls only.
bool join(char (&buf)[PATH_MAX], const char* dir, const char* name) {
  const std::size_t d = strlen(dir), n = strlen(name);
  if (d + 1 + n >= sizeof buf) return false;
  memcpy(buf, dir, d);
  buf[d] = '/';
  memcpy(buf + d + 1, name, n + 1);
  return true;
}

// Copies `size` bytes of the archive, and the padding after them, to `out` (-1: only
// reads them). 0, or -1 with errno set, or left as it was when the archive ends first.
int copy(int in, int out, long long size) {
  unsigned char buf[16 * USTAR_BLOCK];
  const long long padded = (size + kBlock - 1) / kBlock * kBlock;
  for (long long done = 0; done < padded;) {
    const long long want = std::min(padded - done, static_cast<long long>(sizeof buf));
    const long long content = std::min(size - done, want);
    if (read_full(in, buf, static_cast<std::size_t>(want)) != want) return -1;
    if (out >= 0 && content > 0 && write_all(out, buf, static_cast<std::size_t>(content)) != 0) {
      return -1;
    }
    done += want;
  }
  return 0;
}
int skip(int in, long long size) { return copy(in, -1, size); }

// Why reading or unpacking `what` failed: the system's error, or the archive's end.
int fail(char* why, std::size_t why_size, const char* what, int error) {
  if (error != 0) {
    (void)snprintf(why, why_size, "cannot be unpacked%s%s: %s", what[0] != '\0' ? " at " : "", what,
                   strerror(error));
  } else if (what[0] != '\0') {
    (void)snprintf(why, why_size, "ends inside %s: the archive is cut short", what);
  } else {
    (void)snprintf(why, why_size, "ends before its end blocks: the archive is cut short");
  }
  return -1;
}

// The largest store files: an info file's five numbers take well under a block, a
// record file holds at most a file's worth of records.
constexpr long long kInfoMax = 512;
constexpr long long kRecordFileMax =
    static_cast<long long>(SEL_RECS_PER_FILE) * static_cast<long long>(SEL_RECORD_SIZE);

// What an extended header (pax 'x', GNU 'L') says of the member that follows it.
struct Next {
  char path[PATH_MAX] = "";
  long long size = -1;  // -1: the member's own header says
};

constexpr int kMalformed = -2;

// The records of a pax extended header, each "LEN key=value\n" with LEN counting the
// whole record: its path and size go to `next`, other keys are ignored. False when a
// record is malformed.
bool pax_records(const char* p, std::size_t n, Next* next) {
  while (n > 0) {
    std::size_t len = 0, i = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9' && len <= n; ++i)
      len = len * 10 + static_cast<std::size_t>(p[i] - '0');
    if (i == 0 || i >= n || p[i] != ' ' || len > n || len <= i + 2 || p[len - 1] != '\n') {
      return false;
    }
    const std::string_view record(p + i + 1, len - i - 2);
    const std::size_t eq = record.find('=');
    if (eq == std::string_view::npos) return false;
    // Not substr(): its range check would link in libstdc++.
    const std::string_view key(record.data(), eq);
    const std::string_view value(record.data() + eq + 1, record.size() - eq - 1);
    if (key == "path") {
      if (value.size() >= sizeof next->path || value.find('\0') != std::string_view::npos) {
        return false;
      }
      memcpy(next->path, value.data(), value.size());
      next->path[value.size()] = '\0';
    } else if (key == "size") {
      long long size = 0;
      for (const char c : value) {
        if (c < '0' || c > '9' || size > (LLONG_MAX - 9) / 10) return false;
        size = size * 10 + (c - '0');
      }
      if (value.empty()) return false;
      next->size = size;
    }
    p += len;
    n -= len;
  }
  return true;
}

// Reads the content of an extended header into what it says of the next member; one
// too long to name a store file is skipped. 0; kMalformed; -1 with errno set, or left
// as it was when the archive ends first.
int read_extended(int in, char type, long long size, Next* next) {
  char buf[16 * USTAR_BLOCK];
  if (size > static_cast<long long>(sizeof buf)) return skip(in, size);
  const auto n = static_cast<std::size_t>(size);
  const std::size_t padded = (n + USTAR_BLOCK - 1) / USTAR_BLOCK * USTAR_BLOCK;  // fits
  if (read_full(in, buf, padded) != static_cast<ssize_t>(padded)) return -1;
  if (type == 'x') return pax_records(buf, n, next) ? 0 : kMalformed;
  const std::size_t length = strnlen(buf, n);  // GNU ends the name with a NUL
  if (length < sizeof next->path) {
    memcpy(next->path, buf, length);
    next->path[length] = '\0';
  }
  return 0;
}

}  // namespace

bool ustar_header(unsigned char (&block)[USTAR_BLOCK], const char* name, unsigned mode,
                  std::uint32_t size, std::int64_t mtime, bool directory) {
  memset(block, 0, sizeof block);
  const std::size_t length = strlen(name);
  if (length >= kNameSize) return false;
  memcpy(block + kName, name, length);
  put_octal(block + kMode, kIdSize, mode & 07777U);
  put_octal(block + kUid, kIdSize, 0);
  put_octal(block + kGid, kIdSize, 0);
  put_octal(block + kSize, kNumberSize, size);
  put_octal(block + kMtime, kNumberSize, mtime < 0 ? 0 : static_cast<unsigned long long>(mtime));
  block[kType] = directory ? '5' : '0';
  memcpy(block + kMagic,
         "ustar\0"
         "00",
         8);  // POSIX
  // Six digits, a NUL and a blank.
  put_octal(block + kChecksum, 7, checksum(block));
  block[kChecksum + 7] = ' ';
  return true;
}

int ustar_extract_store(int fd, const char* dir, char* why, std::size_t why_size) {
  unsigned char block[USTAR_BLOCK];
  Next next;
  for (bool first = true;; first = false) {
    errno = 0;
    const ssize_t got = read_full(fd, block, sizeof block);
    if (got != static_cast<ssize_t>(sizeof block)) {
      if (!first || got < 0) return fail(why, why_size, "", errno);
      (void)snprintf(why, why_size, "is not a tar archive");  // too short for one header
      return -1;
    }
    if (std::all_of(block, block + USTAR_BLOCK, [](unsigned char b) { return b == 0; })) return 0;
    long long size = octal(block + kSize, kNumberSize);
    if (static_cast<long long>(checksum(block)) != octal(block + kChecksum, kChecksumSize) ||
        size < 0) {
      (void)snprintf(why, why_size, "%s",
                     first ? "is not a tar archive" : "is damaged: a header is not one");
      return -1;
    }
    const char type = static_cast<char>(block[kType]);
    if (type == 'x' || type == 'L') {
      errno = 0;
      const int read = read_extended(fd, type, size, &next);
      if (read == kMalformed) {
        (void)snprintf(why, why_size, "is damaged: a pax header is not one");
        return -1;
      }
      if (read != 0) return fail(why, why_size, "an extended header", errno);
      continue;
    }
    char path[PATH_MAX];
    if (next.path[0] != '\0') {
      memcpy(path, next.path, sizeof path);
    } else {
      // POSIX splits a long path into a prefix and the name; GNU's own header does not.
      const bool posix = memcmp(block + kMagic, "ustar", 6) == 0;
      const auto* prefix = reinterpret_cast<const char*>(block + kPrefix);
      const int prefix_length = posix ? static_cast<int>(strnlen(prefix, kPrefixSize)) : 0;
      (void)snprintf(path, sizeof path, "%.*s%s%.*s", prefix_length, prefix,
                     prefix_length > 0 ? "/" : "", static_cast<int>(kNameSize),
                     reinterpret_cast<const char*>(block + kName));
    }
    if (next.size >= 0) size = next.size;
    next.path[0] = '\0';
    next.size = -1;
    const int file = type == '0' || type == '\0' || type == '7' ? store_file_of(path) : -1;
    if (file < 0) {
      errno = 0;
      if (skip(fd, size) != 0) return fail(why, why_size, path, errno);
      continue;
    }
    // Refused before a byte is written: a member larger than a store file can be would
    // otherwise fill the disk it is unpacked to.
    const long long most = file == 0 ? kInfoMax : kRecordFileMax;
    if (size > most) {
      (void)snprintf(why, why_size, "holds %s of %lld bytes, more than %s can be (%lld bytes)",
                     path, size, file == 0 ? "an info file" : "a record file", most);
      return -1;
    }
    char target[PATH_MAX];
    if (!join(target, dir, taken_name(file))) {
      (void)snprintf(why, why_size,
                     "cannot be unpacked: the temporary directory's path is too long");
      return -1;
    }
    const FdGuard out(open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.fd < 0 && errno == EEXIST) {
      (void)snprintf(why, why_size, "holds more than one %s", taken_name(file));
      return -1;
    }
    errno = 0;
    if (out.fd < 0 || copy(fd, out.fd, size) != 0) return fail(why, why_size, path, errno);
  }
}

void ustar_remove_store(const char* dir) {
  char path[PATH_MAX];
  for (int i = 0; i < kTakenFiles; ++i) {
    if (join(path, dir, taken_name(i))) unlink(path);
  }
  rmdir(dir);
}
