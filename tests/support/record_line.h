// Helpers of the record-line tests: what a printer writes, the printed line of a record,
// a fixed time zone, and the head of the records that the text tests build.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "decode/sel_print.h"
#include "standins/storewriter/record_builder.h"

// What a printer writes to its FILE*.
template <typename Print>
std::string capture(Print print) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  print(out);
  fclose(out);
  std::string text(data, size);
  free(data);
  return text;
}

inline std::string print_line(const SelRecord& rec) {
  return capture([&](FILE* out) { sel_print_rec(rec, out); });
}

inline void set_zone(const char* tz) {
  setenv("TZ", tz, 1);
  tzset();
}

class UtcLineTest : public ::testing::Test {
 protected:
  void SetUp() override { set_zone("UTC"); }
};

// Record 1 at the epoch with severity "normal", unless a case says otherwise.
inline RecordBuilder event(std::uint16_t type, std::uint16_t version = 0) {
  return RecordBuilder(1, 0, 0, type, version);
}

// The line of such a record: its head, "[labels]: ", the text and the newline.
inline std::string epoch_line(const char* labels, const std::string& text) {
  return "Record 1: Thu Jan  1 00:00:00 1970 [" + std::string(labels) + "]: " + text + "\n";
}

struct LineCase {
  SelRecord rec;
  std::string expected;
};

template <std::size_t N>
void expect_lines(const LineCase (&cases)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    EXPECT_EQ(print_line(cases[i].rec), cases[i].expected) << "case " << i;
  }
}
