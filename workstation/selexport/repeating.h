// "What keeps happening?": records grouped by their type and their text's pattern (its
// numbers and dates masked), with how many, the first and the last time, and in how
// many stores. The summary lists the groups with the most records; so does the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct RepeatingGroup {
  std::string_view type;  // a type label (a constant)
  std::string pattern;
  int count = 0;
  std::int64_t first = INT64_MAX;
  std::int64_t last = INT64_MIN;
  int stores = 0;
  int last_store = -1;
};

struct Repeating {
  std::unordered_map<std::string, std::size_t> index;  // type and pattern: the group
  std::vector<RepeatingGroup> groups;
};

inline constexpr std::size_t REPEATING_TOP = 20;

// Counts a record of `store` (stores are added in turn, each once) at time `when`.
void repeating_add(Repeating* repeating, std::string_view type, std::string_view pattern,
                   std::int64_t when, int store);

// The `n` groups with the most records, most first (a tie: the earliest first).
std::vector<const RepeatingGroup*> repeating_top(const Repeating& repeating, std::size_t n);
