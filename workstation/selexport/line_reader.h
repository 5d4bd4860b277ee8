// The lines of a log collector's file, or of a pipe, one at a time in bounded memory:
// plain or gzip-compressed (rotated logs), told by the gzip header, members of several
// compressed files one after the other read as one. A line longer than any line of ours
// can be is passed over without being held; a compressed input that inflates to more
// than a log could (a gzip bomb) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/status.h"

// Longer lines (their line end aside) are passed over and counted (a message of ours is at most 2048 bytes,
// and a collector writes a few of its control characters as four).
inline constexpr std::size_t LINE_MAX_LEN = std::size_t{64} << 10;
// A compressed input may inflate to this many times its size, plus INFLATE_SLACK: logs
// shrink about tenfold; a file of one repeated byte, a thousandfold.
inline constexpr std::uint64_t INFLATE_RATIO_MAX = 100;
inline constexpr std::uint64_t INFLATE_SLACK = 1 << 20;

class LineReader {
 public:
  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  LineReader(LineReader&&) = delete;
  LineReader& operator=(LineReader&&) = delete;

  // Starts reading `fd`, which the reader then owns. memory when its buffers cannot be
  // had, or the first read's.
  Status open(int fd);
  // A compressed input where this build has no zlib: no line can be read of it.
  bool unreadable() const { return unreadable_; }
  // Gives up the descriptor, for another reader of the input (with raw_head()).
  int release();

  // The first `n` bytes of what the lines are made of (inflated), or fewer where the
  // input is shorter, without taking them.
  std::string_view head(std::size_t n);
  // The bytes read from the input itself so far, while no line has been taken: what a
  // reader of the input from its start must be given again.
  std::string_view raw_head() const;
  bool compressed() const { return z_ != nullptr; }

  enum class Got : unsigned char { line, too_long, end };
  // The next line without its line end (valid until the next call), a line passed over
  // as too long, or the end. At the end, status() says whether the input ended well.
  Got next(std::string_view* line);
  // The number of the line last given (1 for the first).
  std::uint64_t number() const { return number_; }
  // Why the input ended early: a read (errno), gzip_damaged, gzip_cut_short, or
  // too_large (a compressed input that inflates beyond its bound; value: its size).
  const Status& status() const { return status_; }
  std::uint64_t bytes_in() const { return in_total_; }
  std::uint64_t bytes_out() const { return out_total_; }

 private:
  bool fill();  // more bytes after end_; false at the input's end or on a fault
  std::size_t read_plain(char* to, std::size_t room);
  std::size_t inflate_some(char* to, std::size_t room);
  std::size_t read_compressed();

  int fd_ = -1;
  char* buf_ = nullptr;  // the lines: [start_, end_) not yet taken
  std::size_t start_ = 0, end_ = 0;
  unsigned char* in_ = nullptr;  // compressed bytes read, not yet inflated
  std::size_t in_first_ = 0;     // what the first read gave
  struct ZState;
  ZState* z_ = nullptr;
  bool ended_ = false;
  bool unreadable_ = false;
  bool taken_ = false;  // a line was taken: raw_head() no longer holds the start
  std::uint64_t number_ = 0;
  std::uint64_t in_total_ = 0, out_total_ = 0;
  Status status_;
};
