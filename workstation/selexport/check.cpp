// The consistency check: what the readers rely on in a store, as `seld` promises it.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "decode/record_text.h"
#include "decode/sel_record.h"
#include "lib/visible.h"
#include "store/sel_walk.h"
#include "workstation/selexport/selexport.h"
#include "workstation/selexport/time_back.h"

namespace {

// Beyond this many per file, faulty records are only counted: a wiped file would
// otherwise bury the other findings under a thousand lines.
constexpr int kRecordFaultsShown = 10;

// Where the faults are written, and how many were found.
struct Findings {
  FILE* out = nullptr;
  int faults = 0;
};

__attribute__((format(printf, 2, 3))) void fault(Findings& findings, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(findings.out, format, args);
  va_end(args);
  fputc('\n', findings.out);
  ++findings.faults;
}

bool all_bytes(const unsigned char* rec, unsigned char value) {
  return std::all_of(rec, rec + SEL_RECORD_SIZE, [&](unsigned char b) { return b == value; });
}

// The info file's own consistency. False when the record files cannot be located
// from it.
bool check_info(Findings& findings, const StoreDir& store) {
  if (const Status& read = store.info_read; !read.ok()) {
    fault(findings, "sel.inf: %s", read.error == ENOENT ? "missing" : strerror(read.error));
    return false;
  }
  const unsigned faults = sel_info_faults(store.info);
  for (unsigned bit = 1; bit <= faults; bit <<= 1) {
    if ((faults & bit) == 0) continue;
    char why[100];
    sel_info_fault_text(bit, store.info, why, sizeof why);
    fault(findings, "sel.inf: %s", why);
  }
  return (faults & SEL_INFO_UNUSABLE) == 0;
}

// What was read of each record of the ring, by its ordinal from the oldest.
enum Kind : unsigned char { kUnread, kZeros, kOnes, kRecord };
struct Ring {
  std::array<Kind, SEL_MAX_RECS> kind{};
  std::array<std::int32_t, SEL_MAX_RECS> id{};
  std::array<std::int32_t, SEL_MAX_RECS> time{};
};

// How seld numbered the records: each slot its own id (file x 1000 + position + 1), or
// on and on in ring order from the oldest, across the wrap and 32-bit overflow. The
// one that more records follow; a record that follows neither is reported.
struct Numbering {
  bool by_slot = true;
  std::uint32_t first = 1;  // numbered on: the oldest record's id

  std::int32_t id_of(const SelInfo& info, int ordinal) const {
    int file = 0, pos = 0;
    sel_ring_position(info, ordinal, &file, &pos);
    return by_slot ? sel_slot_id(file, pos)
                   : static_cast<std::int32_t>(first + static_cast<std::uint32_t>(ordinal));
  }
};

Numbering numbering_of(const SelInfo& info, const Ring& ring) {
  // The first id that most records agree on, numbered on: a majority vote in one pass.
  std::uint32_t candidate = 0;
  int votes = 0;
  for (int o = 0; o < info.rec_count; ++o) {
    if (ring.kind[o] != kRecord) continue;
    const std::uint32_t first =
        static_cast<std::uint32_t>(ring.id[o]) - static_cast<std::uint32_t>(o);
    if (votes == 0) candidate = first;
    votes += first == candidate ? 1 : -1;
  }
  const Numbering on{false, candidate};
  int by_slot = 0, numbered_on = 0;
  for (int o = 0; o < info.rec_count; ++o) {
    if (ring.kind[o] != kRecord) continue;
    by_slot += ring.id[o] == Numbering{}.id_of(info, o) ? 1 : 0;
    numbered_on += ring.id[o] == on.id_of(info, o) ? 1 : 0;
  }
  return numbered_on > by_slot ? on : Numbering{};
}

void check_record(Findings& findings, const Ring& ring, const SelInfo& info, const Numbering& ids,
                  int ordinal, int* faulty) {
  const std::int32_t due = ids.id_of(info, ordinal);
  const Kind kind = ring.kind[ordinal];
  if (kind == kUnread || (kind == kRecord && ring.id[ordinal] == due)) return;
  int file = 0, pos = 0;
  sel_ring_position(info, ordinal, &file, &pos);
  if (++*faulty > kRecordFaultsShown) {
    ++findings.faults;
  } else if (kind != kRecord) {
    fault(findings, "sel.%d record %d: all bytes 0x%s", file, pos, kind == kZeros ? "00" : "ff");
  } else {
    fault(findings, "sel.%d record %d: id %d where the %s has id %d", file, pos, ring.id[ordinal],
          ids.by_slot ? "ring" : "sequence", due);
  }
}

// Reads the records that the ring promises in `file` into `ring`, reporting what is
// wrong with the file itself.
void read_file(Findings& findings, const StoreDir& store, int file, int first_ordinal, int promised,
               Ring& ring) {
  char path[PATH_MAX];
  if (!sel_record_path(path, sizeof path, store.dir, file)) {
    fault(findings, "sel.%d: the path is too long", file);
    return;
  }
  struct stat st {};
  if (stat(path, &st) != 0) {
    if (errno == ENOENT) {
      fault(findings, "sel.%d: missing", file);
    } else {
      fault(findings, "sel.%d: %s", file, strerror(errno));
    }
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    fault(findings, "sel.%d: not a regular file", file);
    return;
  }
  const long long size = st.st_size;
  const long long record = static_cast<long long>(SEL_RECORD_SIZE);
  if (size != promised * record) {
    fault(findings, "sel.%d: %lld bytes where the info file promises %d records (%lld bytes)%s",
          file, size, promised, promised * record,
          size % record != 0 ? "; its last record is cut short" : "");
  }

  // Only the records the ring promises are read, a chunk at a time, whatever the
  // file's size.
  SelRecord chunk[SEL_CHUNK_RECS];
  for (int pos = 0; pos < promised;) {
    const int want = std::min(promised - pos, SEL_CHUNK_RECS);
    int got = 0;
    const Status read = sel_read_chunk(path, pos, want, chunk, &got);
    if (!read.ok()) {
      fault(findings, "sel.%d: cannot be read: %s", file, strerror(read.error));
      return;
    }
    for (int i = 0; i < got; ++i) {
      const unsigned char* bytes = chunk[i].bytes.data();
      const int ordinal = first_ordinal + pos + i;
      ring.kind[ordinal] = all_bytes(bytes, 0x00)   ? kZeros
                           : all_bytes(bytes, 0xFF) ? kOnes
                                                    : kRecord;
      ring.id[ordinal] = sel_record_id(chunk[i]);
      ring.time[ordinal] = sel_timestamp(chunk[i]);
    }
    if (got < want) break;
    pos += got;
  }
}

// The records, file by file in ring order, against the numbering that most follow, and
// the info file's latest id against the newest record's; where the records' time goes
// back into `back`.
Numbering check_records(Findings& findings, const StoreDir& store, TimeBack* back) {
  const SelInfo& info = store.info;
  static Ring ring;  // 20 KB, once per run
  ring = Ring{};
  // Files outside the ring are never read, whatever they hold.
  for (int i = 0, first = 0; i < SEL_FILES; ++i) {
    const int file = sel_file_after(info.oldest_file, i);
    const int promised = sel_ring_records_in(info.rec_count, info.oldest_file, file);
    if (promised > 0) read_file(findings, store, file, first, promised, ring);
    first += promised;
  }
  const Numbering ids = numbering_of(info, ring);
  if (info.rec_count > 0 && info.latest_id != ids.id_of(info, info.rec_count - 1)) {
    fault(findings, "sel.inf: latest id %d, but the newest record's id is %d", info.latest_id,
          ids.id_of(info, info.rec_count - 1));
  }
  for (int o = 0, faulty = 0; o < info.rec_count; ++o) {
    check_record(findings, ring, info, ids, o, &faulty);
    if (ring.kind[o] == kRecord) time_back_add(back, o, ring.id[o], ring.time[o]);
    int file = 0, pos = 0;
    sel_ring_position(info, o, &file, &pos);
    // A file's last record: its count of faults not shown.
    if (sel_ordinal_ends_file(o) || o + 1 == info.rec_count) {
      if (faulty > kRecordFaultsShown) {
        fprintf(findings.out, "sel.%d: %d more faulty records\n", file,
                faulty - kRecordFaultsShown);
      }
      faulty = 0;
    }
  }
  return ids;
}

// A clock that went back is no fault of the store, but a reader of its times must know.
void warn_time_back(FILE* out, const SelInfo& info, const TimeBack& back) {
  if (back.times == 0) return;
  int file = 0, pos = 0;
  sel_ring_position(info, back.first_ordinal, &file, &pos);
  char time[32], after[32];
  iso_time(back.first_time, time);
  iso_time(back.first_after, after);
  fprintf(out,
          "warning: time goes back %d time%s in ring order, first at sel.%d record %d (id %d): "
          "%s after %s\n",
          back.times, back.times == 1 ? "" : "s", file, pos, back.first_id, time, after);
}

}  // namespace

bool check_store(FILE* out, const StoreDir& store) {
  Findings findings{out};
  Numbering ids;
  TimeBack back;
  if (check_info(findings, store)) ids = check_records(findings, store, &back);
  warn_time_back(out, store.info, back);
  // The name as given may hold any byte: shown as say() shows it.
  visible_write(out, store.name);
  if (findings.faults != 0) {
    fprintf(out, ": not sound, faults found: %d\n", findings.faults);
    return false;
  }
  const int count = store.info.rec_count;
  if (count == 0) {
    fputs(": sound: 0 records\n", out);
  } else if (ids.by_slot) {
    fprintf(out, ": sound: %d records, ids by slot\n", count);
  } else {
    fprintf(out, ": sound: %d records, ids numbered on from %d\n", count,
            static_cast<std::int32_t>(ids.first));
  }
  return true;
}
