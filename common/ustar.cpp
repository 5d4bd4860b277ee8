#include "common/ustar.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "common/snapshot_meta.h"
#include "lib/posix.h"
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
  char long_name[PATH_MAX] = "";  // a GNU long-name member names the member after it
  for (;;) {
    errno = 0;
    if (read_full(fd, block, sizeof block) != static_cast<ssize_t>(sizeof block)) {
      return fail(why, why_size, "", errno);
    }
    if (std::all_of(block, block + USTAR_BLOCK, [](unsigned char b) { return b == 0; })) return 0;
    const long long size = octal(block + kSize, kNumberSize);
    if (static_cast<long long>(checksum(block)) != octal(block + kChecksum, kChecksumSize) ||
        size < 0) {
      (void)snprintf(why, why_size, "is not a tar archive, or is damaged");
      return -1;
    }
    char path[PATH_MAX];
    if (long_name[0] != '\0') {
      memcpy(path, long_name, sizeof path);
      long_name[0] = '\0';
    } else {
      // POSIX splits a long path into a prefix and the name; GNU's own header does not.
      const bool posix = memcmp(block + kMagic, "ustar", 6) == 0;
      const auto* prefix = reinterpret_cast<const char*>(block + kPrefix);
      const int prefix_length = posix ? static_cast<int>(strnlen(prefix, kPrefixSize)) : 0;
      (void)snprintf(path, sizeof path, "%.*s%s%.*s", prefix_length, prefix,
                     prefix_length > 0 ? "/" : "", static_cast<int>(kNameSize),
                     reinterpret_cast<const char*>(block + kName));
    }
    const char type = static_cast<char>(block[kType]);
    if (type == 'L' && size < static_cast<long long>(sizeof long_name)) {
      const auto n = static_cast<std::size_t>(size);
      const std::size_t padded = (n + USTAR_BLOCK - 1) / USTAR_BLOCK * USTAR_BLOCK;  // fits
      errno = 0;
      if (read_full(fd, long_name, padded) != static_cast<ssize_t>(padded)) {
        return fail(why, why_size, "a long name", errno);
      }
      long_name[n] = '\0';
      continue;
    }
    const int file = type == '0' || type == '\0' || type == '7' ? store_file_of(path) : -1;
    if (file < 0) {
      errno = 0;
      if (skip(fd, size) != 0) return fail(why, why_size, path, errno);
      continue;
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
