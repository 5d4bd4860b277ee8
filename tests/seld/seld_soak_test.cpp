// Soak: seld takes 20,000 records from two injectors while four readers list the store
// over and over. Every listing must consist of exact record lines (or the reader's own
// messages) with consecutive ids, no program may hang or die, and in the end the store
// must hold the newest records sent.
//
// The injection is paced to last SEL_SOAK_SECONDS (default 12), so that the readers
// see the ring wrap many times whatever the speed of the host or emulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "decode/sel_print.h"
#include "lib/coding.h"
#include "lib/sel_request.h"
#include "tests/support/capture.h"
#include "tests/support/root_test.h"
#include "tools/inject/inject_records.h"

namespace {

constexpr std::uint32_t kPerInjector = 10000;
constexpr std::uint32_t kSeeds[] = {1, 2};
constexpr int kBatches[] = {100, 73};  // 73: requests straddle the file boundaries
const std::string kStop = "/tmp/soak.stop";

std::string shell_words(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& word : argv) text += " '" + word + "'";
  return text;
}

// A reader: lists the store with each of `options` in turn until the stop file exists
// (at least once), appending each listing and then "=== <exit status>" to `out`.
std::unique_ptr<Running> start_reader(const std::string& out,
                                      const std::vector<std::string>& options) {
  std::string loop = "while :; do for o in";
  for (const std::string& o : options) loop += " '" + o + "'";
  loop += "; do timeout -s KILL 100" + shell_words(program(SEL_BINARY, {})) + " $o >>" + out +
          " 2>&1; echo \"=== $?\" >>" + out + "; done; [ -e " + kStop + " ] && break; done";
  return std::make_unique<Running>(std::vector<std::string>{"sh", "-c", loop});
}

struct Sent {
  std::uint32_t seed;
  std::uint32_t index;
};

class SoakTest : public RootTest {
 protected:
  // Every record sent, by the date text that its line shows.
  std::unordered_map<std::string, Sent> by_date_;
  std::unordered_map<std::uint64_t, std::string> texts_;  // line texts by record and id
  int listings_ = 0, lines_ = 0, short_files_ = 0;

  void index_records() {
    for (std::uint32_t seed : kSeeds) {
      for (std::uint32_t i = 0; i < kPerInjector; ++i) {
        const auto t = static_cast<time_t>(sel_timestamp(inject_random_record(seed, i)));
        by_date_[std::string(ctime(&t), 24)] = Sent{seed, i};
      }
    }
  }

  // Checks one reader's output: listings separated by "=== <status>" lines.
  void check_reader(const std::string& text) {
    std::size_t pos = 0;
    int prev_id = 0;
    while (pos < text.size()) {
      const std::size_t eol = text.find('\n', pos);
      ASSERT_NE(eol, std::string::npos) << "unended output at " << pos;
      const std::string line = text.substr(pos, eol - pos);
      if (line.rfind("=== ", 0) == 0) {
        EXPECT_EQ(line, "=== 0") << "a reader hung or died";
        ++listings_;
        prev_id = 0;
        pos = eol + 1;
        continue;
      }
      if (line == "SEL ends unexpectedly.") ++short_files_;
      if (line == "SEL ends unexpectedly." || line == "SEL is empty." ||
          line == "Resource locked by another user. Please try again later." ||
          line.rfind("SEL contains only ", 0) == 0) {
        pos = eol + 1;
        continue;
      }
      // "Record %d: " and the 24-character date name the record; its whole text,
      // with any line ends of its own, must be what the printer makes of it.
      ASSERT_EQ(line.rfind("Record ", 0), 0U) << "not a record line: " << line;
      const int id = atoi(line.c_str() + 7);
      const std::size_t date_at = line.find(": ") + 2;
      const auto sent = by_date_.find(line.substr(date_at, 24));
      ASSERT_NE(sent, by_date_.end()) << "a record never sent: " << line;
      // A record keeps the id of its slot, so its text is made once.
      const std::uint64_t key = (std::uint64_t{sent->second.seed} << 32 | sent->second.index) *
                                    4096 + static_cast<std::uint64_t>(id);
      std::string& want = texts_[key];
      if (want.empty()) {
        SelRecord rec = inject_random_record(sent->second.seed, sent->second.index);
        store_be32(rec.bytes.data(), static_cast<std::uint32_t>(id));
        want = capture([&](FILE* out) { sel_fprint_rec(out, rec); });
      }
      ASSERT_EQ(text.compare(pos, want.size(), want), 0) << "wrong line: " << line;
      if (prev_id != 0) {
        EXPECT_EQ(id, prev_id % 4000 + 1) << "ids jump at " << line;
      }
      prev_id = id;
      ++lines_;
      pos += want.size();
    }
  }
};

TEST_F(SoakTest, InjectorsAndReadersAgainstOneSeld) {
  setenv("TZ", "UTC", 1);
  tzset();
  index_records();
  const char* seconds_text = getenv("SEL_SOAK_SECONDS");
  const int seconds = seconds_text != nullptr ? atoi(seconds_text) : 12;

  Running seld(program(SELD_BINARY, {}));
  ASSERT_TRUE(wait_until([] { return exists("/mnt/logs/sel/sel.inf"); })) << "seld made no store";

  std::vector<std::unique_ptr<Running>> readers;
  const std::vector<std::vector<std::string>> options = {
      {"rd_all"},
      {"rd_first 1500", "rd_first 4000"},
      {"rd_last 2500", "rd_last 1"},
      {"rd_last 4000", "rd_first 7", "rd_all"},
  };
  for (std::size_t r = 0; r < options.size(); ++r) {
    readers.push_back(start_reader("/tmp/reader" + std::to_string(r), options[r]));
  }
  std::vector<std::unique_ptr<Running>> injectors;
  for (int k = 0; k < 2; ++k) {
    const int requests = static_cast<int>(kPerInjector) / kBatches[k] + 1;
    const int delay_ms = seconds * 1000 / requests;
    injectors.push_back(std::make_unique<Running>(program(
        SEL_INJECT_BINARY, {"--batch", std::to_string(kBatches[k]), "--delay-ms",
                            std::to_string(delay_ms), "random", std::to_string(kPerInjector),
                            std::to_string(kSeeds[k])})));
  }
  for (auto& injector : injectors) {
    const RunResult done = injector->finish();
    EXPECT_EQ(done.exit_code(), 0) << done.err;
  }
  // Everything sent is on the queue; seld has taken it when the queue is empty, and
  // finishes the request in hand before it ends on SIGTERM.
  EXPECT_TRUE(wait_until([] {
    msqid_ds stat{};
    return msgctl(msgget(7, 0), IPC_STAT, &stat) == 0 && stat.msg_qnum == 0;
  })) << "seld stopped taking requests";
  write_file(kStop, "");
  for (auto& reader : readers) EXPECT_EQ(reader->finish().exit_code(), 0);
  kill(seld.pid(), SIGTERM);
  EXPECT_EQ(seld.finish().exit_code(), 0);

  for (std::size_t r = 0; r < options.size(); ++r) {
    SCOPED_TRACE("reader " + std::to_string(r));
    check_reader(read_file("/tmp/reader" + std::to_string(r)));
  }
  RecordProperty("listings", listings_);
  RecordProperty("record_lines", lines_);
  RecordProperty("short_files", short_files_);
  printf("%d listings, %d record lines, %d ended early\n", listings_, lines_, short_files_);
  EXPECT_GE(listings_, 8);

  // 20,000 records from empty: 16 files dropped, the ring full from file 0. Each
  // injector's records in the ring are the newest it sent, in order.
  EXPECT_EQ(read_file("/mnt/logs/sel/sel.inf"), "1 4000 0 3 4000\n");
  std::string ring;
  for (int f = 0; f < 4; ++f) ring += read_file("/mnt/logs/sel/sel." + std::to_string(f));
  ASSERT_EQ(ring.size(), 4000 * SEL_RECORD_SIZE);
  std::map<std::uint32_t, std::vector<std::uint32_t>> kept;
  for (std::size_t i = 0; i < 4000; ++i) {
    SelRecord rec;
    memcpy(rec.bytes.data(), ring.data() + i * SEL_RECORD_SIZE, SEL_RECORD_SIZE);
    ASSERT_EQ(sel_record_id(rec), static_cast<int>(i) + 1);
    const auto t = static_cast<time_t>(sel_timestamp(rec));
    const auto sent = by_date_.find(std::string(ctime(&t), 24));
    ASSERT_NE(sent, by_date_.end()) << "record " << i + 1 << " was never sent";
    const SelRecord want = inject_random_record(sent->second.seed, sent->second.index);
    ASSERT_EQ(memcmp(rec.bytes.data() + 4, want.bytes.data() + 4, SEL_RECORD_BODY_SIZE), 0);
    kept[sent->second.seed].push_back(sent->second.index);
  }
  for (const auto& [seed, indexes] : kept) {
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      EXPECT_EQ(indexes[i], kPerInjector - indexes.size() + i) << "seed " << seed;
    }
  }
}

}  // namespace
