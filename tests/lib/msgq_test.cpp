// Reporting, the queue layer and the requests to seld, against the module root's
// /dev/log and real queues.
#include <syslog.h>

#include <cwchar>

#include "lib/log.h"
#include "lib/msgq.h"
#include "lib/sel_request.h"
#include "tests/support/root_test.h"

namespace {

class LibTest : public RootTest {
 protected:
  void SetUp() override {
    RootTest::SetUp();
    if (IsSkipped()) return;
    sink_ = std::make_unique<SyslogSink>();
    log_open("seltest", LOG_PID, LOG_USER);
  }
  void TearDown() override { closelog(); }

  std::vector<std::string> logged() {
    std::vector<std::string> texts;
    for (const LogLine& line : sink_->take())
      texts.push_back(std::to_string(line.priority) + " " + line.text);
    return texts;
  }

  std::unique_ptr<SyslogSink> sink_;
};

// Reports reach the system log as sent, each with its priority; the error text is that
// of the number at the call, though converting a wide character that this locale cannot
// hold fails with EILSEQ inside the formatting.
TEST_F(LibTest, Reports) {
  log_msg(LOG_ERR, "Error open %s for read", "/mnt/logs/sel/100%d");
  log_msg(LOG_WARNING, "Clear SEL");
  const wchar_t unconvertible[] = {static_cast<wchar_t>(0x263A), 0};
  errno = EAGAIN;
  log_msg_errno(LOG_ERR, "wide %ls", unconvertible);
  const std::vector<std::string> lines = logged();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "3 Error open /mnt/logs/sel/100%d for read\n");
  EXPECT_EQ(lines[1], "4 Clear SEL\n");
  const std::string tail = std::string(": ") + strerror(EAGAIN) + "\n";
  ASSERT_GE(lines[2].size(), tail.size());
  EXPECT_EQ(lines[2].substr(lines[2].size() - tail.size()), tail);
}

// One message taken off a queue: the bytes from `pri` on, as msgrcv() gives them.
std::vector<unsigned char> receive(int qid) {
  std::vector<unsigned char> buf(sizeof(long) + 4096);
  const ssize_t n = msgrcv(qid, buf.data(), 4096, 0, IPC_NOWAIT);
  buf.resize(n < 0 ? 0 : sizeof(long) + static_cast<size_t>(n));
  return buf;
}

// A request as it should lie on the queue: pri, type 6, pid, skey, size, count, bodies.
std::vector<unsigned char> request_bytes(long pri, int32_t count, int32_t size,
                                         const unsigned char* bodies = nullptr) {
  std::vector<unsigned char> bytes(sizeof(long) + static_cast<uint16_t>(size));
  const int32_t fields[] = {6, 0, 0, size, count};
  memcpy(bytes.data(), &pri, sizeof pri);
  memcpy(bytes.data() + sizeof pri, fields, sizeof fields);
  if (bodies != nullptr) memcpy(bytes.data() + sizeof(MsgHeader) + 4, bodies, size - 20U);
  return bytes;
}

// Key 32 and -1 make no queue and are logged; the cache is filled all the same (else key 7
// would read 0, a queue id); a failed msgget is tried again at the next call.
TEST_F(LibTest, KeysAndTheCache) {
  EXPECT_EQ(dxa_getqid(32, 0), -1);
  EXPECT_EQ(dxa_getqid(static_cast<uint32_t>(-1), 0), -1);
  EXPECT_LT(msgget(32, 0), 0) << "no queue may be made for key 32";
  const int qid = dxa_getqid(QKEY_SELD, 0);
  EXPECT_GE(qid, 0);
  EXPECT_EQ(qid, msgget(7, 0));
  msqid_ds ds{};
  ASSERT_EQ(msgctl(qid, IPC_STAT, &ds), 0);
  EXPECT_EQ(ds.msg_perm.mode & 0777u, 0666u);
  EXPECT_EQ(dxa_getqid(QKEY_CONFD, 0600), -1) << "no IPC_CREAT: the queue is missing";
  EXPECT_EQ(logged(), (std::vector<std::string>{
                          "3 dxa_getqid: destination key(32) out of range.\n",
                          "3 dxa_getqid: destination key(-1) out of range.\n",
                          "3 Unable to get new msg queue for queue key 20, flags = 0x180: " +
                              std::string(strerror(ENOENT)) + "\n"}));
  ASSERT_GE(msgget(20, IPC_CREAT | 0600), 0);
  EXPECT_EQ(dxa_getqid(QKEY_CONFD, 0600), msgget(20, 0));
}

TEST_F(LibTest, RequestWithTwoRecordBodies) {
  unsigned char bodies[120];
  for (size_t i = 0; i < sizeof bodies; ++i) bodies[i] = static_cast<unsigned char>(i + 1);
  ASSERT_EQ(sel_send_request(5, 2, bodies), 0);
  EXPECT_EQ(receive(msgget(7, 0)), request_bytes(5, 2, 140, bodies));
  EXPECT_TRUE(logged().empty());
}

// The id is kept for the run: a queue made afresh under the key is not looked up, and
// the failed clear is logged. (What a clear sends is sel's table's.)
TEST_F(LibTest, ClearGoesToTheCachedQueue) {
  ASSERT_EQ(sel_clear(), 0);
  const int first = msgget(7, 0);
  logged();
  ASSERT_EQ(msgctl(first, IPC_RMID, nullptr), 0);
  const int fresh = msgget(7, IPC_CREAT | 0666);
  ASSERT_GE(fresh, 0);
  EXPECT_EQ(sel_clear(), -1);
  EXPECT_TRUE(receive(fresh).empty());
  const auto lines = logged();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "4 Clear SEL\n");
  const std::string failed = "3 dxa_sendmsgq: 184: msgsnd() failed.Queue ID: " +
                             std::to_string(first) +
                             "; Type(DXA message priority): 1; Size: 80; Flags: 0; "
                             "DXA message type: 6; DXA message pid: 0; "
                             "DXA message sender queue key: 0; : ";
  EXPECT_EQ(lines[1].substr(0, failed.size()), failed);
  EXPECT_EQ(lines[2], "3 Fail to send msg to seld\n");
}

}  // namespace
