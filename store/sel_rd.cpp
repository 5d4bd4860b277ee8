#include "store/sel_rd.h"

#include <syslog.h>
#include <unistd.h>

#include <utility>

#include "decode/sel_print.h"
#include "lib/log.h"
#include "store/sel_range.h"
#include "store/sel_walk.h"

namespace {

// seld may be waiting for a file; a short pause after each chunk lets it in.
constexpr useconds_t kChunkPauseMicros = 10;

void print_records(void* ctx, const SelRecord* recs, int n) {
  FILE* out = static_cast<FILE*>(ctx);
  for (int i = 0; i < n; ++i) sel_print_rec(recs[i], out);
}

void pause_after_chunk(void* /*ctx*/) { usleep(kChunkPauseMicros); }

// What the reader says when a walk ends before its count.
int report_end(const Status& end, FILE* out) {
  const int file = static_cast<int>(end.value);
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, file);  // fits: file < 4
  switch (end.step) {
    case Step::open:
      log_msg(LOG_ERR, "Error open %s for read", path);
      fprintf(out, "Error reading sel.%d\n", file);
      return SEL_NO_RECORD_FILE;
    case Step::not_regular:
      // Not a file that went missing: clearing would throw away the good files beside it.
      log_msg(LOG_ERR, "%s is not a regular file", path);
      fprintf(out, "Error reading sel.%d: not a regular file\n", file);
      return SEL_DONE;
    case Step::seek:
      log_msg(LOG_ERR, "Error fseek %s", path);
      fputs("SEL ends unexpectedly.\n", out);
      return SEL_DONE;
    default: fputs("SEL ends unexpectedly.\n", out); return SEL_DONE;
  }
}

// A mode's range of a store that holds records: the line that says so when the count was
// cut to the store, then the records.
int print_range(const SelInfo& info, const SelRange& range, SelLock lock, FILE* out) {
  if (range.capped) fprintf(out, "SEL contains only %d records\n", info.rec_count);
  return sel_print_recs(range.start_file, range.start_pos, range.count, info.oldest_file,
                        std::move(lock), out);
}

}  // namespace

int sel_print_recs(int start_file, int start_pos, int count, int oldest_file, SelLock lock,
                   FILE* out) {
  const Status end = sel_read_recs({start_file, start_pos, count, oldest_file}, std::move(lock),
                                   {out, print_records, nullptr, pause_after_chunk});
  return end.ok() ? SEL_DONE : report_end(end, out);
}

int sel_print_first_recs(const SelInfo& info, int count, SelLock lock, FILE* out) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    return SEL_DONE;
  }
  return print_range(info, sel_range_first(info, count), std::move(lock), out);
}

int sel_print_last_recs(const SelInfo& info, int count, SelLock lock, FILE* out) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    return SEL_DONE;
  }
  // A count below 1 prints nothing; the range reader drops the lock.
  return print_range(info, sel_range_last(info, count), std::move(lock), out);
}
