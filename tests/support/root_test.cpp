#include "tests/support/root_test.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "standins/storewriter/store_writer.h"

#ifndef SEL_EMULATOR
#define SEL_EMULATOR ""
#endif

namespace {

// Why the tests that need a module root cannot run here, or nullptr when they can.
const char* module_root_missing() {
  const char* in_root = getenv("SEL_MODROOT");
  if (in_root != nullptr && strcmp(in_root, "1") == 0 && access("/velmar/run", W_OK) == 0)
    return nullptr;
  const char* why = getenv("MODROOT_SKIP");
  return why != nullptr ? why : "not started in a module root (run it through workstation/sel-view/modroot)";
}

}  // namespace

void RootTest::SetUp() {
  if (const char* why = module_root_missing()) GTEST_SKIP() << why;
  setenv("TZ", "UTC", 1);
  tzset();
  chmod("/velmar/run", 0755);
  std::error_code error;
  for (const char* dir : {"/mnt/logs/sel", "/velmar/run"}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
      std::filesystem::remove_all(entry.path(), error);
  }
  for (key_t key : {7, 20}) {
    const int id = msgget(key, 0);
    if (id >= 0) msgctl(id, IPC_RMID, nullptr);
  }
}

SyslogSink::SyslogSink() {
  unlink("/dev/log");
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  strcpy(addr.sun_path, "/dev/log");
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "cannot bind /dev/log: " << strerror(errno);
  }
  chmod("/dev/log", 0666);
}

SyslogSink::~SyslogSink() {
  close(fd_);
  unlink("/dev/log");
}

std::vector<LogLine> SyslogSink::take() {
  std::vector<LogLine> lines;
  char buf[8192];
  for (;;) {
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) break;
    // "<PRI>Mmm dd hh:mm:ss ident[pid]: text", the pid only where asked for
    const std::string msg(buf, static_cast<size_t>(n));
    LogLine line;
    int pri = 0, at = 0;
    char ident[64] = {};
    if (sscanf(msg.c_str(), "<%d>%*15c %63[^[:]%n", &pri, ident, &at) < 2) {
      ADD_FAILURE() << "not a syslog message: " << msg;
    }
    if (msg.compare(static_cast<size_t>(at), 1, "[") == 0) {
      line.pid = atoi(msg.c_str() + at + 1);
      at = static_cast<int>(msg.find(']', static_cast<size_t>(at)) + 1);
    }
    line.priority = pri & 7;
    line.facility = pri & ~7;
    line.ident = ident;
    line.text = msg.substr(std::min(msg.size(), static_cast<size_t>(at) + 2));
    lines.push_back(line);
  }
  return lines;
}

bool SyslogSink::arrives(const std::string& text, pid_t pid) {
  return wait_until([&] {
    for (const LogLine& line : take()) {
      if ((pid == -1 || line.pid == pid) && line.text.rfind(text, 0) == 0) return true;
    }
    return false;
  });
}

int RunResult::exit_code() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

namespace {

// Appends the words of a '|'-separated command prefix.
void add_words(std::vector<std::string>& argv, const char* words) {
  std::stringstream in(words);
  for (std::string word; std::getline(in, word, '|');) {
    if (!word.empty()) argv.push_back(word);
  }
}

}  // namespace

std::vector<std::string> program(const std::string& binary, std::vector<std::string> args) {
  std::vector<std::string> argv;
  // A run-time wrapper (tools/memcheck's valgrind) goes first: it runs the emulator too.
  if (const char* wrapper = getenv("SEL_RUN_WRAPPER")) add_words(argv, wrapper);
  add_words(argv, SEL_EMULATOR);
  argv.push_back(binary);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// Standard error goes to a file of its own: a chatty program never stalls on a full pipe.
Running::Running(const std::vector<std::string>& argv, bool with_stdin) {
  int in[2], out[2];
  err_ = memfd_create("stderr", MFD_CLOEXEC);
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || err_ < 0) {
    ADD_FAILURE() << "pipe: " << strerror(errno);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(with_stdin ? in[0] : open("/dev/null", O_RDONLY), 0);
    dup2(out[1], 1);
    dup2(err_, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
  if (!with_stdin) close_stdin();
}

Running::~Running() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    finish();
  }
}

void Running::write_stdin(const std::string& text) {
  ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void Running::close_stdin() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

RunResult Running::finish() {
  RunResult result;
  close_stdin();
  char buf[65536];
  for (ssize_t n; (n = read(out_, buf, sizeof buf)) != 0;) {
    if (n > 0) result.out.append(buf, static_cast<size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  while (waitpid(pid_, &result.status, 0) < 0 && errno == EINTR) {
  }
  for (ssize_t n, at = 0; (n = pread(err_, buf, sizeof buf, at)) > 0; at += n) {
    result.err.append(buf, static_cast<size_t>(n));
  }
  close(out_);
  close(err_);
  out_ = err_ = -1;
  pid_ = -1;
  return result;
}

RunResult run(const std::vector<std::string>& argv) { return Running(argv).finish(); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool wait_until(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool has_open(pid_t pid, const std::string& path) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator(
           "/proc/" + std::to_string(pid) + "/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
  }
  return false;
}

bool sleeps_in(pid_t pid, const std::string& where) {
  return read_file("/proc/" + std::to_string(pid) + "/wchan").find(where) != std::string::npos;
}

LockHolder::LockHolder(const std::string& path) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    ADD_FAILURE() << "socketpair: " << strerror(errno);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(ends[0]);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0666);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    const char ok = (fd >= 0 && fcntl(fd, F_SETLKW, &fl) == 0) ? 'y' : 'n';
    (void)!write(ends[1], &ok, 1);
    (void)!read(ends[1], &fl, 1);  // until release() or the test's end
    _exit(0);
  }
  close(ends[1]);
  go_ = ends[0];
  char ok = 'n';
  EXPECT_TRUE(read(go_, &ok, 1) == 1 && ok == 'y') << "cannot lock " << path;
}

LockHolder::~LockHolder() { release(); }

void LockHolder::release() {
  if (pid_ <= 0) return;
  close(go_);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void plain_store(int rec_count, int oldest_file, const std::string& dir) {
  const SelInfo ring = sel_ring_info(1, rec_count, oldest_file);
  EXPECT_TRUE(store_write(dir.c_str(), ring, store_plain_record, nullptr).ok()) << dir;
}

std::string plain_lines(int first_id, int first_index, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    const time_t t = first_index + i;
    text += "Record " + std::to_string(first_id + i) + ": " + std::string(ctime(&t), 24) +
            " [unknown-type.normal]: Don't know how to decode this record.\n";
  }
  return text;
}

OpenWatch::OpenWatch(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  EXPECT_GE(inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_CLOSE), 0) << dir;
}

OpenWatch::~OpenWatch() { close(fd_); }

std::map<std::string, int> OpenWatch::opened() {
  std::map<std::string, int> opens;
  alignas(inotify_event) char buf[65536];
  for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) {
    for (char* p = buf; p < buf + n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(p);
      EXPECT_EQ(ev->mask & IN_Q_OVERFLOW, 0u);
      if ((ev->mask & IN_OPEN) != 0 && ev->len > 0) ++opens[ev->name];
      p += sizeof(inotify_event) + ev->len;
    }
  }
  return opens;
}

RunResult chromium(const std::string& url, const std::vector<std::string>& how) {
  std::vector<std::string> argv = {
      "/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--no-first-run", "--disable-quic", "--user-data-dir=/tmp/chromium",
      "--enable-logging=stderr", "--v=0",
      // The report draws its counts, stores and repeating messages in tasks after its
      // first paint: a dump or a picture waits until no task is left.
      "--virtual-time-budget=10000"};
  argv.insert(argv.end(), how.begin(), how.end());
  argv.push_back(url);
  return run(argv);
}
