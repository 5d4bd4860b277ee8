// Reads a range of a copied store and writes its records as rows with the row writers of
// rows.h; among several stores each row names its source first.
#include <cerrno>
#include <cstdlib>

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

Status read_range(const StoreDir& store, const SelRange& range, SelRecord* recs, int* n) {
  Collector collector{recs, 0};
  const Status end = sel_walk({store.dir, range.start_file, range.start_pos, range.count},
                              {&collector, Collector::records, nullptr, nullptr});
  const int file = static_cast<int>(end.value);
  *n = collector.n;
  if (end.ok()) return kDone;
  // The walk names the record file by its index; messages name it by its file name.
  return Status{end.step, end.error, SEL_FILE_NAMES[1 + file], end.value};
}

void say_read_refused(const StoreDir& store, const Status& status) {
  switch (status.step) {
    case Step::not_regular: say("%s/%s is not a regular file", store.name, status.path); break;
    case Step::cut_short:
      say("%s/%s ends before the records that the info file promises; selexport --check "
          "tells more",
          store.name, status.path);
      break;
    default: say_status(status, "cannot read %s/%s", store.name, status.path); break;
  }
}

void write_rows_header(FILE* out, ExportFormat format, bool with_source) {
  if (format != ExportFormat::csv) return;
  if (with_source) fputs("source,", out);
  write_csv_header(out);
}

void write_rows_of(FILE* out, ExportFormat format, std::span<const SelRecord> recs,
                   const char* source) {
  const RowFormat rows = format == ExportFormat::csv ? RowFormat::csv : RowFormat::jsonl;
  if (source == nullptr) {
    write_rows(out, rows, recs);
    return;
  }
  // The source as a leading field of each row: the same for all of them.
  char* lead = nullptr;
  std::size_t size = 0;
  FILE* mem = open_memstream(&lead, &size);
  if (mem == nullptr) return;
  if (rows == RowFormat::jsonl) {
    fputs("\"source\":", mem);
    json_text(mem, source);
  } else {
    csv_text(mem, source);
  }
  fputc(',', mem);
  (void)fclose(mem);  // a memory stream only fails to grow, and then holds less
  write_rows(out, rows, recs, {lead, size});
  free(lead);
}
