// sel-bench-store DIR COUNT OLDEST_FILE: writes a store of COUNT records cycling
// through the demo record sets, one minute apart, in a ring that starts at OLDEST_FILE.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lib/coding.h"
#include "tools/demo/demo_records.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr std::int32_t kStart = 1764950400;  // 2025-12-05 16:00:00 UTC

SelRecord bench_record(int index, void* ctx) {
  const auto& demo = *static_cast<const std::vector<SelRecord>*>(ctx);
  SelRecord rec = demo[static_cast<std::size_t>(index) % demo.size()];
  store_be32(rec.bytes.data() + 4, static_cast<std::uint32_t>(kStart + index * 60));
  return rec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s DIR COUNT OLDEST_FILE\n", argv[0]);
    return 2;
  }
  const auto count = static_cast<std::int32_t>(atoi(argv[2]));
  const auto oldest = static_cast<std::int32_t>(atoi(argv[3]));
  std::vector<SelRecord> demo;
  add_system_demo_records(demo, kStart);
  add_agent_demo_records(demo, kStart);
  if (store_write(argv[1], {1, count, oldest}, bench_record, &demo) != 0) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
