// The reading modes called in-process in a module root: which records they print, how
// many times they open each record file, and when they let go of the store lock.

#include <fcntl.h>

#include <filesystem>

#include "store/sel_rd.h"
#include "store/sel_run_option.h"
#include "tests/support/root_test.h"

// The reader's pause after each chunk, counted instead of taken.
int g_pauses = 0;
extern "C" int usleep(useconds_t /*micros*/) { return (++g_pauses, 0); }

namespace {

// What one walk printed, record by record, and whether the store lock was still held
// when each record's line was written.
struct Walk {
  std::vector<std::string> other_lines;  // lines that are not record lines
  std::vector<int> ids;
  std::vector<bool> held;
  std::string pending;
};

bool lock_still_open() { return has_open(getpid(), SEL_LOCK_DB); }

// The descriptor flags of this process's open store lock file, or -1.
int lock_fd_flags() {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == SEL_LOCK_DB) {
      return fcntl(std::stoi(fd.path().filename()), F_GETFD);
    }
  }
  return -1;
}

ssize_t sink_write(void* cookie, const char* data, size_t size) {
  auto* walk = static_cast<Walk*>(cookie);
  walk->pending.append(data, size);
  for (size_t nl; (nl = walk->pending.find('\n')) != std::string::npos;) {
    const std::string line = walk->pending.substr(0, nl);
    walk->pending.erase(0, nl + 1);
    int id = 0;
    if (sscanf(line.c_str(), "Record %d: ", &id) == 1) {
      walk->ids.push_back(id);
      walk->held.push_back(lock_still_open());
    } else {
      walk->other_lines.push_back(line);
    }
  }
  return static_cast<ssize_t>(size);
}

// The ids that a walk over `count` records from file `file`, position `pos` prints,
// after `zeros` records of id 0 and before `then`.
std::vector<int> ring_ids(int file, int pos, int count, std::vector<int> then = {},
                          int zeros = 0) {
  std::vector<int> ids(static_cast<size_t>(zeros), 0);
  for (int i = 0; i < count; ++i) {
    ids.push_back(file * 1000 + pos + 1);
    if (++pos == 1000) {
      pos = 0;
      file = (file + 1) % 4;
    }
  }
  ids.insert(ids.end(), then.begin(), then.end());
  return ids;
}

using StoreWalkTest = RootTest;

TEST_F(StoreWalkTest, RecordsOpensAndTheStoreLock) {
  struct Case {
    const char* what;
    int rec_count, oldest;
    bool first;  // rd_first, else rd_last
    int count;
    const char* damage;  // a shell command run in the store, or nullptr
    int result;
    std::vector<int> ids;
    std::vector<std::string> other_lines;
    std::map<std::string, int> opens;
  } cases[] = {
      {"starting past the oldest file", 2500, 0, false, 700, nullptr, 0, ring_ids(1, 800, 700),
       {}, {{"sel.1", 10}, {"sel.2", 25}}},
      {"from the oldest file round the ring", 3500, 2, false, 3500, nullptr, 0,
       ring_ids(2, 0, 3500), {}, {{"sel.2", 50}, {"sel.3", 50}, {"sel.0", 50}, {"sel.1", 25}}},
      {"one chunk", 20, 0, true, 20, nullptr, 0, ring_ids(0, 0, 20), {}, {{"sel.0", 1}}},
      {"one more than a chunk", 21, 0, true, 21, nullptr, 0, ring_ids(0, 0, 21), {},
       {{"sel.0", 2}}},
      {"a chunk on each side of the file change", 1020, 2, false, 30, nullptr, 0,
       ring_ids(2, 990, 30), {}, {{"sel.2", 1}, {"sel.3", 1}}},
      // What came before stays printed, and the result asks for a clear.
      {"a missing file", 2500, 0, true, 2500, "rm sel.1", 2, ring_ids(0, 0, 1000),
       {"Error reading sel.1"}, {{"sel.0", 50}}},
      // The listing ends before the short chunk; no clear.
      {"a file cut short", 2500, 0, true, 2500, "truncate -s 32670 sel.1", 0,
       ring_ids(0, 0, 1500), {"SEL ends unexpectedly."}, {{"sel.0", 50}, {"sel.1", 26}}},
      // The chunk that reaches past position 999 takes what the file holds there, and
      // the walk moves on to the next file.
      {"a file longer than the ring allows", 1020, 0, false, 30, "truncate -s 70400 sel.0", 0,
       ring_ids(0, 990, 10, ring_ids(1, 0, 10, {}, 10)), {}, {{"sel.0", 1}, {"sel.1", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plain_store(c.rec_count, c.oldest);
    const SelInfo info = sel_ring_info(1, c.rec_count, c.oldest);
    if (c.damage != nullptr) {
      ASSERT_EQ(run({"sh", "-c", std::string("cd /mnt/logs/sel && ") + c.damage}).exit_code(), 0);
    }
    OpenWatch watch("/mnt/logs/sel");
    Walk w;
    SelLock lock = sel_get_lock(SEL_LOCK_DB);
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(lock_fd_flags(), FD_CLOEXEC);
    g_pauses = 0;
    FILE* out = fopencookie(&w, "w", {nullptr, sink_write, nullptr, nullptr});
    setvbuf(out, nullptr, _IONBF, 0);
    EXPECT_EQ(c.first ? sel_print_first_recs(info, c.count, std::move(lock), out)
                      : sel_print_last_recs(info, c.count, std::move(lock), out),
              c.result);
    fclose(out);
    EXPECT_FALSE(lock_still_open()) << "the store lock is released on every way out";
    EXPECT_EQ(w.ids, c.ids);
    EXPECT_EQ(w.other_lines, c.other_lines);
    EXPECT_EQ(watch.opened(), c.opens);
    int chunks = 0;
    for (const auto& [name, opens] : c.opens) chunks += opens;
    EXPECT_TRUE(c.damage != nullptr || g_pauses == chunks) << g_pauses << " pauses";
    // Held exactly while the walk is inside the oldest file.
    const int start = w.ids.empty() ? 0 : w.ids[0] - 1;
    for (size_t i = 0; c.damage == nullptr && i < w.ids.size(); ++i) {
      const bool in_oldest = (w.ids[i] - 1) / 1000 == c.oldest;
      const bool before_leaving = i < 1000 - static_cast<size_t>(start % 1000);
      ASSERT_EQ(w.held[i], start / 1000 == c.oldest && in_oldest && before_leaving)
          << "record " << w.ids[i];
    }
  }
  // An info file that no reading mode goes by lets go of the store lock too.
  write_file(SEL_INFO_FILE, "1 4001 0 0 20");
  EXPECT_EQ(sel_run_option(SEL_MODE_RD_ALL, 0), SEL_NO_STORE);
  EXPECT_FALSE(lock_still_open());
}

}  // namespace
