// Taking over another process's session: the asking mode in-process for its edge
// cases, and end to end with our confd, the asking program and a holder.
#include <arpa/inet.h>
#include <fcntl.h>

#include <bit>
#include <optional>
#include <thread>

#include "lib/packet.h"
#include "lib/session_lock.h"
#include "tests/support/root_test.h"

namespace {

using TakeoverTest = RootTest;

const std::string kQuestion =
    "User root has an active sel session.\n"
    "Would you like to disconnect that session, and start yours [y/n]? ";

// A real `sel` holding its session where only SIGUSR1 can end it: `sel info` waiting
// for the store lock that the test keeps or, `writing`, `sel rd_all` stuck on its
// output pipe, full because nobody reads it until wait(), as under a pager that waits.
class SessionHolder {
 public:
  explicit SessionHolder(bool writing) {
    if (writing) {
      plain_store(4000, 0);
    } else {
      store_.emplace("/velmar/run/seldb.lck");
    }
    sel_.emplace(program(SEL_BINARY, {writing ? "rd_all" : "info"}));
    // The owner is written once the SIGUSR1 handler is in.
    const std::string owner = "root," + std::to_string(pid());
    EXPECT_TRUE(wait_until([&] {
      return read_file("/velmar/run/sel") == owner && (!writing || sleeps_in(pid(), "pipe_write"));
    }));
  }
  pid_t pid() const { return sel_->pid(); }
  RunResult wait() { return sel_->finish(); }

 private:
  std::optional<LockHolder> store_;
  std::optional<Running> sel_;
};

// The next process made in this module root (its own pid namespace) gets `pid`.
// Another task may take the pid before the fork (seen under qemu-ppc): the child restarts.
template <typename Child, typename Arg>
void start_with_pid(std::optional<Child>& child, pid_t pid, const Arg& arg) {
  for (int tries = 0; tries < 50 && (!child || child->pid() != pid); ++tries) {
    child.reset();
    write_file("/proc/sys/kernel/ns_last_pid", std::to_string(pid - 1));
    child.emplace(arg);
  }
}

// The signal that has ended our child `pid`, without reaping it: 0 while it runs.
int ended_by_signal(pid_t pid) {
  siginfo_t info{};
  waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | WNOHANG);
  if (info.si_pid != pid) return 0;
  return info.si_code == CLD_KILLED ? info.si_status : -1;
}

TEST_F(TakeoverTest, ConfdEndsTheHolderAndOnlyIt) {
  SyslogSink sink;
  std::optional<SessionHolder> holder;
  Running confd(program(CONFD_BINARY, {}));
  ASSERT_TRUE(sink.arrives("reading queue key 20\n"));

  // The holder must end without flushing its output, which could wait forever.
  for (const bool writing : {false, true}) {
    SCOPED_TRACE(writing ? "holder writing" : "holder waiting for the store lock");
    holder.emplace(writing);
    Running asker(program(SEL_ASK_BINARY, {}), true);
    const pid_t asker_pid = asker.pid();
    asker.write_stdin("y\n");
    const RunResult taken = asker.finish();
    EXPECT_EQ(taken.out, kQuestion + "\nresult 1, close-on-exec 1\n");
    const pid_t holder_pid = holder->pid();
    const RunResult ended = holder->wait();
    EXPECT_EQ(ended.exit_code(), 0) << ended.status;
    EXPECT_EQ(ended.out.empty(), !writing);
    EXPECT_TRUE(sink.arrives("takeover: sent SIGUSR1 to pid " + std::to_string(holder_pid) + "\n"));
    EXPECT_EQ(read_file("/velmar/run/sel"), "root," + std::to_string(asker_pid));
  }

  // confd signals the process that holds the session, and only when the packet's 16
  // bits are that process's: never the process whose pid the packet happens to carry.
  std::optional<Running> bystander;
  start_with_pid(bystander, 4464, std::vector<std::string>{"sleep", "600"});
  ASSERT_EQ(bystander->pid(), 4464) << "the pid could not be chosen";
  // Nobody, then pid 70000 holds the session; the packet carries a forged pid 1, then its 16 bits.
  const struct {
    int packet_pid;
    std::string log;
  } rows[] = {
      {1, "nobody holds the session: nothing sent"},
      {1, "the packet names pid 1, but pid 70000 holds the session: nothing sent"},
      {4464, "sent SIGUSR1 to pid 70000"},
  };
  std::optional<LockHolder> forged;
  for (const auto& row : rows) {
    if (!forged && &row != rows) {
      start_with_pid(forged, 70000, std::string("/velmar/run/sel"));
      ASSERT_EQ(forged->pid(), 70000) << "the pid could not be chosen";
    }
    TakeoverPacket packet{{1, 2, 0, 0, 32}, {20, {}}, {{0, 14}, {0, 1}, 4, 0, 0}};
    packet.body.pid = htons(static_cast<std::uint16_t>(row.packet_pid));
    ASSERT_EQ(msgsnd(msgget(20, 0), &packet, 32, 0), 0);
    EXPECT_TRUE(sink.arrives("takeover: " + row.log + "\n"));
  }
  EXPECT_TRUE(wait_until([&] { return ended_by_signal(forged->pid()) == SIGUSR1; }));
  EXPECT_EQ(ended_by_signal(bystander->pid()), 0) << "the bystander was signalled";
  kill(confd.pid(), SIGTERM);
  EXPECT_EQ(confd.finish().exit_code(), 0);
  EXPECT_TRUE(sink.arrives("stopping on SIGTERM\n"));
}

// Asks for "sel" in this process; standard output goes to /tmp/printed. `answer` is
// fed through a FIFO only once `printed` has reached the file or this process waits
// for the answer, so a question still sitting in a buffer shows up as `printed_first`
// false.
int ask(const std::string& answer, const char* question, const std::string& printed,
        bool& printed_first) {
  unlink("/tmp/answer");
  EXPECT_EQ(mkfifo("/tmp/answer", 0600), 0);
  fflush(stdout);
  const int saved = dup(1);
  const int out = open("/tmp/printed", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(out, 1);
  close(out);
  std::thread feeder([&] {
    const int fd = open("/tmp/answer", O_WRONLY);
    wait_until([&] {
      return read_file("/tmp/printed") == printed || sleeps_in(getpid(), "pipe_read");
    });
    printed_first = read_file("/tmp/printed") == printed;
    (void)!write(fd, answer.data(), answer.size());
    close(fd);
  });
  EXPECT_NE(freopen("/tmp/answer", "r", stdin), nullptr);
  const int result = question != nullptr ? session_lock_ask_prompt("sel", nullptr, question)
                                         : session_lock_ask("sel", nullptr);
  feeder.join();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return result;
}

TEST_F(TakeoverTest, RefusalsAndFailures) {
  struct Row {
    const char* what;
    std::string owner;
    std::string answer;
    const char* question;
    int result;
    std::string printed;
    int next;  // what standard input gives after the takeover
  };
  const std::string own_pid = std::to_string(getpid());
  const Row rows[] = {
      {"no comma", "root 1234", "y\n", nullptr, -5, "", 'y'},
      {"not a number", "root,abc", "y\n", nullptr, -6, "", 'y'},
      {"our own pid", "root," + own_pid, "y\n", nullptr, -6, "", 'y'},
      {"longer than the buffer", std::string(49, 'u') + ",12", "y\n", nullptr, -4, "", 'y'},
      {"end of input", "root,1234", "", nullptr, 0, kQuestion, EOF},
      {"refused", "root,1234", "nope\nmore", "Take it? ", 0, "Take it? ", 'o'},
      {"holder stays", "root,70000", "Yes please\nmore", nullptr, -8, kQuestion, 'm'},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    write_file("/velmar/run/sel", row.owner);
    LockHolder holder("/velmar/run/sel");  // ignores the packet: no confd runs
    bool printed_first = false;
    EXPECT_EQ(ask(row.answer, row.question, row.printed, printed_first), row.result);
    EXPECT_TRUE(printed_first) << read_file("/tmp/printed");
    EXPECT_EQ(getchar(), row.next);
    EXPECT_EQ(session_lock_release(), -1) << "the descriptor must be released";
  }

  // The one packet sent, by the holder that stayed: its pid cut to 16 bits, which on
  // the module read 00 00 11 70, the high byte first.
  std::vector<unsigned char> got(sizeof(TakeoverPacket) + 64);
  ASSERT_EQ(msgrcv(msgget(20, 0), got.data(), 64, 0, IPC_NOWAIT), 32);
  const unsigned char big[] = {0, 0, 0x11, 0x70}, little[] = {0x11, 0x70, 0, 0};
  EXPECT_EQ(memcmp(got.data() + DXA_PKT_HEAD + 8,
                   std::endian::native == std::endian::big ? big : little, 4), 0);
  EXPECT_LT(msgrcv(msgget(20, 0), got.data(), 64, 0, IPC_NOWAIT), 0) << "only one packet";
}

TEST_F(TakeoverTest, PacketBodies) {
  EXPECT_EQ(dxa_pkt_alloc(1025), nullptr);
  EXPECT_EQ(dxa_pkt_free(nullptr), -1);
  for (int length : {1024, 0}) {
    auto* body = static_cast<unsigned char*>(dxa_pkt_alloc(length));
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(dxa_pkt_send(body, length, 0x105, 0), -1) << "key out of range";
    EXPECT_EQ(dxa_pkt_send(body, length, 5, 0), length);
    EXPECT_EQ(dxa_pkt_free(body), 0);
  }
  std::vector<unsigned char> got(sizeof(long) + 2048);
  EXPECT_EQ(msgrcv(msgget(5, 0), got.data(), 2048, 0, IPC_NOWAIT), 1044);
  EXPECT_EQ(msgrcv(msgget(5, 0), got.data(), 2048, 0, IPC_NOWAIT), 20);
  EXPECT_EQ(got[sizeof(MsgHeader)], 5);
}

}  // namespace
