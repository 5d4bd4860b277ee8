// sel-forward against a real rsyslogd (imtcp on 127.0.0.1, written to a file; a host
// program, so never started through the emulator): records injected through seld in
// bursts, the forwarder and rsyslogd stopped and started between them, then an overrun
// and a clear. The file must hold every record once, in order, and each loss once.
#include "tests/support/root_test.h"

namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";
constexpr const char* kOut = "/tmp/collected";
constexpr const char* kInfo = "/mnt/logs/sel/sel.inf";

// rsyslogd with imtcp on `port` (0: a free one, written to a file once it listens); on a
// known port it is not waited for: the forwarder keeps trying to connect.
std::unique_ptr<Running> start_rsyslogd(int* port) {
  unlink("/tmp/rsyslog.port");
  write_file("/tmp/rsyslog.conf",
             "global(workDirectory=\"/tmp\")\nmodule(load=\"imtcp\")\n"
             "template(name=\"sd\" type=\"string\" string=\"%structured-data% %msg%\\n\")\n"
             "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
                 std::to_string(*port) +
                 "\" listenPortFileName=\"/tmp/rsyslog.port\")\n"
                 "action(type=\"omfile\" file=\"" +
                 kOut + "\" template=\"sd\")\n");
  auto r = std::make_unique<Running>(std::vector<std::string>{
      kRsyslogd, "-n", "-f", "/tmp/rsyslog.conf", "-i", "/tmp/rsyslog.pid"});
  if (*port == 0) {
    EXPECT_TRUE(wait_until([] { return !read_file("/tmp/rsyslog.port").empty(); }, 300));
    *port = atoi(read_file("/tmp/rsyslog.port").c_str());
  }
  return r;
}

// Each line of the file as the id of its record, or its structured data.
std::vector<std::string> collected() {
  std::vector<std::string> got;
  const std::string text = read_file(kOut);
  for (std::size_t at = 0, eol; (eol = text.find('\n', at)) != std::string::npos; at = eol + 1) {
    const std::string line = text.substr(at, eol - at);
    int n = 0;
    const bool record = sscanf(line.c_str(), "[sel@32473 id=\"%d\"", &n) == 1;
    got.push_back(record ? std::to_string(n) : line.substr(0, line.find(']') + 1));
  }
  return got;
}

class ForwardTest : public RootTest {
 protected:
  int port_ = 0;
  std::unique_ptr<Running> forwarder_;

  void start_forwarder() {
    forwarder_ = std::make_unique<Running>(
        program(SEL_FORWARD_BINARY, {"--to", "127.0.0.1:" + std::to_string(port_), "--state",
                                     "/tmp/forward.state", "--interval", "0.1"}));
  }
  void stop(std::unique_ptr<Running>& p) {
    kill(p->pid(), SIGTERM);
    const RunResult r = p->finish();
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    p.reset();
  }
  static void inject(int count, int seed) {
    const RunResult r =
        run(program(SEL_INJECT_BINARY, {"random", std::to_string(count), std::to_string(seed)}));
    ASSERT_EQ(r.exit_code(), 0) << r.err;
  }
};

TEST_F(ForwardTest, EveryRecordOnceInOrderThroughRestartsOverrunAndClear) {
  if (access(kRsyslogd, X_OK) != 0) GTEST_SKIP() << "rsyslogd is not installed";
  auto seld = std::make_unique<Running>(program(SELD_BINARY, {}));
  ASSERT_TRUE(wait_until([] { return exists(kInfo); }, 300)) << "seld made no store";
  auto rsyslogd = start_rsyslogd(&port_);
  start_forwarder();

  std::vector<std::string> want;
  const int bursts[] = {300, 200, 250, 250};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE("burst " + std::to_string(k));
    if (k == 1 || k == 3) {
      stop(forwarder_);
      start_forwarder();
    }
    if (k == 2) stop(rsyslogd);  // the forwarder is connected and idle
    inject(bursts[k], k + 1);
    const int total = static_cast<int>(want.size()) + bursts[k];
    for (int id = static_cast<int>(want.size()) + 1; id <= total; ++id) {
      want.push_back(std::to_string(id));
    }
    if (k == 2) {
      ASSERT_TRUE(wait_until([] { return read_file(kInfo) == "1 750 0 0 750\n"; }, 300));
      rsyslogd = start_rsyslogd(&port_);
    }
    ASSERT_TRUE(wait_until([&] { return collected().size() >= want.size(); }, 300));
    ASSERT_EQ(collected(), want);
  }

  // 5000 more while the forwarder is stopped lose records 1001 to 2000 (the ring holds
  // 2001 to 4000, then 1 to 2000 again); then a clear, once all is sent, and 10 more.
  stop(forwarder_);
  inject(5000, 5);
  ASSERT_TRUE(wait_until([] { return read_file(kInfo) == "1 4000 2 1 2000\n"; }, 300));
  start_forwarder();
  want.push_back(R"([sel@32473 missed="1000" reason="overrun"])");
  for (int i = 0; i < 4000; ++i) want.push_back(std::to_string((2000 + i) % 4000 + 1));
  ASSERT_TRUE(wait_until([&] { return collected().size() >= want.size(); }, 300));
  ASSERT_EQ(run(program(SEL_BINARY, {"clear"})).exit_code(), 0);
  inject(10, 6);
  want.push_back(R"([sel@32473 missed="0" reason="cleared"])");
  for (int id = 1; id <= 10; ++id) want.push_back(std::to_string(id));
  ASSERT_TRUE(wait_until([&] { return collected().size() >= want.size(); }, 300));
  stop(forwarder_);
  stop(rsyslogd);
  stop(seld);
  EXPECT_EQ(collected(), want);
}

}  // namespace
