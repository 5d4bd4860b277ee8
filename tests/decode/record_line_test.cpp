// The record line: head, date, labels and the fallback for unknown types.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "decode/sel_print.h"
#include "tests/support/capture.h"
#include "tools/storewriter/record_builder.h"

namespace {

class RecordLine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

std::string line(const SelRecord& rec) {
  return capture([&](FILE* out) { sel_fprint_rec(out, rec); });
}

TEST_F(RecordLine, LabelsAndFallbacks) {
  struct Case {
    SelRecord rec;
    const char* expected;
  } cases[] = {
      {RecordBuilder(7, 0, 4, 15), "Record 7: Thu Jan  1 00:00:00 1970 [unknown-type.emergency]: "
                                   "Don't know how to decode this record.\n"},
      {RecordBuilder(-1, 0, 5, 65535), "Record -1: Thu Jan  1 00:00:00 1970 "
                                       "[unknown-type.unknown-severity]: "
                                       "Don't know how to decode this record.\n"},
      {RecordBuilder(3, 86400, 0xFFFFFFFF, 15), "Record 3: Fri Jan  2 00:00:00 1970 "
                                                "[unknown-type.unknown-severity]: "
                                                "Don't know how to decode this record.\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(line(c.rec), c.expected);
}

}  // namespace
