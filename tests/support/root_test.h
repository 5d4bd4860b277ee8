// The test bench inside a module root: a fixture that skips when the test program
// does not run in one, a reader of the root's /dev/log, and a runner for the real
// binaries (through the emulator of a cross build).
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Why the tests that need a module root cannot run here, or nullptr when they can.
const char* module_root_missing();

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

// Runs to the end with `input` on standard input.
RunResult run(const std::vector<std::string>& argv, const std::string& input = "");

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
// /velmar/run and the queues of keys 7 and 20 are empty at the start of each test.
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
