#include "tools/storewriter/store_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/sel_range.h"
#include "tools/storewriter/record_builder.h"

namespace {

int write_all(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::int32_t store_latest_file(const StoreShape& shape) {
  return sel_ring_latest_file(shape.rec_count, shape.oldest_file);
}

std::int32_t store_latest_id(const StoreShape& shape) {
  return sel_ring_latest_id(shape.rec_count, shape.oldest_file);
}

int store_write_info(const char* dir, std::int32_t version, std::int32_t rec_count,
                     std::int32_t oldest_file, std::int32_t latest_file, std::int32_t latest_id) {
  char path[256];
  // A cut path would name some other file.
  if (snprintf(path, sizeof path, "%s/sel.inf", dir) >= static_cast<int>(sizeof path)) return -1;
  FILE* out = fopen(path, "w");
  if (out == nullptr) return -1;
  fprintf(out, "%d %d %d %d %d\n", version, rec_count, oldest_file, latest_file, latest_id);
  return fclose(out) == 0 ? 0 : -1;
}

int store_write(const char* dir, const StoreShape& shape, RecordSource source, void* ctx) {
  for (int file = 0; file < SEL_FILES; ++file) {
    char path[256];
    if (snprintf(path, sizeof path, "%s/sel.%d", dir, file) >= static_cast<int>(sizeof path)) {
      return -1;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    const int first_index = ((file - shape.oldest_file + SEL_FILES) % SEL_FILES) * SEL_RECS_PER_FILE;
    const int count = sel_ring_records_in(shape.rec_count, shape.oldest_file, file);
    for (int pos = 0; pos < count; ++pos) {
      SelRecord rec = source(first_index + pos, ctx);
      store_be32(rec.bytes.data(), static_cast<std::uint32_t>(file * SEL_RECS_PER_FILE + pos + 1));
      if (write_all(fd, rec.bytes.data(), rec.bytes.size()) != 0) {
        close(fd);
        return -1;
      }
    }
    if (close(fd) != 0) return -1;
  }
  return store_write_info(dir, shape.version, shape.rec_count, shape.oldest_file,
                          store_latest_file(shape), store_latest_id(shape));
}

SelRecord store_plain_record(int index, void* /*ctx*/) {
  return RecordBuilder(0, index, 0, 15).record();
}
