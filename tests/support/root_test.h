// The test bench inside a module root: a fixture that skips when the test program
// does not run in one, a reader of the root's /dev/log, and a runner for the real
// binaries (through the emulator of a cross build).
#pragma once

// What the tests in a module root use of the system, included here once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One message as it reached /dev/log.
struct LogLine {
  int priority = -1;  // LOG_ERR, ...
  int facility = -1;  // LOG_USER, ...
  std::string ident;
  int pid = -1;
  std::string text;   // after "ident[pid]: "
};

// Binds /dev/log in the module root and collects what arrives.
class SyslogSink {
 public:
  SyslogSink();
  ~SyslogSink();
  SyslogSink(const SyslogSink&) = delete;
  SyslogSink& operator=(const SyslogSink&) = delete;
  // Everything that has arrived since the last call.
  std::vector<LogLine> take();
  // Waits for a line that begins with `text` (from process `pid`, unless -1), passing
  // over the others; whether it came.
  bool arrives(const std::string& text, pid_t pid = -1);

 private:
  int fd_ = -1;
};

struct RunResult {
  int status = -1;       // as from waitpid
  std::string out;       // standard output
  std::string err;       // standard error
  int exit_code() const;  // -1 unless it exited
};

// argv[0] names one of our binaries (SEL_BINARY, ...); the emulator prefix is added,
// and in front of it the words of SEL_RUN_WRAPPER ('|'-separated) when that is set.
std::vector<std::string> program(const std::string& binary, std::vector<std::string> args);

// Runs to the end.
RunResult run(const std::vector<std::string>& argv);

// A program left running: its standard output is read at finish().
class Running {
 public:
  Running(const std::vector<std::string>& argv, bool with_stdin = false);
  ~Running();
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  pid_t pid() const { return pid_; }
  void write_stdin(const std::string& text);
  void close_stdin();
  RunResult finish();            // waits for the end

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};

// A fixture for tests in a module root: skipped outside one; the store directory,
// /velmar/run and the queues of keys 7 and 20 are empty at the start of each test, and
// dates are those of UTC (for the test and the programs it starts).
class RootTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// Waiting between processes is for what can be seen, never for a fixed time: `done` is
// polled until it holds or `seconds` have passed (a loaded machine, valgrind and qemu
// all fit in the default). Returns whether it held.
bool wait_until(const std::function<bool()>& done, int seconds = 60);
// Whether process `pid` has `path` open.
bool has_open(pid_t pid, const std::string& path);
// Whether process `pid` sleeps in a kernel function whose name holds `where`
// ("pipe_write", "msgsnd"); qemu and valgrind make a program's calls in its own process.
bool sleeps_in(pid_t pid, const std::string& where);

// The store that seld leaves of `rec_count` plain records (every reader prints them
// without a decoder) from `oldest_file` on, in `dir`.
void plain_store(int rec_count, int oldest_file, const std::string& dir = "/mnt/logs/sel");
// The lines of those records from ring index `first_index` and id `first_id` on.
std::string plain_lines(int first_id, int first_index, int count);
// Watches `dir` for files being opened (and closed: inotify folds identical events that
// follow each other); opened() takes the count of opens by file name seen so far.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& dir);
  ~OpenWatch();
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;
  std::map<std::string, int> opened();

 private:
  int fd_ = -1;
};

// Headless Chromium on `url` with the options `how` (--dump-dom, --screenshot=...).
RunResult chromium(const std::string& url, const std::vector<std::string>& how);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
bool exists(const std::string& path);
// Holds a whole-file fcntl write lock on `path` in a child process until release().
class LockHolder {
 public:
  explicit LockHolder(const std::string& path);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  void release();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
};
