#include "standins/storewriter/store_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "lib/posix.h"
#include "standins/storewriter/record_builder.h"

namespace {

int write_file(const char* dir, const SelInfo& info, int file, RecordSource source, void* ctx,
               std::uint32_t first_id) {
  char path[PATH_MAX];
  if (!sel_record_path(path, sizeof path, dir, file)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  FdGuard fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.fd < 0) return -1;
  const int distance = (file - info.oldest_file + SEL_FILES) % SEL_FILES;
  const int count = sel_ring_records_in(info.rec_count, info.oldest_file, file);
  for (int pos = 0; pos < count; ++pos) {
    const int index = distance * SEL_RECS_PER_FILE + pos;
    SelRecord rec = source(index, ctx);
    store_be32(rec.bytes.data(), first_id != 0
                                     ? first_id + static_cast<std::uint32_t>(index)
                                     : static_cast<std::uint32_t>(sel_slot_id(file, pos)));
    if (write_all(fd.fd, rec.bytes.data(), rec.bytes.size()) != 0) return -1;
  }
  return close(fd.release());
}

}  // namespace

int store_write(const char* dir, const SelInfo& info, RecordSource source, void* ctx,
                std::uint32_t first_id) {
  for (int file = 0; file < SEL_FILES; ++file) {
    if (write_file(dir, info, file, source, ctx, first_id) != 0) return -1;
  }
  return sel_write_info(dir, info).ok() ? 0 : -1;
}

SelRecord store_plain_record(int index, void* /*ctx*/) {
  return RecordBuilder(0, index, 0, 15).record();
}
