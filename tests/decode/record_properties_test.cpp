// Random records of every event type through the record printer: it reads nothing
// outside the record (the sanitizers watch each record in its own allocation) and
// every line ends with the newlines its type prints.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "tests/support/record_line.h"

namespace {

using RecordProperties = UtcLineTest;

constexpr std::uint16_t kApplianceType = 6;
constexpr std::uint32_t kApplianceCodes = 5;
constexpr std::uint16_t kAgentEventType = 1;
constexpr const char* kNoCommandList = "Error getting agent command list for id ";

std::uint32_t next(std::mt19937& rng) { return static_cast<std::uint32_t>(rng()); }

// Code words that reach the tables as often as the fallbacks.
std::uint32_t some_code(std::mt19937& rng) {
  switch (next(rng) % 4) {
    case 0: return next(rng) % 24;
    case 1: return next(rng) % 0x300;
    case 2: return 0xFFFF0007;
    default: return next(rng);
  }
}

TEST_F(RecordProperties, EveryLineEndsAsItsTypeSays) {
  std::mt19937 rng(0x5e1);
  std::vector<std::uint16_t> types;
  for (std::uint16_t t = 0; t <= 16; ++t) types.push_back(t);
  types.insert(types.end(), {100, 0x8000, 0xFFFF});
  const std::uint16_t versions[] = {0, 1, 2, 0xFFFF};

  for (const std::uint16_t type : types) {
    for (int i = 0; i < 200; ++i) {
      // Each record in an allocation of its own, so that a read past its end is caught.
      auto rec = std::make_unique<SelRecord>();
      // Text fields are random too, but hold no newline, so that the count below is
      // the printer's own.
      for (auto& b : rec->bytes) {
        b = static_cast<unsigned char>(rng());
        if (b == '\n') b = 'n';
      }
      RecordBuilder fields(sel_record_id(*rec), sel_timestamp(*rec), next(rng) % 7, type,
                           versions[i % 4]);
      std::copy_n(fields.record().bytes.begin(), 16, rec->bytes.begin());
      const std::uint32_t code = some_code(rng);
      store_be32(rec->bytes.data() + 16, code);
      if (next(rng) % 2) store_be32(rec->bytes.data() + 56, 0xFFFFFFFF);
      if (next(rng) % 2) store_be32(rec->bytes.data() + 60, 0xFFFFFFFF);

      const std::string text = print_line(*rec);
      // Two texts hold a newline of their own: the appliance's unknown event and the
      // agent decoder's message about an agent it has no command list for.
      const bool own_newline =
          (type == kApplianceType && code >= kApplianceCodes) ||
          (type == kAgentEventType && text.find(kNoCommandList) != std::string::npos);
      const long newlines = own_newline ? 2 : 1;
      ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), newlines)
          << "type " << type << " code " << code << ": " << text;
      ASSERT_EQ(text.back(), '\n') << text;
      ASSERT_EQ(text.rfind("Record ", 0), 0u) << text;
    }
  }
}

}  // namespace
