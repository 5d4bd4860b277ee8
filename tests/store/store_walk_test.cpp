// The reading modes called in-process in a module root: which records they print, how
// many times they open a record file, and when they let go of the store lock.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "store/sel_rd.h"
#include "store/sel_store.h"
#include "tests/support/root_test.h"
#include "tools/storewriter/store_writer.h"

namespace {

// What one walk printed, record by record, and whether the store lock was still held
// when each record's line was written.
struct Walk {
  int result = -1;
  std::vector<std::string> other_lines;  // lines that are not record lines
  std::vector<int> ids;
  std::vector<bool> held;
  std::map<int, int> opens;  // record file index -> opens
};

struct Sink {
  Walk* walk;
  int lock;
  std::string pending;
};

bool lock_still_open(int fd) {
  char link[64];
  char target[256] = {};
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  return readlink(link, target, sizeof target - 1) > 0 && strcmp(target, SEL_LOCK_DB) == 0;
}

ssize_t sink_write(void* cookie, const char* data, size_t size) {
  auto* sink = static_cast<Sink*>(cookie);
  sink->pending.append(data, size);
  for (size_t nl; (nl = sink->pending.find('\n')) != std::string::npos;) {
    const std::string line = sink->pending.substr(0, nl);
    sink->pending.erase(0, nl + 1);
    int id = 0;
    if (sscanf(line.c_str(), "Record %d: ", &id) == 1) {
      sink->walk->ids.push_back(id);
      sink->walk->held.push_back(lock_still_open(sink->lock));
    } else {
      sink->walk->other_lines.push_back(line);
    }
  }
  return static_cast<ssize_t>(size);
}

class StoreWalkTest : public RootTest {
 protected:
  void write_store(int rec_count, int oldest_file) {
    ASSERT_EQ(store_write("/mnt/logs/sel", sel_ring_info(1, rec_count, oldest_file),
                          store_plain_record, nullptr),
              0);
    info_ = sel_ring_info(1, rec_count, oldest_file);
  }

  // Runs one mode with a fresh store lock, watching the record files being opened.
  template <typename Mode>
  Walk walk(Mode mode) {
    Walk w;
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Closes are watched too: inotify folds identical events that follow each other.
    inotify_add_watch(watch, "/mnt/logs/sel", IN_OPEN | IN_CLOSE);
    const int lock = sel_get_lock(SEL_LOCK_DB);
    EXPECT_GE(lock, 0);
    Sink sink{&w, lock, {}};
    FILE* out = fopencookie(&sink, "w", {nullptr, sink_write, nullptr, nullptr});
    setvbuf(out, nullptr, _IONBF, 0);
    w.result = mode(out, lock);
    fclose(out);
    EXPECT_FALSE(lock_still_open(lock)) << "the store lock is released on every way out";
    alignas(inotify_event) char buf[65536];
    for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;) {
      for (char* p = buf; p < buf + n;) {
        const auto* ev = reinterpret_cast<inotify_event*>(p);
        int file = -1;
        if ((ev->mask & IN_OPEN) != 0 && ev->len > 0 && sscanf(ev->name, "sel.%d", &file) == 1)
          ++w.opens[file];
        p += sizeof(inotify_event) + ev->len;
      }
    }
    close(watch);
    return w;
  }

  SelInfo info_{};
};

// The ids that a walk over `count` records from file `file`, position `pos` prints.
std::vector<int> ring_ids(int file, int pos, int count) {
  std::vector<int> ids;
  for (int i = 0; i < count; ++i) {
    ids.push_back(file * 1000 + pos + 1);
    if (++pos == 1000) {
      pos = 0;
      file = (file + 1) % 4;
    }
  }
  return ids;
}

TEST_F(StoreWalkTest, LastRecordsWorkedExamples) {
  struct Case {
    int rec_count, oldest, count;
    int start_file, start_pos, printed;
    bool too_many;
  } cases[] = {
      {2500, 0, 700, 1, 800, 700, false},   {2500, 0, 500, 2, 0, 500, false},
      {2500, 0, 501, 1, 999, 501, false},   {3500, 2, 10, 1, 490, 10, false},
      {3500, 2, 1500, 0, 0, 1500, false},   {3500, 2, 3500, 2, 0, 3500, false},
      {4000, 3, 4000, 3, 0, 4000, false},   {1000, 0, 5, 0, 995, 5, false},
      {300, 0, 500, 0, 0, 300, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rec_count << " records, oldest " << c.oldest
                                    << ", last " << c.count);
    write_store(c.rec_count, c.oldest);
    const Walk w =
        walk([&](FILE* out, int lock) { return sel_print_last_recs(info_, c.count, lock, out); });
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.ids, ring_ids(c.start_file, c.start_pos, c.printed));
    if (c.too_many) {
      EXPECT_EQ(w.other_lines,
                std::vector<std::string>{"SEL contains only " + std::to_string(c.rec_count) +
                                         " records"});
    } else {
      EXPECT_TRUE(w.other_lines.empty());
    }
    // Held exactly while the walk is inside the oldest file.
    for (size_t i = 0; i < w.ids.size(); ++i) {
      const bool in_oldest = (w.ids[i] - 1) / 1000 == c.oldest;
      const bool started_there = c.start_file == c.oldest;
      const bool before_leaving = i < 1000 - static_cast<size_t>(c.start_pos);
      ASSERT_EQ(w.held[i], started_there && in_oldest && before_leaving) << "record " << w.ids[i];
    }
  }
}

TEST_F(StoreWalkTest, ChunksOpenTheFileOnceEach) {
  struct Case {
    int rec_count, oldest, count;
    bool first;  // rd_first, else rd_last
    std::map<int, int> opens;
  } cases[] = {
      {20, 0, 20, true, {{0, 1}}},
      {21, 0, 21, true, {{0, 2}}},
      {1000, 1, 1000, true, {{1, 50}}},
      // From position 990: 10 records, then on at position 0 of the next file.
      {1020, 2, 30, false, {{2, 1}, {3, 1}}},
      {2500, 3, 2500, true, {{3, 50}, {0, 50}, {1, 25}}},
      {1, 0, 1, false, {{0, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rec_count << " records, count " << c.count);
    write_store(c.rec_count, c.oldest);
    const Walk w = walk([&](FILE* out, int lock) {
      return c.first ? sel_print_first_recs(info_, c.count, lock, out)
                     : sel_print_last_recs(info_, c.count, lock, out);
    });
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.opens, c.opens);
    EXPECT_EQ(static_cast<int>(w.ids.size()), c.count);
    EXPECT_TRUE(w.other_lines.empty());
  }
}

TEST_F(StoreWalkTest, CountsOutsideTheStore) {
  struct Case {
    int rec_count, count;
    bool first;
    std::vector<std::string> lines;
    size_t printed;
  } cases[] = {
      {2500, 0, true, {}, 0},        {2500, 0, false, {}, 0},
      {2500, -5, true, {}, 0},       {2500, INT_MIN, false, {}, 0},
      {0, 5, true, {"SEL is empty."}, 0},  {0, 0, false, {"SEL is empty."}, 0},
      {2500, 5000, true, {"SEL contains only 2500 records"}, 2500},
      {2500, INT_MAX, false, {"SEL contains only 2500 records"}, 2500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rec_count << " records, count " << c.count);
    write_store(c.rec_count, 0);
    const Walk w = walk([&](FILE* out, int lock) {
      return c.first ? sel_print_first_recs(info_, c.count, lock, out)
                     : sel_print_last_recs(info_, c.count, lock, out);
    });
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.other_lines, c.lines);
    EXPECT_EQ(w.ids, ring_ids(0, 0, static_cast<int>(c.printed)));
  }
}

TEST_F(StoreWalkTest, BrokenRecordFiles) {
  // A missing file: what came before stays printed, and the result asks for a clear.
  write_store(2500, 0);
  unlink("/mnt/logs/sel/sel.1");
  Walk w = walk([&](FILE* out, int lock) { return sel_print_first_recs(info_, 2500, lock, out); });
  EXPECT_EQ(w.result, 2);
  EXPECT_EQ(w.ids, ring_ids(0, 0, 1000));
  EXPECT_EQ(w.other_lines, std::vector<std::string>{"Error reading sel.1"});

  // A file cut short ends the listing before the short chunk; no clear.
  write_store(2500, 0);
  ASSERT_EQ(truncate("/mnt/logs/sel/sel.1", 510 * 64 + 30), 0);
  w = walk([&](FILE* out, int lock) { return sel_print_first_recs(info_, 2500, lock, out); });
  EXPECT_EQ(w.result, 0);
  EXPECT_EQ(w.ids, ring_ids(0, 0, 1500));
  EXPECT_EQ(w.other_lines, std::vector<std::string>{"SEL ends unexpectedly."});

  // A file longer than the ring allows: the chunk that reaches past position 999 takes
  // what the file holds there, and the walk moves on to the next file.
  write_store(1020, 0);
  ASSERT_EQ(truncate("/mnt/logs/sel/sel.0", 1100 * 64), 0);
  w = walk([&](FILE* out, int lock) { return sel_print_last_recs(info_, 30, lock, out); });
  EXPECT_EQ(w.result, 0);
  std::vector<int> ids = ring_ids(0, 990, 10);
  ids.insert(ids.end(), 10, 0);
  const std::vector<int> next = ring_ids(1, 0, 10);
  ids.insert(ids.end(), next.begin(), next.end());
  EXPECT_EQ(w.ids, ids);
}

}  // namespace
