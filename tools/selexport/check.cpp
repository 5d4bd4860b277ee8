// The consistency check: what the readers rely on in a store, as `seld` promises it.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "lib/sel_record.h"
#include "tools/selexport/selexport.h"

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
  const SelInfo& info = store.info;
  if (!store.info_found) {
    fault(report, "sel.inf: missing or cannot be opened");
    return false;
  }
  if (info.fields_read < 5) {
    fault(report, "sel.inf: holds %d of its 5 numbers", info.fields_read);
    return false;
  }
  bool usable = true;
  if (info.rec_count < 0 || info.rec_count > SEL_MAX_RECS) {
    fault(report, "sel.inf: record count %d is outside 0 to %d", info.rec_count, SEL_MAX_RECS);
    usable = false;
  }
  if (info.oldest_file < 0 || info.oldest_file >= SEL_FILES) {
    fault(report, "sel.inf: oldest file %d is outside 0 to %d", info.oldest_file, SEL_FILES - 1);
    usable = false;
  }
  if (info.latest_file < 0 || info.latest_file >= SEL_FILES) {
    fault(report, "sel.inf: latest file %d is outside 0 to %d", info.latest_file, SEL_FILES - 1);
    usable = false;
  }
  if (!usable || info.rec_count == 0) return usable;
  // rd_last counts back from the latest file, and info prints the latest id.
  const int latest = sel_ring_latest_file(info.rec_count, info.oldest_file);
  const int latest_id = sel_ring_latest_id(info.rec_count, info.oldest_file);
  if (info.latest_file != latest) {
    fault(report, "sel.inf: latest file %d, but %d records from file %d end in file %d",
          info.latest_file, info.rec_count, info.oldest_file, latest);
  }
  if (info.latest_id != latest_id) {
    fault(report, "sel.inf: latest id %d, but the newest record's id is %d", info.latest_id,
          latest_id);
  }
  return true;
}

void check_records(Report& report, const StoreDir& store, int file, int promised) {
  char path[PATH_MAX];
  if (!store_file_path(store.dir, file, path)) {
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

  std::vector<unsigned char> bytes;
  if (const int error = store_load_file(store.dir, file, bytes); error != 0) {
    fault(report, "sel.%d: cannot be read: %s", file, strerror(error));
    return;
  }
  const int whole = static_cast<int>(bytes.size() / SEL_RECORD_SIZE);
  const int present = std::min(whole, promised);
  int faulty = 0;
  for (int pos = 0; pos < present; ++pos) {
    const unsigned char* rec = bytes.data() + static_cast<std::size_t>(pos) * SEL_RECORD_SIZE;
    const int ring_id = file * SEL_RECS_PER_FILE + pos + 1;
    const bool zeros = all_bytes(rec, 0x00);
    const bool ones = all_bytes(rec, 0xFF);
    const auto id = static_cast<std::int32_t>(load_be32(rec));
    if (!zeros && !ones && id == ring_id) continue;
    if (++faulty > kRecordFaultsShown) {
      ++report.faults;
      continue;
    }
    if (zeros) {
      fault(report, "sel.%d record %d: all bytes 0x00", file, pos);
    } else if (ones) {
      fault(report, "sel.%d record %d: all bytes 0xff", file, pos);
    } else {
      fault(report, "sel.%d record %d: id %d where the ring has id %d", file, pos, id, ring_id);
    }
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
    fprintf(out, "%s: not sound, faults found: %d\n", store.dir, report.faults);
    return 1;
  }
  fprintf(out, "%s: sound: %d records\n", store.dir, store.info.rec_count);
  return 0;
}
