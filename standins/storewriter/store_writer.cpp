#include "standins/storewriter/store_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include "lib/posix.h"
#include "standins/storewriter/record_builder.h"

namespace {

Status write_file(const char* dir, const SelInfo& info, int file, RecordSource source, void* ctx,
                  std::uint32_t first_id) {
  const char* name = SEL_FILE_NAMES[1 + file];
  char path[PATH_MAX];
  if (!sel_record_path(path, sizeof path, dir, file)) return fail_data(Step::too_long, name);
  FdGuard fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.fd < 0) return fail_errno(Step::open, name);
  const int distance = (file - info.oldest_file + SEL_FILES) % SEL_FILES;
  const int count = sel_ring_records_in(info.rec_count, info.oldest_file, file);
  for (int pos = 0; pos < count; ++pos) {
    const int index = distance * SEL_RECS_PER_FILE + pos;
    SelRecord rec = source(index, ctx);
    store_be32(rec.bytes.data(), first_id != 0
                                     ? first_id + static_cast<std::uint32_t>(index)
                                     : static_cast<std::uint32_t>(sel_slot_id(file, pos)));
    if (write_all(fd.fd, rec.bytes.data(), rec.bytes.size()) != 0) {
      return fail_errno(Step::write, name);
    }
  }
  return close(fd.release()) == 0 ? kDone : fail_errno(Step::write, name);
}

}  // namespace

Status store_write(const char* dir, const SelInfo& info, RecordSource source, void* ctx,
                   std::uint32_t first_id) {
  for (int file = 0; file < SEL_FILES; ++file) {
    if (const Status s = write_file(dir, info, file, source, ctx, first_id); !s.ok()) return s;
  }
  return sel_write_info(dir, info);
}

SelRecord store_plain_record(int index, void* /*ctx*/) {
  return RecordBuilder(0, index, 0, 15).record();
}
