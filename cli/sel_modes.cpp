#include "cli/sel_modes.h"

#include <syslog.h>
#include <unistd.h>

#include "decode/sel_print.h"
#include "lib/log.h"
#include "store/sel_range.h"
#include "store/sel_rd.h"

namespace {

// seld may be waiting for a file; a short pause after each chunk lets it in.
constexpr useconds_t kChunkPauseMicros = 10;

void print_records(void* ctx, const SelRecord* recs, int n) {
  FILE* out = static_cast<FILE*>(ctx);
  for (int i = 0; i < n; ++i) sel_fprint_rec(out, recs[i]);
}

void pause_after_chunk(void* /*ctx*/) { usleep(kChunkPauseMicros); }

}  // namespace

int sel_print_recs(int start_file, int start_pos, int count, int oldest_file, int lock, FILE* out) {
  const SelWalkEnd end = sel_read_recs({start_file, start_pos, count, oldest_file, lock},
                                       {out, print_records, nullptr, pause_after_chunk});
  char path[SEL_PATH_MAX];
  (void)sel_record_path(path, sizeof path, SEL_STORE_DIR, end.file);  // fits: file < 4
  switch (end.result) {
    case SEL_WALK_NO_FILE:
      log_msg(LOG_ERR, "Error open %s for read", path);
      fprintf(out, "Error reading sel.%d\n", end.file);
      return SEL_NO_RECORD_FILE;
    case SEL_WALK_NOT_REGULAR:
      // Not a file that went missing: clearing would throw away the good files beside it.
      log_msg(LOG_ERR, "%s is not a regular file", path);
      fprintf(out, "Error reading sel.%d: not a regular file\n", end.file);
      return SEL_OK;
    case SEL_WALK_NO_SEEK:
      log_msg(LOG_ERR, "Error fseek %s", path);
      fputs("SEL ends unexpectedly.\n", out);
      return SEL_OK;
    case SEL_WALK_SHORT: fputs("SEL ends unexpectedly.\n", out); return SEL_OK;
    default: return SEL_OK;
  }
}

int sel_print_first_recs(const SelInfo& info, int count, int lock, FILE* out) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    sel_release_lock(lock);
    return SEL_OK;
  }
  const SelRange r = sel_range_first(info, count);
  if (r.capped) fprintf(out, "SEL contains only %d records\n", info.rec_count);
  return sel_print_recs(r.start_file, r.start_pos, r.count, info.oldest_file, lock, out);
}

int sel_print_last_recs(const SelInfo& info, int count, int lock, FILE* out) {
  if (info.rec_count == 0) {
    fputs("SEL is empty.\n", out);
    sel_release_lock(lock);
    return SEL_OK;
  }
  // A count below 1 prints nothing; the range reader drops the lock.
  const SelRange r = sel_range_last(info, count);
  if (r.capped) fprintf(out, "SEL contains only %d records\n", info.rec_count);
  return sel_print_recs(r.start_file, r.start_pos, r.count, info.oldest_file, lock, out);
}
