// Reads a range of a copied store and writes its records as rows with the row writers of
// rows.h; among several stores each row names its source first.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/escape.h"
#include "common/rows.h"
#include "common/say.h"
#include "store/sel_walk.h"
#include "workstation/selexport/selexport.h"

namespace {

struct Collector {
  SelRecord* recs;
  int n;
  static void records(void* ctx, const SelRecord* recs, int n) {
    auto* c = static_cast<Collector*>(ctx);
    for (int i = 0; i < n && c->n < SEL_MAX_RECS; ++i) c->recs[c->n++] = recs[i];
  }
};

}  // namespace

namespace {

// The `want` records of `file` from `pos` on, all inside the file, after c.recs[c.n]:
// what is whole of them when the file ends early.
Status read_part(const StoreDir& store, int file, int pos, int want, Collector& c) {
  const int before = c.n;
  const Status end =
      sel_walk({store.dir, file, pos, want}, {&c, Collector::records, nullptr, nullptr});
  if (end.step != Step::cut_short) return end;
  // The walk hands on nothing of the chunk that the file's end cut short.
  char path[PATH_MAX];
  int got = 0;
  const int done = c.n - before;
  if (sel_record_path(path, sizeof path, store.dir, file) &&
      sel_read_chunk(path, pos + done, std::min(want - done, SEL_CHUNK_RECS), c.recs + c.n, &got)
          .ok()) {
    c.n += got;
  }
  return end;
}

}  // namespace

void read_range(const StoreDir& store, const SelRange& range, SelRecord* recs, int* n,
                RangeGaps* gaps) {
  Collector collector{recs, 0};
  gaps->n = 0;
  for (int file = range.start_file, pos = range.start_pos, to_go = range.count; to_go > 0;
       file = sel_file_after(file, 1), pos = 0) {
    const int want = std::min(to_go, SEL_RECS_PER_FILE - pos);
    const int before = collector.n;
    const Status end = read_part(store, file, pos, want, collector);
    // The walk names the record file by its index; messages name it by its file name.
    if (!end.ok() && gaps->n < SEL_FILES + 1) {
      gaps->file[gaps->n++] = {Status{end.step, end.error, SEL_FILE_NAMES[1 + file], end.value},
                               want, collector.n - before};
    }
    to_go -= want;
  }
  *n = collector.n;
}

void say_read_gaps(const StoreDir& store, const RangeGaps& gaps) {
  for (int i = 0; i < gaps.n; ++i) {
    const FileGap& g = gaps.file[i];
    const Status& s = g.why;
    if (s.step == Step::cut_short) {
      say("%s: %s is cut short after %d of %d records", store.name, s.path, g.read, g.wanted);
    } else if (s.step == Step::not_regular) {
      say("%s: %s is not a regular file: its %d records are not read", store.name, s.path,
          g.wanted);
    } else if (s.error == ENOENT) {
      say("%s: %s is missing: its %d records are not read", store.name, s.path, g.wanted);
    } else {
      say("%s: %s cannot be read (%s): its %d records are not read", store.name, s.path,
          strerror(s.error), g.wanted);
    }
  }
}

void write_rows_header(FILE* out, ExportFormat format, bool with_source) {
  if (format != ExportFormat::csv) return;
  if (with_source) fputs("source,", out);
  write_csv_header(out);
}

std::string row_lead(ExportFormat format, std::string_view source) {
  char* lead = nullptr;
  std::size_t size = 0;
  FILE* mem = open_memstream(&lead, &size);
  if (mem == nullptr) return {};
  if (format == ExportFormat::csv) {
    csv_text(mem, source);
  } else {
    fputs("\"source\":", mem);
    json_text(mem, source);
  }
  fputc(',', mem);
  (void)fclose(mem);  // a memory stream only fails to grow, and then holds less
  std::string text(lead, size);
  free(lead);
  return text;
}

void write_rows_of(FILE* out, ExportFormat format, std::span<const SelRecord> recs,
                   const char* source) {
  const RowFormat rows = format == ExportFormat::csv ? RowFormat::csv : RowFormat::jsonl;
  write_rows(out, rows, recs, source == nullptr ? std::string() : row_lead(format, source));
}
