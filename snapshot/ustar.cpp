#include "snapshot/ustar.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "snapshot/meta.h"
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
// it is not one.
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

// A number field: octal, or GNU's base-256 form of a number too large for it (the first
// byte 0x80, then the number big-endian), so that a huge member is named and refused
// as such. -1 when it is neither, or the number is negative or past LLONG_MAX.
long long number(const unsigned char* field, std::size_t size) {
  if (field[0] != 0x80) return octal(field, size);
  long long value = 0;
  for (std::size_t i = 1; i < size; ++i) {
    if (value > (LLONG_MAX >> 8)) return -1;
    value = value << 8 | field[i];
  }
  return value;
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

long long padded(long long size) { return (size + kBlock - 1) / kBlock * kBlock; }

// Where a member's content goes: a store file (`fd`, at `path`), or nowhere.
struct Target {
  int fd = -1;
  const char* path = nullptr;
};

// Copies `size` bytes of the archive, and the padding after them, to `to`; `member` is
// the member they belong to (its path, PATH_MAX bytes). What arrived of a member cut
// short is written all the same (cut_short, `value` its bytes): a reader may take its
// whole records. A write that fails names the target's path, copied into `member`.
Status copy(int in, Target to, long long size, char* member) {
  unsigned char buf[16 * USTAR_BLOCK];
  for (long long done = 0; done < padded(size);) {
    const long long want = std::min(padded(size) - done, static_cast<long long>(sizeof buf));
    const ssize_t got = read_full(in, buf, static_cast<std::size_t>(want));
    if (got < 0) return fail_errno(Step::read, member);
    const long long content = std::min(size - done, static_cast<long long>(got));
    if (to.fd >= 0 && content > 0 && write_all(to.fd, buf, static_cast<std::size_t>(content)) != 0) {
      const int error = errno;
      (void)snprintf(member, PATH_MAX, "%s", to.path);
      return Status{Step::write, error, member, 0};
    }
    if (got != want) return fail_data(Step::cut_short, member, done + std::max(content, 0LL));
    done += want;
  }
  return kDone;
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

// One "key=value" of a pax header: its path and size go to `next`, other keys are
// ignored. False when the value is not one.
bool pax_record(std::string_view record, Next* next) {
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
  return true;
}

// The records of a pax extended header, each "LEN key=value\n" with LEN counting the
// whole record. False when a record is malformed.
bool pax_records(const char* p, std::size_t n, Next* next) {
  while (n > 0) {
    std::size_t len = 0, i = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9' && len <= n; ++i)
      len = len * 10 + static_cast<std::size_t>(p[i] - '0');
    if (i == 0 || i >= n || p[i] != ' ' || len > n || len <= i + 2 || p[len - 1] != '\n') {
      return false;
    }
    if (!pax_record({p + i + 1, len - i - 2}, next)) return false;
    p += len;
    n -= len;
  }
  return true;
}

// The archive being read: where it is read from and unpacked to, the member that a
// failure names, and what an extended header said of the next member.
struct Extract {
  int fd = -1;
  const char* dir = nullptr;
  char* member = nullptr;  // PATH_MAX bytes
  Next next;
  long long outside = 0;  // bytes read that are not the store's files
  unsigned taken = 0;     // the files written, a bit each
};

// Counts `bytes` more of the archive outside the store's files (a header, another
// member): a refusal once they would pass USTAR_OUTSIDE_MAX, before they are read.
// `size` is the member's, for the refusal.
Status outside(Extract& x, long long bytes, long long size) {
  if (bytes > USTAR_OUTSIDE_MAX - x.outside) return fail_data(Step::too_large, x.member, size);
  x.outside += bytes;
  return kDone;
}

// Reads the content of an extended header into what it says of the next member; one
// too long to name a store file is skipped.
Status read_extended(Extract& x, char type, long long size) {
  char buf[16 * USTAR_BLOCK];
  if (const Status counted = outside(x, kBlock + padded(size), size); !counted.ok()) return counted;
  if (size > static_cast<long long>(sizeof buf)) return copy(x.fd, {}, size, x.member);
  const auto n = static_cast<std::size_t>(size);
  const auto whole = static_cast<std::size_t>(padded(size));  // fits
  const ssize_t got = read_full(x.fd, buf, whole);
  if (got < 0) return fail_errno(Step::read, x.member);
  if (got != static_cast<ssize_t>(whole)) return fail_data(Step::cut_short, x.member);
  if (type == 'x')
    return pax_records(buf, n, &x.next) ? kDone : fail_data(Step::bad_header, x.member);
  const std::size_t length = strnlen(buf, n);  // GNU ends the name with a NUL
  if (length < sizeof x.next.path) {
    memcpy(x.next.path, buf, length);
    x.next.path[length] = '\0';
  }
  return kDone;
}

// Whether `block` holds a header: its checksum and its size as they must be.
bool header_sound(const unsigned char* block) {
  return static_cast<long long>(checksum(block)) == octal(block + kChecksum, kChecksumSize) &&
         number(block + kSize, kNumberSize) >= 0;
}

// Reads the next header into `block`: `*end` when it is the archive's end.
Status read_header(int fd, unsigned char (&block)[USTAR_BLOCK], bool first, bool* end) {
  const ssize_t got = read_full(fd, block, sizeof block);
  if (got < 0) return fail_errno(Step::read);
  if (got != static_cast<ssize_t>(sizeof block)) {
    return fail_data(first ? Step::not_archive : Step::cut_short);  // too short for one header
  }
  *end = std::all_of(block, block + USTAR_BLOCK, [](unsigned char b) { return b == 0; });
  if (!*end && !header_sound(block)) {
    return fail_data(first ? Step::not_archive : Step::bad_header);
  }
  return kDone;
}

// The member's path, as an extended header before it named it (unless `own`: an
// extended header's own path) or as its own header does.
void member_path(Extract& x, const unsigned char (&block)[USTAR_BLOCK], bool own) {
  if (!own && x.next.path[0] != '\0') {
    memcpy(x.member, x.next.path, PATH_MAX);
    x.next.path[0] = '\0';
    return;
  }
  // POSIX splits a long path into a prefix and the name; GNU's own header does not.
  const bool posix = memcmp(block + kMagic, "ustar", 6) == 0;
  const auto* prefix = reinterpret_cast<const char*>(block + kPrefix);
  const int prefix_length = posix ? static_cast<int>(strnlen(prefix, kPrefixSize)) : 0;
  (void)snprintf(x.member, PATH_MAX, "%.*s%s%.*s", prefix_length, prefix,
                 prefix_length > 0 ? "/" : "", static_cast<int>(kNameSize),
                 reinterpret_cast<const char*>(block + kName));
}

// Writes the member of `size` bytes into the store's file `file` of the directory.
Status unpack_member(Extract& x, int file, long long size) {
  // Refused before a byte is written: a member larger than a store file can be would
  // otherwise fill the disk it is unpacked to.
  if (size > ustar_store_file_max(taken_name(file))) {
    return fail_data(Step::too_large, x.member, size);
  }
  if ((x.taken & (1U << file)) != 0) return fail_data(Step::repeated, taken_name(file));
  x.taken |= 1U << file;
  char target[PATH_MAX];
  if (!join(target, x.dir, taken_name(file))) return fail_data(Step::too_long, x.dir, PATH_MAX);
  const FdGuard out(open(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.fd < 0) {
    // The target, not the archive, failed: a full disk, a directory that went.
    const int error = errno;
    (void)snprintf(x.member, PATH_MAX, "%s", target);
    return Status{Step::write, error, x.member, 0};
  }
  return copy(x.fd, {out.fd, target}, size, x.member);
}

// The member whose header is `block`: an extended header read, a store file unpacked,
// anything else skipped.
Status take_member(Extract& x, const unsigned char (&block)[USTAR_BLOCK]) {
  long long size = number(block + kSize, kNumberSize);
  const char type = static_cast<char>(block[kType]);
  const bool extended = type == 'x' || type == 'L';
  member_path(x, block, extended);
  if (extended) return read_extended(x, type, size);
  if (x.next.size >= 0) size = x.next.size;
  x.next.size = -1;
  const int file = type == '0' || type == '\0' || type == '7' ? store_file_of(x.member) : -1;
  if (file >= 0) return unpack_member(x, file, size);
  if (const Status counted = outside(x, kBlock + padded(size), size); !counted.ok()) return counted;
  return copy(x.fd, {}, size, x.member);
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

bool ustar_begins(const unsigned char* head, std::size_t size) {
  return size >= USTAR_BLOCK && header_sound(head);
}

Status ustar_extract_store(int fd, const char* dir, char (&member)[PATH_MAX]) {
  member[0] = '\0';
  Extract x{fd, dir, member, {}};
  for (bool first = true;; first = false) {
    unsigned char block[USTAR_BLOCK];
    bool end = false;
    if (const Status s = read_header(fd, block, first, &end); !s.ok() || end) return s;
    if (const Status s = take_member(x, block); !s.ok()) return s;
  }
}

std::int64_t ustar_store_file_max(const char* path) {
  const int file = store_file_of(path);
  return file < 0 ? USTAR_OUTSIDE_MAX : file == 0 ? kInfoMax : kRecordFileMax;
}

void ustar_remove_store(const char* dir) {
  char path[PATH_MAX];
  for (int i = 0; i < kTakenFiles; ++i) {
    if (join(path, dir, taken_name(i))) unlink(path);
  }
  rmdir(dir);
}
