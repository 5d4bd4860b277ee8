// The consistency check: what the readers rely on in a store, as `seld` promises it.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "lib/sel_record.h"
#include "store/sel_walk.h"
#include "workstation/selexport/selexport.h"

namespace {

// Beyond this many per file, faulty records are only counted: a wiped file would
// otherwise bury the other findings under a thousand lines.
constexpr int kRecordFaultsShown = 10;

struct Report {
  FILE* out = nullptr;
  int faults = 0;
};

__attribute__((format(printf, 2, 3))) void fault(Report& report, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(report.out, format, args);
  va_end(args);
  fputc('\n', report.out);
  ++report.faults;
}

bool all_bytes(const unsigned char* rec, unsigned char value) {
  return std::all_of(rec, rec + SEL_RECORD_SIZE, [&](unsigned char b) { return b == value; });
}

// The info file's own consistency. False when the record files cannot be located
// from it.
bool check_info(Report& report, const StoreDir& store) {
  if (!store.info_found) {
    fault(report, "sel.inf: %s",
          store.info_errno == ENOENT ? "missing" : strerror(store.info_errno));
    return false;
  }
  const unsigned faults = sel_info_faults(store.info);
  for (unsigned bit = 1; bit <= faults; bit <<= 1) {
    if ((faults & bit) == 0) continue;
    char why[100];
    sel_info_fault_text(bit, store.info, why, sizeof why);
    fault(report, "sel.inf: %s", why);
  }
  return (faults & SEL_INFO_UNUSABLE) == 0;
}

void check_record(Report& report, const SelRecord& rec, int file, int pos, int* faulty) {
  const unsigned char* bytes = rec.bytes.data();
  const int ring_id = sel_slot_id(file, pos);
  const bool zeros = all_bytes(bytes, 0x00);
  const bool ones = all_bytes(bytes, 0xFF);
  const std::int32_t id = sel_record_id(rec);
  if (!zeros && !ones && id == ring_id) return;
  if (++*faulty > kRecordFaultsShown) {
    ++report.faults;
  } else if (zeros) {
    fault(report, "sel.%d record %d: all bytes 0x00", file, pos);
  } else if (ones) {
    fault(report, "sel.%d record %d: all bytes 0xff", file, pos);
  } else {
    fault(report, "sel.%d record %d: id %d where the ring has id %d", file, pos, id, ring_id);
  }
}

void check_records(Report& report, const StoreDir& store, int file, int promised) {
  char path[PATH_MAX];
  if (!sel_record_path(path, sizeof path, store.dir, file)) {
    fault(report, "sel.%d: the path is too long", file);
    return;
  }
  struct stat st {};
  if (stat(path, &st) != 0) {
    if (errno == ENOENT) {
      fault(report, "sel.%d: missing", file);
    } else {
      fault(report, "sel.%d: %s", file, strerror(errno));
    }
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    fault(report, "sel.%d: not a regular file", file);
    return;
  }
  const long long size = st.st_size;
  const long long record = static_cast<long long>(SEL_RECORD_SIZE);
  if (size != promised * record) {
    fault(report, "sel.%d: %lld bytes where the info file promises %d records (%lld bytes)%s",
          file, size, promised, promised * record,
          size % record != 0 ? "; its last record is cut short" : "");
  }

  // Only the records the ring promises are read, a chunk at a time, whatever the
  // file's size.
  int faulty = 0;
  SelRecord chunk[SEL_CHUNK_RECS];
  for (int pos = 0; pos < promised;) {
    const int want = std::min(promised - pos, SEL_CHUNK_RECS);
    const int got = sel_read_chunk(path, pos, want, chunk);
    if (got < 0) {
      fault(report, "sel.%d: cannot be read: %s", file, strerror(errno));
      return;
    }
    for (int i = 0; i < got; ++i) check_record(report, chunk[i], file, pos + i, &faulty);
    if (got < want) break;
    pos += got;
  }
  if (faulty > kRecordFaultsShown) {
    fprintf(report.out, "sel.%d: %d more faulty records\n", file, faulty - kRecordFaultsShown);
  }
}

}  // namespace

int check_store(FILE* out, const StoreDir& store) {
  Report report{out};
  if (check_info(report, store)) {
    const SelInfo& info = store.info;
    // Files outside the ring are never read, whatever they hold.
    for (int i = 0; i < SEL_FILES; ++i) {
      const int file = (info.oldest_file + i) % SEL_FILES;
      const int promised = sel_ring_records_in(info.rec_count, info.oldest_file, file);
      if (promised > 0) check_records(report, store, file, promised);
    }
  }
  if (report.faults != 0) {
    fprintf(out, "%s: not sound, faults found: %d\n", store.name, report.faults);
    return 1;
  }
  fprintf(out, "%s: sound: %d records\n", store.name, store.info.rec_count);
  return 0;
}
