// The ring's arithmetic, the records that each option asks for and the checks of the
// info file: pure, so they run on every host, also where no module root can be made.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "store/sel_range.h"

namespace {

TEST(StoreRing, RangesOfTheOptions) {
  struct Case {
    bool last;  // rd_last, else rd_first
    int rec_count, oldest, count;
    SelRange want;
  } cases[] = {
      {true, 2500, 0, 700, {1, 800, 700, false}},  {true, 2500, 0, 500, {2, 0, 500, false}},
      {true, 2500, 0, 501, {1, 999, 501, false}},  {true, 3500, 2, 10, {1, 490, 10, false}},
      {true, 3500, 2, 1500, {0, 0, 1500, false}},  {true, 3500, 2, 3500, {2, 0, 3500, false}},
      {true, 4000, 3, 4000, {3, 0, 4000, false}},  {true, 1000, 0, 5, {0, 995, 5, false}},
      {true, 300, 0, 500, {0, 0, 300, true}},      {true, 2500, 0, INT_MAX, {0, 0, 2500, true}},
      {true, 2500, 0, -5, {2, 0, -5, false}},      {false, 2500, 3, 3, {3, 0, 3, false}},
      {false, 2500, 3, 2500, {3, 0, 2500, false}}, {false, 2500, 3, 5000, {3, 0, 2500, true}},
      {false, 2500, 3, INT_MIN, {3, 0, INT_MIN, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.last ? "last " : "first ") << c.count << " of "
                                    << c.rec_count << " from file " << c.oldest);
    const SelInfo info = sel_ring_info(1, c.rec_count, c.oldest);
    const SelRange r = c.last ? sel_range_last(info, c.count) : sel_range_first(info, c.count);
    EXPECT_EQ(r.start_file, c.want.start_file);
    EXPECT_EQ(r.start_pos, c.want.start_pos);
    EXPECT_EQ(r.count, c.want.count);
    EXPECT_EQ(r.capped, c.want.capped);
  }
}

TEST(StoreRing, ShapeOfTheRing) {
  struct Case {
    int rec_count, oldest, latest_file, latest_id, in_files[4];
  } cases[] = {
      {0, 2, 2, 0, {0, 0, 0, 0}},
      {1001, 0, 1, 1001, {1000, 1, 0, 0}},
      {2500, 3, 1, 1500, {1000, 500, 0, 1000}},
      {4000, 1, 0, 1000, {1000, 1000, 1000, 1000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rec_count << " records from file " << c.oldest);
    const SelInfo info = sel_ring_info(1, c.rec_count, c.oldest);
    EXPECT_EQ(info.latest_file, c.latest_file);
    EXPECT_EQ(info.latest_id, c.latest_id);
    EXPECT_EQ(sel_info_faults(info), 0U);
    for (int f = 0; f < 4; ++f) EXPECT_EQ(sel_ring_records_in(c.rec_count, c.oldest, f), c.in_files[f]);
    // A record's slot leads back to it; the slots after the newest and before the oldest
    // are outside the ring unless it is full.
    for (int k = 0; k < c.rec_count; k += 499) EXPECT_EQ(sel_ring_ordinal(info, sel_ring_slot(info, k)), k);
    const bool full = c.rec_count == 4000;
    EXPECT_EQ(sel_ring_ordinal(info, sel_ring_slot(info, c.rec_count)), full ? 0 : -1);
    EXPECT_EQ(sel_ring_ordinal(info, sel_ring_wrap(sel_ring_slot(info, 0) - 1)), full ? 3999 : -1);
  }
}

SelInfo parse(const char* text) {
  SelInfo info{};
  FILE* in = fmemopen(const_cast<char*>(text), strlen(text), "r");
  sel_info_parse(in, &info);
  fclose(in);
  return info;
}

TEST(StoreRing, InfoFileChecks) {
  struct Case {
    const char* text;
    unsigned faults;
  } cases[] = {
      {"1 20 0 0 20\n", 0},
      {"1 0 0 3 7", 0},  // an empty store is not compared with the ring
      {"", SEL_INFO_SHORT},
      {"1 20 0 0", SEL_INFO_SHORT},
      {"1 4000 1 0 1000", 0},
      {"1 4001 0 0 20", SEL_INFO_BAD_COUNT},
      {"1 -1 0 0 20", SEL_INFO_BAD_COUNT},
      {"1 4294967297 0 0 20", SEL_INFO_BAD_COUNT},
      {"1 20 4 0 20", SEL_INFO_BAD_OLDEST},
      {"1 20 -1 0 20", SEL_INFO_BAD_OLDEST},
      {"1 20 0 -1 20", SEL_INFO_BAD_LATEST},
      {"1 20 0 4 20", SEL_INFO_BAD_LATEST},
      {"1 1500 3 1 500", SEL_INFO_OTHER_LATEST},
      {"1 1500 3 0 4711", 0},  // the latest id depends on how seld numbers
  };
  for (const Case& c : cases) EXPECT_EQ(sel_info_faults(parse(c.text)), c.faults) << c.text;
  // As the module reads it: an overlong number is held at the nearest int.
  const SelInfo held = parse("4294967297 -4294967297 0 0 0");
  EXPECT_EQ(held.version, INT_MAX);
  EXPECT_EQ(held.rec_count, INT_MIN);
}

}  // namespace
