#include "workstation/selexport/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lib/posix.h"

#if SEL_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

// Lines are taken from a buffer that holds the longest line passed on and more, so that
// a refill moves little; the compressed bytes come in pieces of their own.
constexpr std::size_t kBufSize = LINE_MAX_LEN + (std::size_t{192} << 10);
constexpr std::size_t kInSize = std::size_t{64} << 10;
constexpr unsigned char kGzip0 = 0x1f, kGzip1 = 0x8b;

}  // namespace

#if SEL_HAVE_ZLIB
struct LineReader::ZState {
  z_stream z{};
  std::size_t in_len = 0;  // bytes in in_; z.next_in points into them
  bool keep_raw = true;    // in_ still holds every byte read from the start
  bool done = false;       // the last compressed file has ended
};
#else
struct LineReader::ZState {};
#endif

LineReader::~LineReader() {
#if SEL_HAVE_ZLIB
  if (z_ != nullptr) (void)inflateEnd(&z_->z);
#endif
  delete z_;
  free(buf_);
  free(in_);
  if (fd_ >= 0) (void)close(fd_);
}

Status LineReader::open(int fd) {
  fd_ = fd;
  buf_ = static_cast<char*>(malloc(kBufSize));
  in_ = static_cast<unsigned char*>(malloc(kInSize));
  if (buf_ == nullptr || in_ == nullptr) return fail_data(Step::memory);
  // Two bytes tell a compressed input; a pipe may give them one at a time.
  std::size_t got = 0;
  while (got < 2) {
    const ssize_t n = read(fd_, in_ + got, kInSize - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail_errno(Step::read);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  in_total_ = got;
  in_first_ = got;
  if (got < 2 || in_[0] != kGzip0 || in_[1] != kGzip1) {
    memcpy(buf_, in_, got);
    end_ = got;
    out_total_ = got;
    ended_ = got == 0;
    return kDone;
  }
#if SEL_HAVE_ZLIB
  z_ = new ZState;
  z_->in_len = got;
  z_->z.next_in = in_;
  z_->z.avail_in = static_cast<uInt>(got);
  // 15 bits of window, gzip's header and trailer (16).
  if (inflateInit2(&z_->z, 15 + 16) != Z_OK) return fail_data(Step::memory);
  return kDone;
#else
  unreadable_ = true;
  ended_ = true;
  return kDone;
#endif
}

int LineReader::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

std::size_t LineReader::read_plain(char* to, std::size_t room) {
  while (true) {
    const ssize_t n = read(fd_, to, room);
    if (n >= 0) {
      in_total_ += static_cast<std::uint64_t>(n);
      return static_cast<std::size_t>(n);
    }
    if (errno != EINTR) {
      status_ = fail_errno(Step::read);
      return 0;
    }
  }
}

#if SEL_HAVE_ZLIB
// More compressed bytes for inflate(); how many. While no line is taken, every byte read
// is kept for raw_head(), as long as there is room.
std::size_t LineReader::read_compressed() {
  z_stream& z = z_->z;
  const bool append = z_->keep_raw && z_->in_len < kInSize;
  z_->keep_raw = append;
  const std::size_t at = append ? z_->in_len : 0;
  const std::size_t n = read_plain(reinterpret_cast<char*>(in_) + at, kInSize - at);
  z_->in_len = at + n;
  z.next_in = in_ + at;
  z.avail_in = static_cast<uInt>(n);
  return n;
}

// Inflates into `to`; 0 at the end of the input or on a fault (status_ says which).
// Compressed files one after the other are read as one, as gzip -d reads them.
std::size_t LineReader::inflate_some(char* to, std::size_t room) {
  z_stream& z = z_->z;
  if (z_->done) return 0;
  z.next_out = reinterpret_cast<Bytef*>(to);
  z.avail_out = static_cast<uInt>(room);
  while (z.avail_out == room) {
    if (z.avail_in == 0 && read_compressed() == 0) {
      if (status_.ok()) status_ = fail_data(Step::gzip_cut_short);
      return 0;
    }
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      // Another compressed file may follow; anything else after one is passed over.
      if (z.avail_in == 0) (void)read_compressed();
      z_->done = z.avail_in < 2 || z.next_in[0] != kGzip0 || z.next_in[1] != kGzip1;
      if (z_->done) break;
      (void)inflateReset(&z);
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      status_ = fail_data(Step::gzip_damaged);
      return 0;
    }
  }
  return room - z.avail_out;
}
#else
std::size_t LineReader::inflate_some(char* /*to*/, std::size_t /*room*/) { return 0; }
#endif

bool LineReader::fill() {
  if (ended_ || !status_.ok()) return false;
  if (start_ > 0 && taken_) {
    memmove(buf_, buf_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  const std::size_t room = kBufSize - end_;
  if (room == 0) return false;
  const std::size_t n = z_ != nullptr ? inflate_some(buf_ + end_, room) : read_plain(buf_ + end_, room);
  if (n == 0) {
    ended_ = true;
    return false;
  }
  end_ += n;
  if (z_ != nullptr) {
    out_total_ += n;
    if (out_total_ > INFLATE_RATIO_MAX * in_total_ + INFLATE_SLACK) {
      status_ = fail_data(Step::too_large, nullptr, static_cast<std::int64_t>(in_total_));
      ended_ = true;
      return false;
    }
  } else {
    out_total_ = in_total_;
  }
  return true;
}

std::string_view LineReader::head(std::size_t n) {
  while (end_ - start_ < n && fill()) {
  }
  return {buf_ + start_, end_ - start_ < n ? end_ - start_ : n};
}

std::string_view LineReader::raw_head() const {
  if (taken_) return {};
  if (unreadable_) return {reinterpret_cast<const char*>(in_), in_first_};
#if SEL_HAVE_ZLIB
  if (z_ != nullptr) {
    return z_->keep_raw ? std::string_view(reinterpret_cast<const char*>(in_), z_->in_len)
                        : std::string_view{};
  }
#endif
  return {buf_, end_};
}

LineReader::Got LineReader::next(std::string_view* line) {
  taken_ = true;
  bool skipping = false;  // in a line too long to keep
  std::size_t scanned = 0;  // bytes after start_ known to hold no line end
  while (true) {
    const auto* nl = static_cast<const char*>(
        memchr(buf_ + start_ + scanned, '\n', end_ - start_ - scanned));
    if (nl != nullptr) {
      const std::size_t at = static_cast<std::size_t>(nl - buf_);
      *line = {buf_ + start_, at - start_};
      start_ = at + 1;
      ++number_;
      return skipping || line->size() > LINE_MAX_LEN ? Got::too_long : Got::line;
    }
    if (end_ - start_ >= LINE_MAX_LEN) {
      skipping = true;  // what is held of it goes; the rest is read until its end
      start_ = end_ = 0;
    }
    scanned = end_ - start_;
    if (!fill()) break;
  }
  // A line that a damaged input cuts is not given: it would pass for a malformed one.
  if ((start_ == end_ && !skipping) || !status_.ok()) return Got::end;
  *line = {buf_ + start_, end_ - start_};  // the last line, without its line end
  start_ = end_;
  ++number_;
  return skipping || line->size() > LINE_MAX_LEN ? Got::too_long : Got::line;
}
