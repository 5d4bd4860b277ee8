// Writes the records of a range of a copied store with the row writers of rows.h,
// filtered and in the order asked for.
#include <cerrno>
#include <cstring>

#include "store/sel_walk.h"
#include "common/rows.h"
#include "workstation/selexport/selexport.h"

namespace {

// The records of the range, held so that they can be filtered and turned around.
struct Collector {
  SelRecord* recs;
  int n;
  static void records(void* ctx, const SelRecord* recs, int n) {
    auto* c = static_cast<Collector*>(ctx);
    for (int i = 0; i < n && c->n < SEL_MAX_RECS; ++i) c->recs[c->n++] = recs[i];
  }
};

SelRecord held[SEL_MAX_RECS];  // 256 KiB, the whole ring

}  // namespace

int export_records(FILE* out, FILE* err, const StoreDir& store, const SelRange& range,
                   const ExportOptions& options) {
  if (options.format == ExportFormat::csv) write_csv_header(out);
  Collector collector{held, 0};
  const SelWalkEnd end = sel_walk({store.dir, range.start_file, range.start_pos, range.count},
                                  {&collector, Collector::records, nullptr, nullptr});
  const int error = errno;
  for (int i = 0; i < collector.n; ++i) {
    const SelRecord& rec = held[options.reverse ? collector.n - 1 - i : i];
    if (!filter_match(options.filter, rec)) continue;
    switch (options.format) {
      case ExportFormat::jsonl: write_jsonl(out, rec); break;
      case ExportFormat::csv: write_csv(out, rec); break;
    }
  }
  switch (end.result) {
    case SEL_WALK_DONE: return 0;
    case SEL_WALK_NOT_REGULAR:
      fprintf(err, "selexport: %s/sel.%d is not a regular file\n", store.name, end.file);
      return 1;
    case SEL_WALK_SHORT:
      fprintf(err,
              "selexport: %s/sel.%d ends before the records that the info file promises; "
              "selexport --check tells more\n",
              store.name, end.file);
      return 1;
    default:
      fprintf(err, "selexport: cannot read %s/sel.%d: %s\n", store.name, end.file, strerror(error));
      return 1;
  }
}
