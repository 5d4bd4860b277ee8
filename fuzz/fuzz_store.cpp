// The store readers against any store: any info file text, record files of any length
// (or missing, or directories), lock files that cannot be opened, and any counts.
// A module that lost power mid-write, or a store copied off one, may look like this.
// It runs the tool's own dispatcher, with its fixed paths and the queue of key 7.
//
// Input:
//   [0]      kind of record files 0..3, two bits each: 1 missing, 2 a directory,
//            else a regular file
//   [1]      bit 0 no info file, bit 1 the info file is a directory, bit 2 the store
//            lock file is a directory, bit 3 the info lock file is a directory,
//            bits 4..7 run info, rd_all, rd_first, rd_last
//   [2..9]   four big-endian 16-bit lengths: bits 15..6 records (modulo 1002),
//            bits 5..0 the bytes of a torn record at the end
//   [10..13] rd_first count, [14..17] rd_last count (big-endian, signed)
//   [18]     one more mode value, run with the rd_first count (any value)
//   then     the info file's text up to a NUL byte, then the record bytes, repeated
//            to fill the record files
#include <fcntl.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "lib/coding.h"
#include "lib/msgq.h"
#include "store/sel_access.h"
#include "store/sel_run_option.h"

// It runs only inside a module root (workstation/sel-view/modroot), never touching a host's real /mnt,
// and does not pause: the reader pauses 10 microseconds after every chunk and the locks
// are polled every 10 microseconds; neither matters to what is read, nothing else here
// contends for the locks, and a real pause would make each run a thousand times slower.
extern "C" int usleep(useconds_t) { return 0; }

namespace {

// Clears whatever the previous run left at `path`: a file or an empty directory.
void remove_path(const char* path) {
  if (unlink(path) != 0) rmdir(path);
}

void write_file(const char* path, const void* bytes, std::size_t len) {
  remove_path(path);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || (len > 0 && write(fd, bytes, len) != static_cast<ssize_t>(len))) abort();
  close(fd);
}

void require_module_root(const char* target) {
  const char* root = getenv("SEL_MODROOT");
  if (root == nullptr || strcmp(root, "1") != 0) {
    fprintf(stderr, "%s writes /mnt/logs/sel: run it through workstation/sel-view/modroot\n", target);
    exit(2);
  }
}


constexpr int kMaxRecsPerFile = SEL_RECS_PER_FILE + 2;  // 0..1001: one past a full file
constexpr std::size_t kHeader = 19;
constexpr std::size_t kFileBytes = static_cast<std::size_t>(kMaxRecsPerFile) * 64 + 63;

unsigned char g_file[kFileBytes];
int g_qid = -1;

void make_dir(const char* path) {
  remove_path(path);
  if (mkdir(path, 0755) != 0) abort();
}

// Fills `len` bytes with the pattern repeated from its byte `skew`: one period byte by
// byte, then by doubling what is filled (a byte loop would cost more than the readers).
void fill(unsigned char* out, std::size_t len, const std::uint8_t* pattern,
          std::size_t pattern_len, std::size_t skew) {
  if (pattern_len == 0) {
    memset(out, 0xa5, len);
    return;
  }
  std::size_t done = 0;
  for (; done < len && done < pattern_len; ++done) out[done] = pattern[(skew + done) % pattern_len];
  for (; done < len; done *= 2) memcpy(out + done, out, done < len - done ? done : len - done);
}

// Takes every message off seld's queue; the number taken.
int drain_queue() {
  struct {
    long type;
    unsigned char body[8192];
  } msg;
  int taken = 0;
  while (msgrcv(g_qid, &msg, sizeof msg.body, 0, IPC_NOWAIT | MSG_NOERROR) >= 0) ++taken;
  return taken;
}

// The lowest free descriptor: a lock or record file left open shows here.
int lowest_free_fd() {
  const int fd = open("/dev/null", O_RDONLY);
  if (fd < 0) abort();
  close(fd);
  return fd;
}

void run_mode(int mode, int count) {
  const int fd_before = lowest_free_fd();
  const int result = sel_run_option(mode, count);
  fflush(stdout);
  // 2 only when a record file could not be opened, and then one clear request.
  if (result != SEL_DONE && result != SEL_NO_RECORD_FILE && result != SEL_NO_STORE) abort();
  const int clears = drain_queue();
  if (clears != (result == SEL_NO_RECORD_FILE ? 1 : 0)) abort();
  if (lowest_free_fd() != fd_before) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  require_module_root("fuzz_store");
  setenv("TZ", "UTC", 1);
  tzset();
  // The listing is not looked at; the checks are on results, requests and descriptors.
  const int null = open("/dev/null", O_WRONLY);
  if (null < 0 || dup2(null, 1) < 0) abort();
  close(null);
  g_qid = msgget(static_cast<key_t>(QKEY_SELD), IPC_CREAT | 0666);
  if (g_qid < 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return -1;
  const std::uint8_t kinds = data[0];
  const std::uint8_t flags = data[1];
  const std::uint8_t* text = data + kHeader;
  const std::size_t rest = size - kHeader;
  const auto* nul = static_cast<const std::uint8_t*>(memchr(text, 0, rest));
  const std::size_t text_len = nul != nullptr ? static_cast<std::size_t>(nul - text) : rest;
  const std::uint8_t* pattern = nul != nullptr ? nul + 1 : text + rest;
  const std::size_t pattern_len = rest - text_len - (nul != nullptr ? 1 : 0);

  if (flags & 1) {
    remove_path(SEL_INFO_FILE);
  } else if (flags & 2) {
    make_dir(SEL_INFO_FILE);
  } else {
    write_file(SEL_INFO_FILE, text, text_len);
  }
  if (flags & 4) make_dir(SEL_LOCK_DB); else remove_path(SEL_LOCK_DB);
  if (flags & 8) make_dir(SEL_LOCK_INFO); else remove_path(SEL_LOCK_INFO);

  for (int f = 0; f < SEL_FILES; ++f) {
    char path[SEL_PATH_MAX];
    (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, f);
    const unsigned kind = (kinds >> (2 * f)) & 3u;
    if (kind == 1) {
      remove_path(path);
      continue;
    }
    if (kind == 2) {
      make_dir(path);
      continue;
    }
    const unsigned word = static_cast<unsigned>(data[2 + 2 * f]) << 8 | data[3 + 2 * f];
    const std::size_t len = (word >> 6) % kMaxRecsPerFile * 64 + (word & 63);
    // Each file starts at another place in the pattern, so the files differ.
    fill(g_file, len, pattern, pattern_len, static_cast<std::size_t>(f) * 64);
    write_file(path, g_file, len);
  }

  const auto first = static_cast<std::int32_t>(load_be32(data + 10));
  const auto last = static_cast<std::int32_t>(load_be32(data + 14));
  if (flags & 0x10) run_mode(SEL_MODE_INFO, first);
  if (flags & 0x20) run_mode(SEL_MODE_RD_ALL, first);
  if (flags & 0x40) run_mode(SEL_MODE_RD_FIRST, first);
  if (flags & 0x80) run_mode(SEL_MODE_RD_LAST, last);
  run_mode(static_cast<std::int8_t>(data[18]), first);
  return 0;
}
