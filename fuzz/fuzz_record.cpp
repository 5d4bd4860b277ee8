// Any record through the record printer. A record read off a damaged store may hold
// anything; the line must still come out whole: "Record " first, and a newline last.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "decode/sel_print.h"
#include "decode/sel_record.h"

namespace {

// Longer than any record line: three ctime dates and the longest texts fit many times.
char g_line[16384];
FILE* g_out = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Dates in one zone, so that a crash reproduces anywhere.
  setenv("TZ", "UTC", 1);
  tzset();
  g_out = fmemopen(g_line, sizeof g_line, "w");
  if (g_out == nullptr) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A shorter input is a record whose tail is zeros (a file cut mid-write reads so).
  if (size > SEL_RECORD_SIZE) return -1;
  SelRecord rec{};
  memcpy(rec.bytes.data(), data, size);

  rewind(g_out);
  sel_print_rec(rec, g_out);
  fflush(g_out);
  const long len = ftell(g_out);
  if (len <= 0 || static_cast<std::size_t>(len) >= sizeof g_line - 1) abort();
  if (strncmp(g_line, "Record ", 7) != 0) abort();
  if (g_line[len - 1] != '\n') abort();
  return 0;
}
