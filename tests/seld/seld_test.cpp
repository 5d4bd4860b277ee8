// seld's request handling against a real store in a module root: where records go, the
// file change at 1000, the ring's wrap at 4000, the clear, and messages it must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lib/coding.h"
#include "tests/support/root_test.h"
#include "tools/inject/inject_records.h"
#include "tools/seld/seld_request.h"

namespace {

constexpr std::uint32_t kSeed = 5;
const std::string kDir = "/mnt/logs/sel/";

// A message as msgrcv() leaves it: pri, the header fields, the count, the bodies.
std::vector<unsigned char> message(std::int32_t type, std::int32_t count, std::size_t bodies,
                                   std::int32_t size_error = 0) {
  std::vector<unsigned char> m(offsetof(SelRequest, body) + bodies * SEL_RECORD_BODY_SIZE);
  const MsgHeader h{1, type, 0, 0,
                    static_cast<std::int32_t>(m.size() - sizeof(long)) + size_error};
  memcpy(m.data(), &h, sizeof h);
  memcpy(m.data() + offsetof(SelRequest, count), &count, sizeof count);
  return m;
}

// Sends records `from` to `to` - 1 of the random sequence in requests of 73, so that
// requests straddle the file boundaries.
void feed(std::uint32_t from, std::uint32_t to) {
  while (from < to) {
    const std::uint32_t n = to - from < 73 ? to - from : 73;
    std::vector<unsigned char> m = message(SEL_REQUEST_TYPE, static_cast<std::int32_t>(n), n);
    for (std::uint32_t i = 0; i < n; ++i) {
      const SelRecord rec = inject_random_record(kSeed, from + i);
      memcpy(m.data() + offsetof(SelRequest, body) + i * SEL_RECORD_BODY_SIZE,
             rec.bytes.data() + 4, SEL_RECORD_BODY_SIZE);
    }
    ASSERT_EQ(seld_handle_message(m.data(), m.size()), SELD_APPLIED);
    from += n;
  }
}

std::string store_files() {
  std::string all = read_file(kDir + "sel.inf");
  for (int f = 0; f < 4; ++f) all += '|' + read_file(kDir + "sel." + std::to_string(f));
  return all;
}

// The store holds the newest `count` of `sent` records, in ring order from the oldest
// file, each with the id of its slot.
void expect_ring(std::uint32_t sent, int count, int oldest) {
  std::string ring;
  for (int i = 0; i < 4; ++i) ring += read_file(kDir + "sel." + std::to_string((oldest + i) % 4));
  ASSERT_EQ(ring.size(), static_cast<std::size_t>(count) * SEL_RECORD_SIZE);
  for (int i = 0; i < count; ++i) {
    const auto* rec = reinterpret_cast<const unsigned char*>(ring.data()) + i * SEL_RECORD_SIZE;
    const int slot = (oldest * 1000 + i) % 4000;
    ASSERT_EQ(load_be32(rec), static_cast<std::uint32_t>(slot + 1)) << "record " << i;
    const SelRecord want = inject_random_record(kSeed, sent - static_cast<std::uint32_t>(count) +
                                                           static_cast<std::uint32_t>(i));
    ASSERT_EQ(memcmp(rec + 4, want.bytes.data() + 4, SEL_RECORD_BODY_SIZE), 0) << "record " << i;
  }
}

class SeldTest : public RootTest {};

TEST_F(SeldTest, AppendsMovesOnAndWrapsTheRing) {
  struct Case {
    std::uint32_t sent;    // records sent in all, from an empty store
    const char* info;
    int oldest;
  };
  const Case cases[] = {
      {1, "1 1 0 0 1\n", 0},
      {1000, "1 1000 0 0 1000\n", 0},        // file 0 full, still the newest
      {1001, "1 1001 0 1 1001\n", 0},        // the next file begins
      {4000, "1 4000 0 3 4000\n", 0},        // the ring is full
      {4001, "1 3001 1 0 1\n", 1},           // file 0 dropped and begun again
      {5001, "1 3001 2 1 1001\n", 2},
      {8000, "1 4000 0 3 4000\n", 0},        // a whole turn
  };
  std::uint32_t sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    feed(sent, c.sent);
    sent = c.sent;
    EXPECT_EQ(read_file(kDir + "sel.inf"), c.info);
    const int count = std::stoi(std::string(c.info).substr(2));
    expect_ring(sent, count, c.oldest);
  }
  // A full ring is what sel-inject --offline writes of the same records.
  ASSERT_EQ(inject_offline("/tmp/offline", 0, inject_random_source(sent, kSeed)), 0);
  for (int f = 0; f < 4; ++f) {
    const std::string name = "sel." + std::to_string(f);
    EXPECT_EQ(read_file(kDir + name), read_file("/tmp/offline/" + name)) << name;
  }
  EXPECT_EQ(read_file(kDir + "sel.inf"), read_file("/tmp/offline/sel.inf"));

  // The clear empties every file; the next record is id 1 again.
  std::vector<unsigned char> clear = message(SEL_REQUEST_TYPE, SEL_REQUEST_CLEAR, 1);
  ASSERT_EQ(seld_handle_message(clear.data(), clear.size()), SELD_APPLIED);
  EXPECT_EQ(store_files(), "1 0 0 0 0\n||||");
  feed(sent, sent + 1);
  EXPECT_EQ(read_file(kDir + "sel.inf"), "1 1 0 0 1\n");
}

TEST_F(SeldTest, MalformedMessagesLeaveTheStoreAlone) {
  SyslogSink sink;
  feed(0, 1500);
  const std::string before = store_files();
  sink.take();

  struct Case {
    const char* what;
    std::vector<unsigned char> msg;
  };
  std::vector<unsigned char> no_count = message(SEL_REQUEST_TYPE, 1, 1);
  no_count.resize(offsetof(SelRequest, count) + 2);
  const Case cases[] = {
      {"a packet's type", message(2, 1, 1)},
      {"size one more than sent", message(SEL_REQUEST_TYPE, 1, 1, 1)},
      {"size one less than sent", message(SEL_REQUEST_TYPE, 1, 1, -1)},
      {"cut before the count", no_count},
      {"count 0", message(SEL_REQUEST_TYPE, 0, 1)},
      {"count -2", message(SEL_REQUEST_TYPE, -2, 1)},
      {"count 10^6", message(SEL_REQUEST_TYPE, 1000000, 1)},
      {"count 2, one body", message(SEL_REQUEST_TYPE, 2, 1)},
      {"count 1, two bodies", message(SEL_REQUEST_TYPE, 1, 2)},
      {"a clear with two bodies", message(SEL_REQUEST_TYPE, -1, 2)},
      {"more bodies than a queue takes", message(SEL_REQUEST_TYPE, 137, 137)},
      {"nothing at all", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(seld_handle_message(c.msg.empty() ? nullptr : c.msg.data(), c.msg.size()),
              SELD_REJECTED)
        << c.what;
    EXPECT_EQ(sink.take().size(), 1U) << c.what;
  }
  EXPECT_EQ(store_files(), before);
}

TEST_F(SeldTest, AnInfoFileThatIsNoRingMakesAFreshStore) {
  for (const char* info : {"garbage", "1 4001 0 3 4000", "1 2000 0 3 2000", "1 10 4 0 10"}) {
    write_file(kDir + "sel.inf", info);
    feed(0, 1);
    EXPECT_EQ(read_file(kDir + "sel.inf"), "1 1 0 0 1\n") << info;
  }
}

}  // namespace
