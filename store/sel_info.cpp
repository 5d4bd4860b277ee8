#include <cstdio>
#include <syslog.h>

#include "lib/sel_record.h"
#include "lib/log.h"
#include "store/sel_store.h"

int sel_get_info(SelInfo* info) {
  const int lock = sel_get_lock(SEL_LOCK_INFO);
  if (lock < 0) {
    log_msg(LOG_ERR, "sel_get_info: Fail to get SEL_LOCK_INFO");
    return 6;
  }
  if (sel_read_info(SEL_INFO_FILE, info) != 0) {
    log_msg(LOG_ERR, "Error open %s for read", SEL_INFO_FILE);
    sel_release_lock(lock);
    return 4;
  }
  sel_release_lock(lock);
  return 0;
}

namespace {

// A number of the info file as the module's C library reads "%d": an overlong one is held
// at the nearest int, whatever the width of long on this host, so that a store copied
// off a module reads alike everywhere (a 64-bit "%d" would wrap 4294967297 round to 1).
std::int32_t held_at_int(long value) {
  if (value > __INT_MAX__) return __INT_MAX__;
  if (value < -__INT_MAX__ - 1) return -__INT_MAX__ - 1;
  return static_cast<std::int32_t>(value);
}

}  // namespace

int sel_read_info(const char* path, SelInfo* info) {
  FILE* in = fopen(path, "r");
  if (in == nullptr) return -1;
  // The fields that the file does not supply keep what they held.
  std::int32_t* fields[] = {&info->version, &info->rec_count, &info->oldest_file,
                            &info->latest_file, &info->latest_id};
  long values[5];
  for (int i = 0; i < 5; ++i) values[i] = *fields[i];
  // The module's C library converts "%ld" with strtol, which holds an overlong number
  // at LONG_MAX or LONG_MIN; held_at_int then brings it to an int.
  // NOLINTNEXTLINE(cert-err34-c)
  const int read = fscanf(in, "%ld %ld %ld %ld %ld", &values[0], &values[1], &values[2],
                          &values[3], &values[4]);
  for (int i = 0; i < 5; ++i) *fields[i] = held_at_int(values[i]);
  info->fields_read = read < 0 ? 0 : read;
  (void)fclose(in);  // read only: closing cannot lose anything
  return 0;
}

// The reason is cut to the caller's buffer.
bool sel_info_usable(const SelInfo& info, char* why, std::size_t why_size) {
  if (info.fields_read < 5) {
    (void)snprintf(why, why_size, "it holds %d of its 5 numbers", info.fields_read);
  } else if (info.rec_count < 0 || info.rec_count > SEL_MAX_RECS) {
    (void)snprintf(why, why_size, "record count %d is outside 0 to %d", info.rec_count,
                   SEL_MAX_RECS);
  } else if (info.oldest_file < 0 || info.oldest_file >= SEL_FILES) {
    (void)snprintf(why, why_size, "oldest file %d is outside 0 to %d", info.oldest_file,
                   SEL_FILES - 1);
  } else if (info.latest_file < 0 || info.latest_file >= SEL_FILES) {
    (void)snprintf(why, why_size, "latest file %d is outside 0 to %d", info.latest_file,
                   SEL_FILES - 1);
  } else {
    return true;
  }
  return false;
}

int sel_fprint_info(FILE* out, const SelInfo& info) {
  fprintf(out, "SEL version: %d\n", info.version);
  fprintf(out, "Maximum number of records: %d\n\n", SEL_MAX_RECS);
  fprintf(out, "Number of records: %d\n", info.rec_count);
  fprintf(out, "Record size: %d Bytes\n", static_cast<int>(SEL_RECORD_SIZE));
  if (info.rec_count > 0) {
    fprintf(out, "Oldest record's id: %d\n", info.oldest_file * SEL_RECS_PER_FILE + 1);
    fprintf(out, "Latest record's id: %d\n", info.latest_id);
  }
  return 0;
}

int sel_print_info(const SelInfo& info) { return sel_fprint_info(stdout, info); }
