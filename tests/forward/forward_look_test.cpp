// The forwarder's look at the module's store (in a module root): a report of records
// lost waits while the ring moves on under a reading that keeps nothing, and the next
// look counts what the move took with them.
#include "module/sel-forward/poll.h"
#include "standins/storewriter/record_builder.h"
#include "tests/support/root_test.h"

namespace {

using ForwardLookTest = RootTest;

TEST_F(ForwardLookTest, AReportWaitsWhileTheRingMovesUnderAReadOfNothing) {
  plain_store(4000, 1);  // files 1, 2, 3, 0: the newest records in file 0
  // The cursor's slot (499, in file 0) was filled anew since: 500 records went unsent.
  const FwdCursor cursor = fwd_cursor_at(RecordBuilder(500, 7, 0, 0), 499, 4000, 1);
  FwdFollower follower{};
  FwdLook look{};
  ASSERT_TRUE(fwd_look(&follower, cursor, &look).ok());
  EXPECT_EQ(look.plan.lost, FWD_OVERRUN);
  EXPECT_EQ(look.plan.missed, 500);
  // The oldest file goes before the reading reaches it: the ring has moved on by a file.
  ASSERT_EQ(unlink("/mnt/logs/sel/sel.1"), 0);
  write_file("/mnt/logs/sel/sel.inf", "1 4000 2 1 2000\n");
  SelRecord recs[FWD_BATCH_RECS];
  const int read = fwd_read(&follower, &look, recs, FWD_BATCH_RECS);
  EXPECT_EQ(read, 0);
  EXPECT_TRUE(look.moved);
  EXPECT_FALSE(fwd_report_due(look, read));
  // The cursor stays; the next look reports the file that went with the 500.
  FwdLook next{};
  ASSERT_TRUE(fwd_look(&follower, cursor, &next).ok());
  EXPECT_EQ(next.plan.lost, FWD_OVERRUN);
  EXPECT_EQ(next.plan.missed, 1500);
  EXPECT_TRUE(fwd_report_due(next, fwd_read(&follower, &next, recs, FWD_BATCH_RECS)));
}

}  // namespace
