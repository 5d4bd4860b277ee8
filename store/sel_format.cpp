#include "store/sel_format.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "lib/posix.h"

bool sel_info_path(char* buf, std::size_t size, const char* dir) {
  const int n = snprintf(buf, size, "%s/sel.inf", dir);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

bool sel_record_path(char* buf, std::size_t size, const char* dir, int file) {
  const int n = snprintf(buf, size, "%s/sel.%d", dir, file);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

int sel_ring_latest_file(int rec_count, int oldest_file) {
  if (rec_count <= 0) return oldest_file;
  return (oldest_file + (rec_count - 1) / SEL_RECS_PER_FILE) % SEL_FILES;
}

int sel_ring_latest_id(int rec_count, int oldest_file) {
  if (rec_count <= 0) return 0;
  return sel_slot_id(sel_ring_latest_file(rec_count, oldest_file),
                     (rec_count - 1) % SEL_RECS_PER_FILE);
}

int sel_ring_records_in(int rec_count, int oldest_file, int file) {
  const int distance = (file - oldest_file + SEL_FILES) % SEL_FILES;
  const int left = rec_count - distance * SEL_RECS_PER_FILE;
  if (left <= 0) return 0;
  return left < SEL_RECS_PER_FILE ? left : SEL_RECS_PER_FILE;
}

void sel_ring_position(const SelInfo& info, int ordinal, int* file, int* pos) {
  *file = (info.oldest_file + ordinal / SEL_RECS_PER_FILE) % SEL_FILES;
  *pos = ordinal % SEL_RECS_PER_FILE;
}

int sel_slot_ordinal(const SelInfo& info, int id) {
  if (id < 1 || id > SEL_MAX_RECS) return -1;
  const int from_oldest = id - 1 - info.oldest_file * SEL_RECS_PER_FILE;
  const int ordinal = ((from_oldest % SEL_MAX_RECS) + SEL_MAX_RECS) % SEL_MAX_RECS;
  return ordinal < info.rec_count ? ordinal : -1;
}

SelInfo sel_ring_info(std::int32_t version, std::int32_t rec_count, std::int32_t oldest_file) {
  return SelInfo{version,
                 rec_count,
                 oldest_file,
                 sel_ring_latest_file(rec_count, oldest_file),
                 sel_ring_latest_id(rec_count, oldest_file),
                 5};
}

void sel_info_parse(FILE* in, SelInfo* info) {
  std::int32_t* fields[] = {&info->version, &info->rec_count, &info->oldest_file,
                            &info->latest_file, &info->latest_id};
  long values[5];
  for (int i = 0; i < 5; ++i) values[i] = *fields[i];
  // "%ld" converts with strtol, which holds an overlong number at LONG_MAX or LONG_MIN;
  // held_at_int then brings it to an int, so a copied store reads alike everywhere.
  // NOLINTBEGIN(cert-err34-c)
  const int read =
      fscanf(in, "%ld %ld %ld %ld %ld", &values[0], &values[1], &values[2], &values[3], &values[4]);
  // NOLINTEND(cert-err34-c)
  for (int i = 0; i < 5; ++i) *fields[i] = held_at_int(values[i]);
  info->fields_read = read < 0 ? 0 : read;
}

int sel_read_info(const char* path, SelInfo* info) {
  const int fd = open_regular(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  FILE* in = fdopen(fd, "r");
  if (in == nullptr) {
    close(fd);
    return -1;
  }
  sel_info_parse(in, info);
  (void)fclose(in);  // read only: closing cannot lose anything
  return 0;
}

int sel_write_info(const char* dir, const SelInfo& info) {
  char path[SEL_PATH_MAX * 2];
  if (!sel_info_path(path, sizeof path, dir)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  char text[80];
  const int len = snprintf(text, sizeof text, "%d %d %d %d %d\n", info.version, info.rec_count,
                           info.oldest_file, info.latest_file, info.latest_id);
  return replace_file_durably(path, text, static_cast<std::size_t>(len));
}

unsigned sel_info_faults(const SelInfo& info) {
  if (info.fields_read < 5) return SEL_INFO_SHORT;
  unsigned faults = 0;
  if (info.rec_count < 0 || info.rec_count > SEL_MAX_RECS) faults |= SEL_INFO_BAD_COUNT;
  if (info.oldest_file < 0 || info.oldest_file >= SEL_FILES) faults |= SEL_INFO_BAD_OLDEST;
  if (info.latest_file < 0 || info.latest_file >= SEL_FILES) faults |= SEL_INFO_BAD_LATEST;
  if (faults != 0 || info.rec_count == 0) return faults;
  if (info.latest_file != sel_ring_latest_file(info.rec_count, info.oldest_file)) {
    faults |= SEL_INFO_OTHER_LATEST;
  }
  return faults;
}

void sel_info_fault_text(unsigned faults, const SelInfo& info, char* buf, std::size_t size) {
  const unsigned fault = faults & (~faults + 1);
  // Cut to the caller's buffer.
  switch (fault) {
    case SEL_INFO_SHORT:
      (void)snprintf(buf, size, "holds %d of its 5 numbers", info.fields_read);
      break;
    case SEL_INFO_BAD_COUNT:
      (void)snprintf(buf, size, "record count %d is outside 0 to %d", info.rec_count, SEL_MAX_RECS);
      break;
    case SEL_INFO_BAD_OLDEST:
      (void)snprintf(buf, size, "oldest file %d is outside 0 to %d", info.oldest_file,
                     SEL_FILES - 1);
      break;
    case SEL_INFO_BAD_LATEST:
      (void)snprintf(buf, size, "latest file %d is outside 0 to %d", info.latest_file,
                     SEL_FILES - 1);
      break;
    case SEL_INFO_OTHER_LATEST:
      (void)snprintf(buf, size, "latest file %d, but %d records from file %d end in file %d",
                     info.latest_file, info.rec_count, info.oldest_file,
                     sel_ring_latest_file(info.rec_count, info.oldest_file));
      break;
    default: (void)snprintf(buf, size, "fault %#x", fault); break;
  }
}
