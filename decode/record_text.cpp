#include "decode/record_text.h"

#include <cstdio>

#include "decode/sel_date.h"
#include "decode/sel_print.h"

namespace {

// The texts are written one after the other into a stream in memory (no file, nothing
// outside the process), which goes back to its start only every few dozen records, as a
// seek costs more than a short text.
constexpr std::size_t kRewindPast = 4096;
struct TextStream {
  FILE* file;
  char* data;
  std::size_t size;  // up to the stream's position at its last flush
};
TextStream g_text{nullptr, nullptr, 0};

}  // namespace

std::string_view record_text(const SelRecord& rec) {
  if (g_text.file == nullptr &&
      (g_text.file = open_memstream(&g_text.data, &g_text.size)) == nullptr) {
    return {};
  }
  std::size_t start = g_text.size;
  if (start >= kRewindPast) {
    rewind(g_text.file);
    start = 0;
  }
  sel_print_rec_text(rec, g_text.file);
  // Sets data and size; a memory stream only fails to grow, and then holds less.
  (void)fflush(g_text.file);
  if (g_text.data == nullptr || g_text.size < start) return {};
  return {g_text.data + start, g_text.size - start};
}

void iso_time(std::int32_t when, char (&buf)[32]) {
  static_assert(SEL_ISO_LEN < sizeof buf);
  *sel_iso_utc(when, buf) = '\0';
}
