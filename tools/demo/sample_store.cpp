// sel-sample-store DIR: writes a sample store into DIR: 1250 records that cycle through
// the demo sets (every event type and the interesting cases of each decoder), in a ring
// whose oldest file is 2, so that the newest 250 records lie in file 3.
#include <cstdio>
#include <vector>

#include "lib/coding.h"
#include "tools/demo/demo_records.h"
#include "tools/storewriter/store_writer.h"

namespace {

constexpr std::int32_t kStart = 1764950400;  // 2025-12-05 16:00:00 UTC
constexpr std::int32_t kRecords = 1250;

SelRecord sample_record(int index, void* ctx) {
  const auto& demo = *static_cast<const std::vector<SelRecord>*>(ctx);
  SelRecord rec = demo[static_cast<std::size_t>(index) % demo.size()];
  store_be32(rec.bytes.data() + 4, static_cast<std::uint32_t>(kStart + index * 60));
  return rec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  std::vector<SelRecord> demo;
  add_system_demo_records(demo, kStart);
  add_agent_demo_records(demo, kStart);
  if (store_write(argv[1], {1, kRecords, 2}, sample_record, &demo) != 0) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
