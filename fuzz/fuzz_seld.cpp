// The seld stand-in's request handling with any message bytes, against a store that
// may be missing, sound, or damaged as a power cut or a careless hand leaves it (an
// info file that makes no sense, a record file cut mid-record, the oldest file emptied
// before the info file said so). After every message that seld applies, the store must
// be one that the readers can trust, whatever it was before: an info file in its ranges
// whose promised records are all in the files, under the ids of their slots. seld may
// fail a message only while the files cannot show the ring (four full files under an
// info file that does not tell the oldest), and then until a clear. A rejected message
// touches nothing.
//
// Input:
//   [0]     bits 0 and 1, the store before the first message: 0 none, 1 sound, 2 sound
//           but the info file replaced by the text that follows the header (up to a NUL
//           byte), 3 sound but the newest record file cut to the length below; bit 2:
//           then the oldest record file emptied
//   [1..2]  record count of the sound store (big-endian, modulo 4001)
//   [3]     its oldest file (modulo 4)
//   [4..5]  the cut length in bytes for store 3 (big-endian)
//   then up to 8 messages, each: a big-endian 16-bit length, a byte of fix-ups (bit 0
//   sets `size` to match the length, bit 1 sets `type` to 6, bit 2 sets the count to
//   the number of whole bodies that follow it), and the message bytes from `pri` on

#include <cstdint>

#include "fuzz/fuzz_root.h"
#include "lib/coding.h"
#include "store/sel_store.h"
#include "tools/seld/seld_request.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr std::size_t kHeader = 6;
constexpr int kMaxMessages = 8;
constexpr std::size_t kSizeAt = offsetof(MsgHeader, size);
constexpr std::size_t kTypeAt = offsetof(MsgHeader, type);
constexpr std::size_t kCountAt = offsetof(SelRequest, count);
constexpr std::size_t kBodiesAt = offsetof(SelRequest, body);

unsigned char g_msg[65536];

void put32(unsigned char* at, std::int32_t v) { memcpy(at, &v, sizeof v); }

void record_path(char (&path)[SEL_PATH_MAX], int file) {
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);
}

void remove_store() {
  unlink(SEL_INFO_FILE);
  for (int f = 0; f < SEL_FILES; ++f) {
    char path[SEL_PATH_MAX];
    record_path(path, f);
    unlink(path);
  }
}

// The info file's bytes, or -1 when it cannot be read.
long read_info_text(char* buf, std::size_t size) {
  const int fd = open(SEL_INFO_FILE, O_RDONLY);
  if (fd < 0) return -1;
  const ssize_t n = read(fd, buf, size);
  close(fd);
  return n;
}

// Whether record `pos` of file `file` is there whole, with the id of its slot.
bool slot_holds_its_record(int file, int pos) {
  char path[SEL_PATH_MAX];
  record_path(path, file);
  const int fd = open(path, O_RDONLY);
  unsigned char rec[SEL_RECORD_SIZE] = {};
  const bool whole = fd >= 0 && pread(fd, rec, sizeof rec, static_cast<off_t>(pos) * 64) == 64;
  if (fd >= 0) close(fd);
  return whole && load_be32(rec) == static_cast<std::uint32_t>(sel_slot_id(file, pos));
}

// What the readers rely on: a usable info file, every file of the ring from the oldest
// up to the newest full, the newest holding the rest, and ids by slot. Returns the
// record count.
int check_store() {
  SelInfo info{-1, -1, -1, -1, -1, 0};
  if (sel_get_info(&info) != 0) abort();
  if (sel_info_faults(info) != 0) abort();
  int left = info.rec_count;
  int file = info.oldest_file;
  while (left > 0) {
    const int here = left > SEL_RECS_PER_FILE ? SEL_RECS_PER_FILE : left;
    if (!slot_holds_its_record(file, 0) || !slot_holds_its_record(file, here - 1)) abort();
    left -= here;
    if (left == 0 && file != info.latest_file) abort();
    file = (file + 1) % SEL_FILES;
  }
  return info.rec_count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  require_module_root("fuzz_seld");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return -1;
  const unsigned kind = data[0] & 3u;
  const int count = (data[1] << 8 | data[2]) % (SEL_MAX_RECS + 1);
  const int oldest = data[3] % SEL_FILES;
  const long cut = data[4] << 8 | data[5];
  std::size_t at = kHeader;

  const bool emptied = (data[0] & 4u) != 0;
  remove_store();
  if (kind != 0) {
    const SelInfo shape = sel_ring_info(1, count, oldest);
    if (store_write("/mnt/logs/sel", shape, store_plain_record, nullptr) != 0) abort();
    if (kind == 2) {
      const auto* text = data + at;
      const auto* nul = static_cast<const std::uint8_t*>(memchr(text, 0, size - at));
      const std::size_t len = nul != nullptr ? static_cast<std::size_t>(nul - text) : size - at;
      write_file(SEL_INFO_FILE, text, len);
      at += len + (nul != nullptr ? 1 : 0);
    } else if (kind == 3) {
      char path[SEL_PATH_MAX];
      record_path(path, shape.latest_file);
      if (truncate(path, cut) != 0) abort();
    }
    if (emptied) {
      char path[SEL_PATH_MAX];
      record_path(path, oldest);
      if (truncate(path, 0) != 0) abort();
    }
  }
  bool unclear = kind == 2 && count == SEL_MAX_RECS && !emptied;

  for (int n = 0; n < kMaxMessages && size - at >= 3; ++n) {
    std::size_t len = static_cast<std::size_t>(data[at] << 8 | data[at + 1]);
    const std::uint8_t fix = data[at + 2];
    at += 3;
    if (len > size - at) len = size - at;
    memcpy(g_msg, data + at, len);
    at += len;
    if ((fix & 1) && len >= kSizeAt + 4) {
      put32(g_msg + kSizeAt, static_cast<std::int32_t>(len - sizeof(long)));
    }
    if ((fix & 2) && len >= kTypeAt + 4) put32(g_msg + kTypeAt, SEL_REQUEST_TYPE);
    if ((fix & 4) && len >= kCountAt + 4) {
      const std::size_t bodies = len >= kBodiesAt ? (len - kBodiesAt) / SEL_RECORD_BODY_SIZE : 0;
      put32(g_msg + kCountAt, static_cast<std::int32_t>(bodies));
    }

    char before[128];
    const long before_len = read_info_text(before, sizeof before);
    const int result = seld_handle_message(len > 0 ? g_msg : nullptr, len);
    if (result == SELD_REJECTED) {
      char after[128];
      const long after_len = read_info_text(after, sizeof after);
      if (after_len != before_len ||
          (after_len > 0 && memcmp(before, after, static_cast<std::size_t>(after_len)) != 0)) {
        abort();
      }
      continue;
    }
    if (result == SELD_FAILED) {  // tmpfs does not fail
      if (!unclear) abort();
      continue;
    }
    if (result != SELD_APPLIED) abort();
    std::int32_t req_count = 0;
    memcpy(&req_count, g_msg + kCountAt, sizeof req_count);
    if (req_count == SEL_REQUEST_CLEAR) unclear = false;
    const int now = check_store();
    if (req_count == SEL_REQUEST_CLEAR && now != 0) abort();
    if (req_count > 0 && now == 0) abort();
  }
  return 0;
}
