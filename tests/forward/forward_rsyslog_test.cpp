// sel-forward against a real rsyslogd (imtcp and imrelp on 127.0.0.1, written to a file;
// a host program, so never started through the emulator), with seld and sel-inject: the
// forwarder, the collector and the writer stopped, killed and started again, the store
// numbered either way; RELP inside TLS (imrelp with tls="on", certificates made by
// openssl): what it lets in, what it refuses and says, what travels in clear; how the
// forwarder refuses to start; and a fleet of three modules through a relay to a central
// collector, read back by selexport.
#include <arpa/inet.h>
#include <glob.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/root_test.h"

namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";
constexpr const char* kOut = "/tmp/collected";
constexpr const char* kInfo = "/mnt/logs/sel/sel.inf";
constexpr const char* kState = "/tmp/forward.state";
constexpr int kWindow = 100;  // the RELP window, and the forwarder's batch
constexpr const char* kCerts = "/tmp/certs/";  // made by make-certs.sh

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

// `got` holds `want` in order, each at least once: the sender went back (and sent again)
// at most `restarts` times, by at most a window each time.
void expect_in_order(const std::vector<std::string>& got, const std::vector<std::string>& want,
                     int restarts) {
  std::size_t next = 0;
  int back = 0;
  for (const std::string& g : got) {
    if (next < want.size() && g == want[next]) {
      ++next;
      continue;
    }
    std::size_t from = next;
    while (from > 0 && next - from < kWindow && want[from - 1] != g) --from;
    ASSERT_TRUE(from > 0 && want[from - 1] == g) << g << " out of place, " << next << " in";
    next = from;
    ++back;
  }
  EXPECT_EQ(next, want.size());
  EXPECT_LE(back, restarts);
}

bool have_imrelp() {
  glob_t relp{};
  const bool found = glob("/usr/lib/*/rsyslog/imrelp.so", 0, nullptr, &relp) == 0;
  globfree(&relp);
  return found && access(kRsyslogd, X_OK) == 0;
}

// A socket on 127.0.0.1 bound to a port of its own (`*port`), listening or not.
int listener(int* port, bool listening) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  EXPECT_TRUE(!listening || listen(fd, 4) == 0);
  *port = ntohs(a.sin_port);
  return fd;
}

// Passes connections on `port` to 127.0.0.1:`to`, one after the other, and keeps what
// came from the forwarder.
class Proxy {
 public:
  explicit Proxy(int to) : to_(to), fd_(listener(&port, true)), thread_([this] { serve(); }) {}
  ~Proxy() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;
  std::string seen() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  int port = 0;

 private:
  void serve() {
    for (pollfd p{fd_, POLLIN, 0}; !stop_;) {
      if (poll(&p, 1, 100) != 1) continue;
      const int in = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      const int out = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<std::uint16_t>(to_));
      if (connect(out, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) relay(in, out);
      close(in);
      close(out);
    }
  }
  void relay(int in, int out) {
    pollfd p[2] = {{in, POLLIN, 0}, {out, POLLIN, 0}};
    char buf[4096];
    while (!stop_) {
      if (poll(p, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (p[i].revents == 0) continue;
        const ssize_t n = read(p[i].fd, buf, sizeof buf);
        if (n <= 0) return;
        if (i == 0) {
          const std::lock_guard<std::mutex> lock(mutex_);
          seen_.append(buf, static_cast<std::size_t>(n));
        }
        if (write(p[1 - i].fd, buf, static_cast<std::size_t>(n)) != n) return;
      }
    }
  }
  int to_;
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string seen_;
  std::thread thread_;
};

// The TLS inputs of the collector: the module dxa-17 let in, dxa-18 let in, and a
// certificate of the collector that is valid from 2040 on.
enum : int { kTlsIn, kTls18, kTlsFuture, kTlsInputs };

class ForwardTest : public RootTest {
 protected:
  int tcp_port_ = 0, relp_port_ = 0;
  int tls_ports_[kTlsInputs] = {};
  std::string to_;
  std::vector<std::string> with_;  // more options for the forwarder
  std::unique_ptr<Running> forwarder_, rsyslogd_, seld_;

  void SetUp() override {
    RootTest::SetUp();
    unlink(kOut);
    unlink(kState);
    // Ports that nothing listens on.
    std::vector<int> fds;
    for (int* port : {&tcp_port_, &relp_port_, &tls_ports_[0], &tls_ports_[1], &tls_ports_[2]}) {
      fds.push_back(listener(port, false));
    }
    for (const int fd : fds) close(fd);
  }
  static void make_certs() {
    mkdir(kCerts, 0755);
    ASSERT_EQ(run({"/bin/sh", MAKE_CERTS, kCerts}).exit_code(), 0);
  }
  // imrelp with tls="on": the collector's certificate for logs.example, the module's
  // checked against the CA and its name against `peer`.
  std::string tls_input(int input, const char* cert, const char* peer) const {
    return "input(type=\"imrelp\" address=\"127.0.0.1\" port=\"" +
           std::to_string(tls_ports_[input]) + "\" tls=\"on\" tls.caCert=\"" + kCerts +
           "ca.pem\" tls.myCert=\"" + kCerts + cert + ".pem\" tls.myPrivKey=\"" + kCerts + cert +
           ".key\" tls.authMode=\"name\" tls.permittedPeer=[\"" + peer + "\"])\n";
  }
  // The forwarder's options for the TLS input `input`, with the module's files `module`.
  std::vector<std::string> over_tls(int input, const std::string& module = "dxa-17") {
    to_ = "relps://127.0.0.1:" + std::to_string(tls_ports_[input]);
    return {"--tls-ca", std::string(kCerts) + "ca.pem", "--tls-name", "logs.example",
            "--tls-cert", kCerts + module + ".pem", "--tls-key", kCerts + module + ".key"};
  }
  // rsyslogd with both inputs (and the TLS ones once there are certificates), direct
  // queues; the forwarder keeps trying to connect.
  void start_rsyslogd() {
    const bool tls = exists(std::string(kCerts) + "ca.pem");
    write_file("/tmp/rsyslog.conf",
               "global(workDirectory=\"/tmp\")\nmain_queue(queue.type=\"Direct\")\n"
               "module(load=\"imtcp\")\nmodule(load=\"imrelp\")\n"
               "template(name=\"sd\" type=\"string\" string=\"%structured-data% %msg%\\n\")\n"
               "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
                   std::to_string(tcp_port_) +
                   "\")\n"
                   "input(type=\"imrelp\" address=\"127.0.0.1\" port=\"" +
                   std::to_string(relp_port_) + "\")\n" +
                   (tls ? tls_input(kTlsIn, "collector", "dxa-17") +
                              tls_input(kTls18, "collector", "dxa-18") +
                              tls_input(kTlsFuture, "collector-future", "dxa-17")
                        : "") +
                   "action(type=\"omfile\" file=\"" + kOut + "\" template=\"sd\")\n");
    rsyslogd_ = std::make_unique<Running>(std::vector<std::string>{
        kRsyslogd, "-n", "-f", "/tmp/rsyslog.conf", "-i", "/tmp/rsyslog.pid"});
  }
  void start_seld(bool number_on) {
    seld_ = std::make_unique<Running>(
        program(SELD_BINARY,
                number_on ? std::vector<std::string>{"--number-on"} : std::vector<std::string>{}));
    ASSERT_TRUE(wait_until([] { return exists(kInfo); })) << "seld made no store";
  }
  void start_forwarder() {
    std::vector<std::string> args{"--to", to_, "--state", kState};
    args.insert(args.end(), with_.begin(), with_.end());
    forwarder_ = std::make_unique<Running>(program(SEL_FORWARD_BINARY, args));
  }
  static void stop(std::unique_ptr<Running>& p, int signal = SIGTERM) {
    kill(p->pid(), signal);
    const RunResult r = p->finish();
    if (signal == SIGTERM) {
      EXPECT_EQ(r.exit_code(), 0) << r.err;
    }
    p.reset();
  }
  static void inject(int count, int seed) {
    const RunResult r =
        run(program(SEL_INJECT_BINARY, {"random", std::to_string(count), std::to_string(seed)}));
    ASSERT_EQ(r.exit_code(), 0) << r.err;
  }
  static bool has(std::size_t n) { return collected().size() >= n; }
};

TEST_F(ForwardTest, EveryRecordOnceInOrderThroughRestartsOverrunAndClear) {
  if (access(kRsyslogd, X_OK) != 0) GTEST_SKIP() << "rsyslogd is not installed";
  start_seld(false);
  start_rsyslogd();
  to_ = "127.0.0.1:" + std::to_string(tcp_port_);
  start_forwarder();

  std::vector<std::string> want;
  const int bursts[] = {300, 200, 250, 250};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE("burst " + std::to_string(k));
    if (k == 1 || k == 3) {
      stop(forwarder_);
      start_forwarder();
    }
    if (k == 2) stop(rsyslogd_);  // the forwarder is connected and idle
    inject(bursts[k], k + 1);
    const int total = static_cast<int>(want.size()) + bursts[k];
    for (int id = static_cast<int>(want.size()) + 1; id <= total; ++id) {
      want.push_back(std::to_string(id));
    }
    if (k == 2) {
      ASSERT_TRUE(wait_until([] { return read_file(kInfo) == "1 750 0 0 750\n"; }));
      start_rsyslogd();
    }
    ASSERT_TRUE(wait_until([&] { return has(want.size()); }));
    ASSERT_EQ(collected(), want);
  }

  // 5000 more while the forwarder is stopped lose records 1001 to 2000 (the ring holds
  // 2001 to 4000, then 1 to 2000 again): at least 1000, as slot ids cannot tell laps;
  // then a clear, once all is sent (nothing was lost: no report), and 10 more.
  stop(forwarder_);
  inject(5000, 5);
  ASSERT_TRUE(wait_until([] { return read_file(kInfo) == "1 4000 2 1 2000\n"; }));
  start_forwarder();
  want.push_back(R"([sel@32473 missed="1000" at_least="true" reason="overrun"])");
  for (int i = 0; i < 4000; ++i) want.push_back(std::to_string((2000 + i) % 4000 + 1));
  ASSERT_TRUE(wait_until([&] { return has(want.size()); }));
  ASSERT_EQ(run(program(SEL_BINARY, {"clear"})).exit_code(), 0);
  inject(10, 6);
  for (int id = 1; id <= 10; ++id) want.push_back(std::to_string(id));
  ASSERT_TRUE(wait_until([&] { return has(want.size()); }));
  stop(forwarder_);
  stop(rsyslogd_);
  stop(seld_);
  EXPECT_EQ(collected(), want);
}

TEST_F(ForwardTest, EveryRecordOnceInOrderThroughKillsWhateverTheNumbering) {
  if (!have_imrelp()) GTEST_SKIP() << "no rsyslogd with imrelp";
  // `before` records at once, then `paced` at 300 a second while the collector ('c') or
  // the forwarder ('f') is killed with SIGKILL, and started again, once the file holds
  // so many lines.
  struct Row {
    const char* scheme;
    bool number_on;
    int before, paced;
    std::vector<std::pair<std::size_t, char>> kills;
  } rows[] = {
      {"relp://", false, 0, 1500, {{300, 'c'}, {700, 'f'}, {1100, 'c'}}},
      {"relps://", false, 0, 1500, {{300, 'c'}, {1100, 'c'}}},  // inside TLS
      {"relp://", true, 3900, 1500, {{4300, 'f'}}},  // ids go on past 4000
      {"tcp://", false, 3900, 1500, {{4300, 'f'}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.scheme) + (r.number_on ? " numbered on" : " by slot"));
    const bool tls = std::string(r.scheme) == "relps://";
    if (tls && SEL_TLS == 0) continue;
    SetUp();
    if (tls) make_certs();
    start_seld(r.number_on);
    start_rsyslogd();
    to_ = r.scheme + ("127.0.0.1:" + std::to_string(r.scheme[0] == 'r' ? relp_port_ : tcp_port_));
    with_ = tls ? over_tls(kTlsIn) : std::vector<std::string>{};
    start_forwarder();
    std::vector<std::string> want;
    for (int k = 0; k < r.before + r.paced; ++k) {
      want.push_back(std::to_string(r.number_on ? k + 1 : k % 4000 + 1));
    }
    if (r.before > 0) {
      inject(r.before, 1);
      ASSERT_TRUE(wait_until([&] { return has(static_cast<std::size_t>(r.before)); }));
    }
    Running writer(program(SEL_INJECT_BINARY, {"--batch", "30", "--delay-ms", "100", "random",
                                               std::to_string(r.paced), "2"}));
    for (const auto& [lines, who] : r.kills) {
      ASSERT_TRUE(wait_until([&] { return has(lines); })) << lines;
      if (who == 'c') {
        stop(rsyslogd_, SIGKILL);
        start_rsyslogd();
      } else {
        stop(forwarder_, SIGKILL);
        start_forwarder();
      }
    }
    ASSERT_EQ(writer.finish().exit_code(), 0);
    ASSERT_TRUE(
        wait_until([&] { return !collected().empty() && collected().back() == want.back(); }));
    stop(forwarder_);
    stop(rsyslogd_);
    stop(seld_);
    expect_in_order(collected(), want, static_cast<int>(r.kills.size()));
  }
}

TEST_F(ForwardTest, TlsLetsInTheNamedModuleWithRenewedFilesAndNothingInClear) {
  if (!have_imrelp() || SEL_TLS == 0) GTEST_SKIP() << "no rsyslogd with imrelp, or no TLS";
  make_certs();
  const std::string c = kCerts;
  // The module's files are dxa-18's at first; the collector lets in only dxa-17.
  const auto install = [&](const char* module) {
    for (const char* part : {".pem", ".key"}) {
      write_file(c + "module.new", read_file(c + module + part));
      ASSERT_EQ(chmod((c + "module.new").c_str(), 0600), 0);
      ASSERT_EQ(rename((c + "module.new").c_str(), (c + "module" + part).c_str()), 0);
    }
  };
  install("dxa-18");
  SyslogSink log;
  start_seld(false);
  start_rsyslogd();
  inject(20, 1);
  Proxy proxy(tls_ports_[kTlsIn]);
  with_ = over_tls(kTlsIn, "module");
  to_ = "relps://127.0.0.1:" + std::to_string(proxy.port);
  start_forwarder();
  ASSERT_TRUE(log.arrives("cannot open a TLS session with " + to_ +
                          ": the collector closed the connection during the handshake: does it "
                          "refuse the module's certificate /tmp/certs/module.pem"));
  EXPECT_FALSE(has(1));
  install("dxa-17");  // read again at the next connection
  ASSERT_TRUE(log.arrives("the module's certificate /tmp/certs/module.pem ends on "));
  ASSERT_TRUE(wait_until([] { return has(20); }));
  stop(forwarder_);
  const std::string seen = proxy.seen();
  EXPECT_NE(seen.find("dxa-17"), std::string::npos);  // a TLS 1.2 handshake shows certificates
  for (const char* clear : {"relp_version", "syslog", "sel@32473", "type_label"}) {
    EXPECT_EQ(seen.find(clear), std::string::npos) << clear;
  }
}

TEST_F(ForwardTest, TlsSendsNothingItCannotTrustAndSaysWhy) {
  if (!have_imrelp() || SEL_TLS == 0) GTEST_SKIP() << "no rsyslogd with imrelp, or no TLS";
  make_certs();
  const std::string c = kCerts;
  write_file(c + "open.key", read_file(c + "dxa-17.key"));  // mode 0644
  write_file(c + "cut.pem", read_file(c + "dxa-17.pem").substr(0, 300));
  ASSERT_EQ(run({"openssl", "pkey", "-in", c + "dxa-17.key", "-aes128", "-passout", "pass:x",
                 "-out", c + "sealed.key"})
                .exit_code(),
            0);
  int silent_port = 0;
  const int silent = listener(&silent_port, true);  // takes connections, never answers
  start_seld(false);
  start_rsyslogd();
  inject(5, 1);
  const auto at = [](int port) { return "relps://127.0.0.1:" + std::to_string(port); };
  const std::string in = at(tls_ports_[kTlsIn]);
  // Where, then the CA, the name, the module's certificate and key ("": not given);
  // status 2 and the reason when it does not start, 1 and what it logged when it cannot
  // open a session.
  struct Row {
    std::string to;
    const char *ca, *name, *cert, *key;
    int status;
    std::string err;
  } rows[] = {
      {in, "ca.pem", "logs.example", "dxa-17.pem", "", 2, "--tls-cert goes with --tls-key"},
      {"relp://127.0.0.1:1", "ca.pem", "", "", "", 2, "go with --to relps://"},
      {in, "ca.pem", "", "", "", 2, "HOST is an address"},
      {in, "none.pem", "x", "", "", 2,
       "cannot read the CA file /tmp/certs/none.pem: No such file or directory"},
      {in, ".", "x", "", "", 2, "the CA file /tmp/certs/. is not a regular file"},
      {in, "ca.cnf", "x", "", "", 2, "the CA file /tmp/certs/ca.cnf is not PEM"},
      {in, "dxa-17.key", "x", "", "", 2, "the CA file /tmp/certs/dxa-17.key holds no certificate"},
      {in, "ca.pem", "x", "cut.pem", "dxa-17.key", 2, "cut.pem holds a damaged PEM block"},
      {in, "ca.pem", "x", "dxa-17.pem", "dxa-18.key", 2,
       "the key in /tmp/certs/dxa-18.key is not that of the certificate in /tmp/certs/dxa-17.pem"},
      {in, "ca.pem", "x", "dxa-18.pem", "collector.key", 2, "collector.key is not that of"},
      {in, "ca.pem", "x", "dxa-17.pem", "open.key", 2, "open.key may be read by others (mode 0644)"},
      {in, "ca.pem", "x", "dxa-17.pem", "sealed.key", 2, "sealed.key holds an encrypted key"},
      {in, "rogue-ca.pem", "logs.example", "dxa-17.pem", "dxa-17.key", 1,
       "the collector's certificate for logs.example is not signed by a CA in "
       "/tmp/certs/rogue-ca.pem"},
      {in, "ca.pem", "other.example", "dxa-17.pem", "dxa-17.key", 1,
       "the collector's certificate is for logs.example, not other.example"},
      {at(relp_port_), "ca.pem", "logs.example", "dxa-17.pem", "dxa-17.key", 1,
       "the collector does not speak TLS on this port (it answered \"0 serverclose 0 \")"},
      {at(silent_port), "ca.pem", "logs.example", "dxa-17.pem", "dxa-17.key", 1,
       "the handshake stalled"},
      {at(tls_ports_[kTls18]), "ca.pem", "logs.example", "dxa-17.pem", "dxa-17.key", 1,
       "the collector closed the connection during the handshake: does it refuse the module's "
       "certificate /tmp/certs/dxa-17.pem"},
      {at(tls_ports_[kTlsFuture]), "ca.pem", "logs.example", "dxa-17.pem", "dxa-17.key", 1,
       "the collector's certificate for logs.example is valid from 2040-01-01T00:00:00Z to "
       "2041-01-01T00:00:00Z, but the module's clock says 20"},
      {in, "ca.pem", "logs.example", "", "", 1,
       "the collector closed the connection during the handshake: does it want a certificate"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.to + " " + r.ca + " " + r.name + " " + r.cert + " " + r.key);
    std::vector<std::string> args{"--to", r.to, "--once", "--verbose"};
    const std::pair<const char*, const char*> options[] = {
        {"--tls-ca", r.ca}, {"--tls-name", r.name}, {"--tls-cert", r.cert}, {"--tls-key", r.key}};
    for (const auto& [option, value] : options) {
      if (*value == '\0') continue;
      args.insert(args.end(), {option, option == options[1].first ? value : c + value});
    }
    const RunResult got = run(program(SEL_FORWARD_BINARY, args));
    EXPECT_EQ(got.exit_code(), r.status) << got.err;
    const std::string said = r.status == 1 ? "cannot open a TLS session with " + r.to + ": " : "";
    EXPECT_NE(got.err.find(said + r.err), std::string::npos) << got.err;
  }
  // A stop is not held up by a handshake that stalls.
  close(silent);
  const int quiet = listener(&silent_port, true);
  Running stalled(program(SEL_FORWARD_BINARY, {"--to", at(silent_port), "--tls-ca", c + "ca.pem",
                                               "--tls-name", "logs.example"}));
  // Its ClientHello has come: it waits for the answer.
  pollfd p{quiet, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 60000), 1);
  const int hello = accept4(quiet, nullptr, nullptr, SOCK_CLOEXEC);
  p = {hello, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 60000), 1);
  kill(stalled.pid(), SIGTERM);
  EXPECT_EQ(stalled.finish().exit_code(), 0);
  close(hello);
  close(quiet);
  EXPECT_FALSE(has(1));  // nothing reached the collector
}

TEST_F(ForwardTest, StartsOnlyWhereItCanAndSaysWhy) {
  plain_store(5, 0);
  ASSERT_EQ(mkfifo("/tmp/zone", 0644), 0);  // a zone file that would block every reader
  write_file("/tmp/bad.state", "x\n");
  const auto in_shell = [](const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/bin/sh", "-c", script, "sh"};
    for (const std::string& word : program(SEL_FORWARD_BINARY, args)) argv.push_back(word);
    return argv;
  };
  Running holder(in_shell("TZ=/tmp/zone exec \"$@\"", {"--stdout", "--state", "/tmp/held"}));
  ASSERT_TRUE(wait_until([&] { return has_open(holder.pid(), "/tmp/held.lock"); }));
  // State files under other names: a link to one kept elsewhere, a link that leads
  // nowhere (its file system not mounted yet), a second name of a file, the held one.
  ASSERT_EQ(run({"sh", "-c",
                 "mkdir /tmp/kept && echo 2 -1 0 0 00000000 0 -1 >/tmp/kept/state && "
                 "ln -s /tmp/kept/state /tmp/link && "
                 "ln -s /tmp/unmounted/state /tmp/dangling && echo 2 -1 0 0 00000000 0 -1 "
                 ">/tmp/two && ln /tmp/two /tmp/second && ln -s held /tmp/held-link && "
                 "mkdir /tmp/cwd"})
                .exit_code(),
            0);
  struct Row {
    const char* script;  // runs the program as "$@"
    std::vector<std::string> args;
    int status;
    const char* err;
    int lines;
    const char* after = "true";  // a check that must hold afterwards
  } rows[] = {
      {"exec \"$@\"",
       {"--stdout", "--state", "/tmp/held"},
       2,
       "the state file /tmp/held is in use by another sel-forward (pid ",
       0},
      {"exec \"$@\"",
       {"--stdout", "--state", "/tmp/held-link"},
       2,
       "the state file /tmp/held-link is in use by another sel-forward (pid ",
       0},
      {"exec \"$@\"", {"--stdout", "--state", "/tmp"}, 2, "the state file /tmp is a directory", 0},
      {"exec \"$@\"",
       {"--stdout", "--state", "/tmp/none/state"},
       2,
       "cannot write the state file /tmp/none/state: ",
       0},
      {"exec \"$@\"", {"--stdout", "--state", "/tmp/bad.state"}, 2, "holds no cursor of sel-forward", 0},
      {"exec \"$@\" >&-", {"--stdout", "--once"}, 2, "standard output is closed", 0},
      {"exec \"$@\"", {"--stdout", "--once"}, 0, "", 5},
      {"exec \"$@\"", {"--stdout", "--once", "--verbose"}, 0, "sent 5 records, 0 reported lost\n", 5},
      // The link stays, and its file is the one kept.
      {"exec \"$@\"", {"--stdout", "--once", "--state", "/tmp/link"}, 0, "", 5,
       "test -L /tmp/link && grep -q '^2 4 5 ' /tmp/kept/state && ! ls /tmp/link.*"},
      {"exec \"$@\"", {"--stdout", "--once", "--state", "/tmp/dangling"}, 2,
       "the state file /tmp/dangling is a link that leads to no file (No such file or directory)",
       0,
       "test -L /tmp/dangling && ! ls /tmp/unmounted"},
      {"exec \"$@\"", {"--stdout", "--once", "--state", "/tmp/second"}, 2,
       "the state file /tmp/second has 2 names (hard links)", 0, "! ls /tmp/second.lock"},
      {"cd /tmp/cwd && exec \"$@\"", {"--stdout", "--state", ""}, 2, "--state: give a file name",
       0, "test -z \"$(ls -A /tmp/cwd)\""},
      // Whatever ends it with another status than 0 is said, also without --verbose.
      {"exec \"$@\"", {"--to", "127.0.0.1:1", "--once", "--verbose"}, 1,
       "cannot connect to 127.0.0.1:1: ", 0},
      {"exec \"$@\"", {"--to", "127.0.0.1:1", "--once"}, 1, "sel-forward: cannot connect to "
       "127.0.0.1:1: Connection refused\n", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args[1] + " " + r.args.back() + " " + r.script);
    // valgrind's log file takes the descriptor that the shell closed.
    if (strstr(r.script, ">&-") != nullptr && getenv("SEL_RUN_WRAPPER") != nullptr) continue;
    const RunResult got = run(in_shell(r.script, r.args));
    EXPECT_EQ(got.exit_code(), r.status) << got.err;
    EXPECT_NE(got.err.find(r.err), std::string::npos) << got.err;
    EXPECT_EQ(std::count(got.out.begin(), got.out.end(), '\n'), r.lines);
    EXPECT_EQ(run({"sh", "-c", r.after}).exit_code(), 0) << r.after;
  }
  kill(holder.pid(), SIGTERM);  // waiting for a change, whatever TZ says
  const RunResult held = holder.finish();
  EXPECT_EQ(held.exit_code(), 0) << held.err;
  EXPECT_EQ(std::count(held.out.begin(), held.out.end(), '\n'), 5);
  // Nothing sent from a store that cannot be read, and why said.
  ASSERT_EQ(unlink(kInfo), 0);
  const RunResult none = run(program(SEL_FORWARD_BINARY, {"--stdout", "--once"}));
  EXPECT_EQ(none.exit_code(), 2) << none.err;
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "sel-forward: cannot read /mnt/logs/sel/sel.inf: No such file or directory\n");
}

}  // namespace

namespace {

// A configuration of the manual: the example that holds `mark`, as it would be copied
// off the rendered page.
std::string man_example(const std::string& page, const std::string& mark) {
  const std::string roff = read_file(std::string(SEL_MAN_DIR) + "/" + page);
  std::size_t at = roff.find(mark);
  if (at == std::string::npos) return "";
  const std::size_t begin = roff.rfind(".EX\n", at) + 4;
  std::string text = roff.substr(begin, roff.find(".EE\n", at) - begin);
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"\\-", "-"}, {"\\(rs", "\\"}}) {
    for (at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from << " in " << text;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// A module: its own store, queues and host name, seld, sel-forward to the relay and a
// scenario of events. It names its seld in /tmp/HOST.seld and goes on when told that the
// store is made; it makes its snapshot when told that seld has stored every record; told
// again, it ends.
constexpr const char* kModule = R"(set -eu
mount -t tmpfs sel /mnt/logs/sel
mount -t tmpfs run /velmar/run
hostname "$1"
$SELD & seld=$!
echo "$seld" >"/tmp/$1.seld.part"
mv "/tmp/$1.seld.part" "/tmp/$1.seld"
read -r _
$SEL_FORWARD --to "relp://127.0.0.1:$RELAY" --state "/tmp/$1.state" & forward=$!
$SEL_INJECT --batch 10 --delay-ms 30 --start 2025-11-20 --duration 10d --rate "$2" scenario "$3"
: >"/tmp/$1.injected"
read -r _
$SEL_SAVE >"/tmp/$1.part"
mv "/tmp/$1.part" "/tmp/$1.tar"
read -r _
kill -TERM "$forward" "$seld"
wait "$forward"
wait "$seld"
)";

std::string words(const std::vector<std::string>& argv) {
  std::string joined;
  for (const std::string& w : argv) joined += (joined.empty() ? "" : " ") + w;
  return joined;
}

RunResult selexport(std::vector<std::string> args) { return run(program(SELEXPORT_BINARY, std::move(args))); }

// The rows, sorted: the same records of the same modules, each once, whatever the order.
std::string sorted_rows(const std::vector<std::string>& inputs) {
  std::vector<std::string> args = {"--format", "jsonl"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  const RunResult rows = selexport(args);
  std::vector<std::string> lines;
  for (std::size_t at = 0, eol; (eol = rows.out.find('\n', at)) != std::string::npos; at = eol + 1) {
    lines.push_back(rows.out.substr(at, eol - at));
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// Each module's summary from its records on: what a snapshot and the lines must agree on.
std::vector<std::string> summaries(const std::vector<std::string>& inputs) {
  std::vector<std::string> args = {"--summary", "--format", "json"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  const std::string out = selexport(args).out;
  std::vector<std::string> got;
  for (std::size_t at = 0; (at = out.find("{\"source\":", at)) != std::string::npos; ++at) {
    const std::size_t end = std::min(out.find(",\"repeats\":", at), out.find(",\"snapshot\":", at));
    got.push_back(out.substr(at, end - at));
  }
  std::sort(got.begin(), got.end());
  return got;
}

TEST_F(ForwardTest, AFleetThroughARelayToTheCentralCollector) {
  glob_t relp{};
  const bool relp_ok = glob("/usr/lib/*/rsyslog/omrelp.so", 0, nullptr, &relp) == 0;
  globfree(&relp);
  if (access(kRsyslogd, X_OK) != 0 || !relp_ok) GTEST_SKIP() << "no rsyslogd with omrelp";
  const std::string relay_port = std::to_string(relp_port_), central_port = std::to_string(tcp_port_);
  const std::string central = "/tmp/central.log";
  const auto config = [](const std::string& name, const std::string& text) {
    mkdir(("/tmp/" + name).c_str(), 0755);
    write_file("/tmp/" + name + ".conf", "global(workDirectory=\"/tmp/" + name + "\")\n" + text);
    return std::vector<std::string>{kRsyslogd, "-n", "-f", "/tmp/" + name + ".conf", "-i",
                                    "/tmp/" + name + ".pid"};
  };
  const std::vector<std::string> relay_argv = config(
      "relay", replaced(replaced(man_example("sel-forward.1", "type=\"omrelp\""),
                                 "target=\"loghost\" port=\"2514\"",
                                 "target=\"127.0.0.1\" port=\"" + central_port + "\""),
                        "port=\"2514\"", "port=\"" + relay_port + "\""));
  const std::vector<std::string> central_argv = config(
      "central", replaced(replaced(man_example("sel-forward.1", "file=\"/var/log/sel.log\""),
                                   "port=\"2514\"", "port=\"" + central_port + "\""),
                          "/var/log/sel.log", central));
  auto central_rsyslogd = std::make_unique<Running>(central_argv);
  auto relay = std::make_unique<Running>(relay_argv);

  write_file("/tmp/module.sh", kModule);
  setenv("SELD", words(program(SELD_BINARY, {})).c_str(), 1);
  setenv("SEL_FORWARD", words(program(SEL_FORWARD_BINARY, {})).c_str(), 1);
  setenv("SEL_INJECT", words(program(SEL_INJECT_BINARY, {})).c_str(), 1);
  setenv("SEL_SAVE", words(program(SEL_SAVE_BINARY, {})).c_str(), 1);
  setenv("RELAY", relay_port.c_str(), 1);
  const std::vector<std::string> hosts = {"dxa-01", "dxa-02", "dxa-03"};
  std::vector<std::unique_ptr<Running>> modules;
  for (std::size_t m = 0; m < hosts.size(); ++m) {
    modules.push_back(std::make_unique<Running>(
        std::vector<std::string>{"unshare", "--mount", "--ipc", "--uts", "--fork", "--kill-child",
                                 "sh", "/tmp/module.sh", hosts[m], std::to_string(3 + m),
                                 std::to_string(11 + m)},
        true));
  }
  // A module's seld, seen from outside its namespaces: its pid, and its store through
  // its own root.
  std::vector<std::string> selds;
  for (std::size_t m = 0; m < hosts.size(); ++m) {
    const std::string named = "/tmp/" + hosts[m] + ".seld";
    ASSERT_TRUE(wait_until([&] { return exists(named); }, 300)) << named;
    const std::string pid = read_file(named);
    selds.push_back(pid.substr(0, pid.find('\n')));
    ASSERT_TRUE(wait_until([&] { return exists("/proc/" + selds[m] + "/root/mnt/logs/sel/sel.inf"); },
                           300)) << hosts[m];
    modules[m]->write_stdin("store made\n");
  }
  // The collector killed outright once records flow (a line is about 300 bytes), then
  // the relay.
  const auto size = [&] {
    struct stat st {};
    return stat(central.c_str(), &st) == 0 ? st.st_size : 0;
  };
  ASSERT_TRUE(wait_until([&] { return size() >= 300 * 300; }, 300));
  stop(central_rsyslogd, SIGKILL);
  central_rsyslogd = std::make_unique<Running>(central_argv);
  ASSERT_TRUE(wait_until([&] { return size() >= 1200 * 300; }, 300));
  stop(relay, SIGKILL);
  relay = std::make_unique<Running>(relay_argv);

  std::vector<std::string> snapshots;
  for (std::size_t m = 0; m < hosts.size(); ++m) {
    ASSERT_TRUE(wait_until([&] { return exists("/tmp/" + hosts[m] + ".injected"); }, 300));
    // seld takes any message of its queue: waiting in msgrcv, it has stored them all.
    ASSERT_TRUE(wait_until([&] { return sleeps_in(std::stoi(selds[m]), "msgrcv"); }, 300));
    modules[m]->write_stdin("save\n");
    snapshots.push_back("/tmp/" + hosts[m] + ".tar");
  }
  for (const std::string& tar : snapshots) {
    ASSERT_TRUE(wait_until([&] { return exists(tar); }, 300)) << tar;
  }
  // Every record of every module, each once after the repeats are dropped, of its host;
  // the summaries agree with the modules' own snapshots.
  const std::string want = sorted_rows(snapshots);
  off_t seen = 0;
  ASSERT_TRUE(wait_until([&] {
    const off_t n = size();
    if (n == seen) return false;
    seen = n;
    return sorted_rows({central}) == want;
  }, 300)) << "the collector's file never held every record once";
  EXPECT_EQ(summaries({central}), summaries(snapshots));
  for (const auto& module : modules) {
    module->write_stdin("stop\n");
    EXPECT_EQ(module->finish().exit_code(), 0);
  }
  stop(relay);
  stop(central_rsyslogd);

  // The page in a browser: three modules in its table.
  if (!exists("/usr/bin/chromium")) return;
  write_file("/tmp/fleet.html", selexport({"--format", "html", central}).out);
  const RunResult shown = chromium("file:///tmp/fleet.html", {"--dump-dom", "--window-size=1400,1000"});
  std::string table = shown.out.substr(std::min(shown.out.size(), shown.out.find("<table id=\"stores\">")));
  table.resize(std::min(table.size(), table.find("</table>")));
  std::size_t rows = 0;
  for (std::size_t at = 0; (at = table.find("<td class=\"link\">dxa-0", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, 3U) << shown.out;
}

}  // namespace
