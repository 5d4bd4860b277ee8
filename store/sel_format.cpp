#include "store/sel_format.h"

#include <fcntl.h>

#include <cstring>

#include "lib/posix.h"

bool sel_info_path(char* buf, std::size_t size, const char* dir) {
  const int n = snprintf(buf, size, "%s/sel.inf", dir);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

bool sel_record_path(char* buf, std::size_t size, const char* dir, int file) {
  const int n = snprintf(buf, size, "%s/sel.%d", dir, file);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

void sel_info_parse(FILE* in, SelInfo* info) {
  std::int32_t* fields[] = {&info->version, &info->rec_count, &info->oldest_file,
                            &info->latest_file, &info->latest_id};
  static_assert(sizeof fields / sizeof fields[0] == SEL_INFO_FIELDS);
  long values[SEL_INFO_FIELDS];
  for (int i = 0; i < SEL_INFO_FIELDS; ++i) values[i] = *fields[i];
  // "%ld" converts with strtol, which holds an overlong number at LONG_MAX or LONG_MIN;
  // held_at_int then brings it to an int, so a copied store reads alike everywhere.
  // NOLINTBEGIN(cert-err34-c)
  const int read =
      fscanf(in, "%ld %ld %ld %ld %ld", &values[0], &values[1], &values[2], &values[3], &values[4]);
  // NOLINTEND(cert-err34-c)
  for (int i = 0; i < SEL_INFO_FIELDS; ++i) *fields[i] = held_at_int(values[i]);
  info->fields_read = read < 0 ? 0 : read;
}

bool sel_at_info_file(const Status& failed) {
  return failed.path != nullptr && strcmp(failed.path, SEL_INFO_FILE) == 0;
}

Status sel_read_info(const char* path, SelInfo* info) {
  FdGuard fd(open_regular(path, O_RDONLY | O_CLOEXEC));
  if (fd.fd < 0) return fail_errno(Step::open, path);
  FILE* in = fdopen(fd.fd, "r");
  if (in == nullptr) return fail_errno(Step::memory, path);
  (void)fd.release();  // the stream owns it now
  sel_info_parse(in, info);
  (void)fclose(in);  // read only: closing cannot lose anything
  return kDone;
}

Status sel_write_info(const char* dir, const SelInfo& info) {
  char path[SEL_PATH_MAX * 2];
  if (!sel_info_path(path, sizeof path, dir)) return fail_data(Step::too_long, dir, sizeof path);
  char text[80];
  const int len = snprintf(text, sizeof text, "%d %d %d %d %d\n", info.version, info.rec_count,
                           info.oldest_file, info.latest_file, info.latest_id);
  if (replace_file_durably(path, text, static_cast<std::size_t>(len)) != 0) {
    return fail_errno(Step::write, dir);
  }
  return kDone;
}

unsigned sel_info_faults(const SelInfo& info) {
  if (info.fields_read < SEL_INFO_FIELDS) return SEL_INFO_SHORT;
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
      (void)snprintf(buf, size, "holds %d of its %d numbers", info.fields_read, SEL_INFO_FIELDS);
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
